#include "app/SignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t TerminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void CSignalWatcher::BlockTerminationSignals()
{
    const sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CSignalWatcher::CSignalWatcher(std::function<void(int)> onSignal) : handler(std::move(onSignal))
{
    const sigset_t set = TerminationSignals();
    fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { Read(); });
}

CSignalWatcher::~CSignalWatcher()
{
    notifier.reset();
    if (fd >= 0)
        close(fd);
}

void CSignalWatcher::Read()
{
    signalfd_siginfo info{};
    while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (handler)
            handler(static_cast<int>(info.ssi_signo));
    }
}
