// melvaro-cli's global options and the drive they choose.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace melvaro {
class TDiscBurner;
}

namespace melvaro::cli {

struct TGlobalOptions {
  std::string drive;  // a DeviceList entry, its "H:T:L" prefix or a zero-based index
  std::string transport = "auto";
  std::string library;
  bool debug = false;
  bool progress = false;
};

// Starts the transport and selects the drive; false with a message printed when there
// is none. Without --drive the first drive with a medium it can write is taken.
bool OpenDrive(TDiscBurner& burner, const TGlobalOptions& options);

// Starts a job and runs it to its end on this thread (the main loop of the burner's
// dispatcher), with a progress line on standard error when asked; the job's error
// text, empty on success.
std::string RunJob(TDiscBurner& burner, const std::function<bool()>& start,
                   const TGlobalOptions& options);

}  // namespace melvaro::cli
