#include "drive/messages.h"

#include <gtest/gtest.h>

namespace melvaro {
namespace {

TEST(SenseCodeText, TableAndUnlistedPairs) {
  struct Case {
    uint8_t asc, ascq;
    const char* text;
  };
  const Case cases[] = {
      {0x00, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
      {0x5D, 0xFF, "FAILURE PREDICTION THRESHOLD EXCEEDED (FALSE)"},
      {0x5D, 0x04, "93,4"},
      {0x3A, 0x00, "MEDIUM NOT PRESENT"},
      {0x3A, 0x01, "MEDIUM NOT PRESENT - TRAY CLOSED"},
      {0x3A, 0x02, "MEDIUM NOT PRESENT - TRAY OPEN"},
      {0x3A, 0x03, "MEDIUM NOT PRESENT - LOADABLE"},
      {0x3A, 0x04, "MEDIUM NOT PRESENT - MEDIUM AUXILIARY MEMORY ACCESSIBLE"},
      {0x3A, 0x05, "58,5"},
      {0x04, 0x08, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
      {0x08, 0x03, "LOGICAL UNIT COMMUNICATION CRC ERROR (ULTRA-DMA/32)"},
      {0x73, 0x06, "RMA/PMA IS ALMOST FULL"},
      {0x74, 0x00, "116,0"},
      {0x80, 0x00, "128,0"},
      {0xFF, 0xFF, "255,255"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SenseCodeText(c.asc, c.ascq), c.text) << int(c.asc) << "/" << int(c.ascq);
}

TEST(SenseCodeText, NoCodeAboveTheMultimediaRangeHasText) {
  for (int asc = 0x74; asc <= 0xFF; ++asc) {
    for (int ascq = 0; ascq <= 0xFF; ascq += 0x11) {
      EXPECT_EQ(SenseCodeText(asc, ascq), std::to_string(asc) + "," + std::to_string(ascq));
    }
  }
}

TEST(ASPIStatusText, StatusHostAndTargetTable) {
  struct Case {
    uint8_t status, host, target;
    const char* text;
    bool busy;
  };
  const Case cases[] = {
      {0x00, 0x09, 0x08, "", false},
      {0x01, 0x00, 0x02, "", false},
      {0x02, 0x00, 0x00, "OPERATION ABORTED BY USER", false},
      {0x03, 0x09, 0x00, "OPERATION ABORTED BY USER", false},
      {0x04, 0x00, 0x00, "CHECK CONDITION", false},
      {0x04, 0x00, 0x02, "CHECK CONDITION", false},
      {0x04, 0x00, 0x08, "TARGET BUSY", true},
      {0x04, 0x00, 0x18, "TARGET RESERVATION CONFLICT", false},
      {0x04, 0x00, 0x28, "TARGET QUEUE FULL", false},
      {0x04, 0x00, 0x04, "UNKNOWN", false},
      {0x04, 0x09, 0x08, "COMMAND TIMEOUT", false},
      {0x04, 0x0B, 0x00, "SRB TIMEOUT", false},
      {0x04, 0x0D, 0x00, "MESSAGE REJECT", false},
      {0x04, 0x0E, 0x00, "BUS RESET", false},
      {0x04, 0x0F, 0x00, "PARITY ERROR", false},
      {0x04, 0x10, 0x00, "REQUEST SENSE FAILED", false},
      {0x04, 0x11, 0x00, "SELECTION TIMEOUT", false},
      {0x04, 0x12, 0x00, "DATA OVERRUN", false},
      {0x04, 0x13, 0x00, "UNEXPECTED BUS FREE", false},
      {0x04, 0x14, 0x00, "UNKNOWN", false},
      {0x80, 0x00, 0x00, "INVALID REQUEST", false},
      {0x81, 0x00, 0x00, "INVALID HOST ADAPTER", false},
      {0x82, 0x00, 0x00, "NO DEVICE", false},
      {0xE0, 0x00, 0x00, "INVALID SRB", false},
      {0xE1, 0x00, 0x00, "BUFFER ALIGNMENT", false},
      {0xE5, 0x00, 0x00, "ASPI IS BUSY", false},
      {0xE6, 0x00, 0x00, "BUFFER TOO BIG", false},
      {0x05, 0x00, 0x00, "UNKNOWN", false},
  };
  for (const Case& c : cases) {
    bool busy = false;
    EXPECT_EQ(ASPIStatusText(c.status, c.host, c.target, busy), c.text)
        << int(c.status) << " " << int(c.host);
    EXPECT_EQ(busy, c.busy) << c.text;
  }
}

TEST(SenseKeyText, KeysFormatsAndKeyZeroBits) {
  struct Case {
    uint8_t b0, b2;
    const char* text;
  };
  const Case cases[] = {
      {0x00, 0x05, ""},          // no sense data at all
      {0x72, 0x05, "UNKNOWN"},   // descriptor format
      {0xF0, 0x80, "FILEMARK"},  // valid bit ignored
      {0x71, 0x40, "END OF MEDIA"},
      {0x70, 0x20, "ILLEGAL LENGTH"},
      {0x70, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
      {0x70, 0x01, "RECOVERED ERROR"},
      {0x70, 0x02, "NOT READY"},
      {0x70, 0x03, "MEDIUM ERROR"},
      {0x70, 0x04, "HARDWARE ERROR"},
      {0x70, 0x05, "ILLEGAL REQUEST"},
      {0x70, 0x06, "UNIT ATTENTION"},
      {0x70, 0x07, "DATA PROTECT"},
      {0x70, 0x08, "ERASE CHECK"},
      {0x70, 0x09, "CHECK CONDITION"},
      {0x70, 0x0A, "COPYABORTED"},
      {0x70, 0x0B, "ABORTED COMMAND"},
      {0x70, 0x0C, "CHECK CONDITION"},
      {0x70, 0x0D, "VOLUME OVERFLOW"},
      {0x70, 0x0E, "MISCOMPARE"},
      {0x70, 0x0F, "RESERVED"},
      {0x70, 0xE2, "NOT READY"},  // key bits decide over the flag bits
  };
  for (const Case& c : cases) {
    uint8_t sense[24] = {};
    sense[0] = c.b0;
    sense[2] = c.b2;
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), c.text) << int(c.b0) << "/" << int(c.b2);
  }
}

TEST(FormatText, PlaceholdersFilledInOrder) {
  EXPECT_EQ(msg::Format(msg::kMaximumFiles, 600000), "MAXIMUM FILES CAN BE 600000");
  EXPECT_EQ(msg::Format(msg::kStartingWriteProcess, std::string_view("DVD+R"),
                        std::string_view("4.0X(5,540 KB/s)")),
            "STARTING WRITE PROCESS ON DVD+R AT 4.0X(5,540 KB/s)");
  EXPECT_EQ(msg::Format(msg::kCantOpenFile, std::string_view("/a/100%d.mp3")),
            "CAN'T OPEN FILE \"/a/100%d.mp3\" OR FILE IS IN USES BY OTHER SOFTWARE");
  EXPECT_EQ(msg::Format(msg::kImportingSession), "IMPORTING SESSION # %d");
}

}  // namespace
}  // namespace melvaro
