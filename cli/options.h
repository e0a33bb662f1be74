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
// the errors and warnings (types 0, 3 and 4). A limit reached (type 3) is told once.
void ReportMessages(TDiscBurner& burner, bool debug);
// Whether the engine reported a limit reached (type 3) since ReportMessages.
bool LimitReached();

// What a command does with the drive it opens.
enum class TDriveUse {
  kRead,       // reads the disc: refused while another program holds the drive
  kExclusive,  // writes, erases or formats any medium: holds the drive for the job
  kWrite,      // as kExclusive, and without --drive a drive with a writable medium
};

// Starts the transport and, with --drive, selects that drive; false with a message
// printed when there is none (its drive list entry in `entry`). Pass-through nodes this
// user may not open are named.
bool SelectDrive(TDiscBurner& burner, const TGlobalOptions& options, std::string* entry = nullptr);
// Prints a note for each pass-through node this user cannot open, or open for writing.
void PrintNodeNotes(TDiscBurner& burner);

// SelectDrive, then a drive with a medium; false with a message printed when there is
// none (status in `status`: kBadInput, or kJobFailed when the drive is held by another
// program). Without --drive the first drive with a medium is taken (for kWrite one it
// can write). For kExclusive and kWrite a drive whose node opens for reading only is
// refused with a message that says why.
bool OpenDrive(TDiscBurner& burner, const TGlobalOptions& options, TDriveUse use, int& status);

// Starts a job and runs it to its end on this thread (the main loop of the burner's
// dispatcher). Progress goes to standard error: a bar on a terminal, one plain line per
// second with --progress or elsewhere. Ctrl-C aborts the job and waits for its end.
// Returns the job's error text, empty on success.
std::string RunJob(TDiscBurner& burner, const std::function<bool()>& start,
                   const TGlobalOptions& options);

}  // namespace melvaro::cli
