// Scheduling priority of the calling thread, as a nice value (-20 highest, 19 lowest).
//
// Linux lets a process without CAP_SYS_NICE lower a thread's priority but not raise it
// again, so a thread that moves between priorities should first ask whether it may.
#pragma once

namespace melvaro {

// Best effort: false when the system refused.
bool SetThreadNice(int nice);

// Whether the calling thread may go back up to `nice` after going below it; the probe
// leaves the thread at `nice` when it may, one step below it when it may not.
bool MayRaiseThreadPriority(int nice);

}  // namespace melvaro
