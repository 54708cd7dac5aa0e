#include "core/Wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

CWakeup::CWakeup() : fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

CWakeup::~CWakeup()
{
    if (fd >= 0)
        close(fd);
}

void CWakeup::Signal()
{
    if (fd < 0)
        return;
    const uint64_t one = 1;
    // A full counter (never in practice) is readable all the same.
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
}

void CWakeup::Clear()
{
    if (fd < 0)
        return;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof count);
}
