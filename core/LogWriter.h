#pragma once
// The one thread of the process that writes log files in the background.
// A worker hands it the store of its log and goes on at once; the writer
// rewrites each store's file once for all the lines waiting in it. When the
// process ends through exit() (or main returning), every line handed in
// before is written first.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class CLogStore;

class CLogWriter {
public:
    // Created on first use and never destroyed, so that logs of objects
    // that outlive main can still be written.
    static CLogWriter& Instance();

    // Asks for the store's waiting lines to be written. Never waits for the
    // disk; once the process is ending, writes them on the caller's thread.
    void Schedule(std::shared_ptr<CLogStore> store);

    // Writes everything scheduled and ends the thread; later requests are
    // written by their callers. Called at exit.
    void Drain();

    // How long the writer gathers lines before it writes them.
    static constexpr int kGatherMs = 50;

private:
    CLogWriter() = default;
    // With the lock held: starts the thread when there is none yet; false
    // once the writer has ended or no thread can be had.
    bool HasThread();
    void Run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<CLogStore>> due;
    bool ending = false;
    std::thread thread;
};
