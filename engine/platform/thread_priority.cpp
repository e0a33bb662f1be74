#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace melvaro {

bool SetThreadNice(int nice) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice) == 0;
}

bool MayRaiseThreadPriority(int nice) {
  return SetThreadNice(nice + 1) && SetThreadNice(nice);
}

}  // namespace melvaro
