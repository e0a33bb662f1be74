// melvaro-kernel-probe H:T:L: sends commands with short and long time-outs to one
// pass-through drive, so that the guest test can compare each command's time-out with
// the one the kernel receives. Prints "asked OPCODE TIMEOUT-MS RESULT" per command
// (opcode in hexadecimal as the kernel's trace prints it); exit status 1 when the drive
// is not found. The emulated drives refuse the recording commands, which is harmless.
#include <cstdio>
#include <functional>
#include <string>

#include "drive/scsi_commands.h"
#include "drive/scsi_device.h"

using namespace melvaro;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: melvaro-kernel-probe H:T:L\n");
    return 2;
  }
  TSCSIDevice drive;
  if (!drive.InitializeASPI(true, "")) {
    std::fprintf(stderr, "no pass-through drive\n");
    return 1;
  }
  const std::string prefix = std::string(argv[1]) + ",";
  std::string entry;
  for (const std::string& e : drive.DeviceList())
    if (e.rfind(prefix, 0) == 0) entry = e;
  if (entry.empty()) {
    std::fprintf(stderr, "no drive %s\n", argv[1]);
    return 1;
  }
  drive.SelectDevice(entry);
  uint8_t toc[12] = {};
  const struct {
    cdb::TCommandBlock block;
    std::function<bool()> send;
  } commands[] = {
      {cdb::TestUnitReady(5000), [&] { return drive.TestUnitReady(5000); }},
      {cdb::ReadToc(1, 0, false, 0, 12), [&] { return drive.ReadTOC(1, toc, 0, false, 0, 12); }},
      {cdb::SynchronizeCache(1800000, false),
       [&] { return drive.SynchronizeCache(1800000, false); }},
      {cdb::SendOpcInformation(), [&] { return drive.SendOPCInformation(); }},
      {cdb::CloseTrackSession(false, 1, 0, 0, 1),
       [&] { return drive.CloseTrackSession(false, 1, 0, 0, 1); }},
      {cdb::Blank(1), [&] { return drive.Blank(1); }},
  };
  for (const auto& c : commands) {
    const bool ok = c.send();
    std::printf("asked %x %d %s\n", c.block.bytes[0], c.block.timeoutMs,
                ok ? "completed" : ("failed: " + drive.LastErrorText()).c_str());
  }
  return 0;
}
