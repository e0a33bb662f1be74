// melvaro-cli's global options, its exit statuses, the drive choice and the job loop.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace melvaro {
class TDiscBurner;
}

namespace melvaro::cli {

enum TExit : int { kDone = 0, kJobFailed = 1, kBadInput = 2 };

struct TGlobalOptions {
  std::string drive;  // a DeviceList entry, its "H:T:L" prefix or a zero-based index
  std::string transport = "auto";
  std::string library;
  bool debug = false;
  bool progress = false;
};

// Prints "melvaro-cli: TEXT" on standard error; returns kBadInput.
int BadInput(const std::string& text);
// Prints "error: TEXT" on standard error; returns kJobFailed.
int JobFailed(const std::string& text);

// Sends the engine's debug lines to standard error: with --debug all of them, otherwise
// the errors and warnings (types 0, 3 and 4).
void ReportMessages(TDiscBurner& burner, bool debug);

// Starts the transport and, with --drive, selects that drive; false with a message
// printed when there is none. Pass-through nodes this user may not open are named.
bool SelectDrive(TDiscBurner& burner, const TGlobalOptions& options);
// Prints a note for each pass-through node this user cannot open, or open for writing.
void PrintNodeNotes(TDiscBurner& burner);

// SelectDrive, then a drive with a medium; false with a message printed when there is
// none. Without --drive the first drive with a medium it can write is taken; with
// `needWritable` false any drive with a medium will do. With `forWriting` a drive whose
// node opens for reading only is refused with a message that says why.
bool OpenDrive(TDiscBurner& burner, const TGlobalOptions& options, bool needWritable = true,
               bool forWriting = true);

// Starts a job and runs it to its end on this thread (the main loop of the burner's
// dispatcher). Progress goes to standard error: a bar on a terminal, one plain line per
// second with --progress or elsewhere. Ctrl-C aborts the job and waits for its end.
// Returns the job's error text, empty on success.
std::string RunJob(TDiscBurner& burner, const std::function<bool()>& start,
                   const TGlobalOptions& options);

}  // namespace melvaro::cli
