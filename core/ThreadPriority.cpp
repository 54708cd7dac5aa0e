#include "core/ThreadPriority.h"

#include <cerrno>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

bool RaiseThreadPriority()
{
    // On Linux the nice value belongs to each thread, addressed by its tid, so
    // this changes the calling thread only.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0)
        return false;
    return setpriority(PRIO_PROCESS, tid, current - 1) == 0;
}
