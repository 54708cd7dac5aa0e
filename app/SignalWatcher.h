#pragma once
// SIGINT and SIGTERM as events of the user-interface thread's event loop.
// BlockTerminationSignals must run at the very start of main, before any
// thread exists, so that every worker thread inherits the blocked mask and
// the signals wait for the watcher instead of interrupting some thread.

#include <functional>
#include <memory>

class QSocketNotifier;

class CSignalWatcher {
public:
    static void BlockTerminationSignals();

    // Calls onSignal on the creating thread's event loop for each SIGINT or
    // SIGTERM, also for one that arrived before the watcher existed.
    explicit CSignalWatcher(std::function<void(int signal)> onSignal);
    ~CSignalWatcher();
    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    bool IsWatching() const { return fd >= 0; }

private:
    void Read();

    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void(int)> handler;
};
