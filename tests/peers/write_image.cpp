// vrec_write_image: writes an ISO image as one new session on a drive of the library
// back end, with the plain MMC sequence (write parameters, writes at the next writable
// block, flush, close track and session), and prints the block the session starts at.
// The peer tests use it to put images made by independent programs on virtual discs.
//
//   vrec_write_image --library PLUGIN --drive N [--close-disc] IMAGE
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "drive/scsi_device.h"
#include "platform/byte_order.h"

using namespace melvaro;

namespace {

int Fail(const std::string& what, const TSCSIDevice* device = nullptr) {
  std::fprintf(stderr, "vrec_write_image: %s%s%s\n", what.c_str(), device ? ": " : "",
               device ? device->LastErrorText().c_str() : "");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library, image;
  int drive = 0;
  bool closeDisc = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--library" && i + 1 < argc)
      library = argv[++i];
    else if (a == "--drive" && i + 1 < argc)
      drive = std::stoi(argv[++i]);
    else if (a == "--close-disc")
      closeDisc = true;
    else
      image = a;
  }
  std::ifstream in(image, std::ios::binary);
  if (!in) return Fail("cannot open " + image);
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.empty() || data.size() % 2048) return Fail(image + " is not made of 2048-byte blocks");

  TTransport transport;
  TSCSIDevice device(transport);
  if (!device.InitializeASPI(false, library)) return Fail("no drive plug-in");
  device.SetCurrentAddress(0, static_cast<uint8_t>(drive), 0);
  if (!device.TestUnitReady(5000)) return Fail("drive not ready", &device);
  uint8_t config[16] = {};
  if (!device.GetConfiguration(2, 0, sizeof config, config)) return Fail("no profile", &device);
  const uint16_t profile = GetBe16(config + 6);
  const bool cd = profile < 0x10;

  uint8_t list[60] = {};
  uint8_t* page = list + 8;
  page[0] = 0x05;
  page[1] = 0x32;
  page[4] = 0x08;
  page[15] = 0x96;
  if (cd) {
    page[2] = 0x01;  // track at once
    page[3] = closeDisc ? 0x04 : 0xC4;
  } else if (profile == 0x11 || profile == 0x14) {
    page[2] = 0x00;  // incremental
    page[3] = closeDisc ? 0x05 : 0xC5;
  } else {
    page[2] = 0x02;
    page[3] = 0xC4;
  }
  if (!device.ModeSelect(list, sizeof list)) return Fail("write parameters refused", &device);
  if (!device.ReadTrackInformation(0xFF)) return Fail("no next writable block", &device);
  uint32_t start, track;
  std::memcpy(&start, device.TrackInfo().data() + 12, 4);
  track = device.TrackInfo()[2];

  const uint32_t blocks = static_cast<uint32_t>(data.size() / 2048);
  const uint32_t step = cd ? 27 : 32;
  for (uint32_t at = 0; at < blocks; at += step) {
    const uint16_t n = static_cast<uint16_t>(std::min(step, blocks - at));
    if (!device.WriteSectors(start + at, n, 0x50, n * 2048u, data.data() + size_t{at} * 2048))
      return Fail("write at block " + std::to_string(start + at) + " failed", &device);
  }
  if (!device.SynchronizeCache(120000, false)) return Fail("flush failed", &device);
  device.CloseTrackSession(false, 1, 0, 0, static_cast<uint8_t>(track));
  const uint8_t sessionFunction = !cd && closeDisc && profile >= 0x1B ? 5 : 2;
  if (!device.CloseTrackSession(false, sessionFunction, 0, 0, 0))
    return Fail("closing the session failed", &device);
  std::printf("%u\n", start);
  return 0;
}
