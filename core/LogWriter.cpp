#include "core/LogWriter.h"

#include "core/LogStore.h"

#include <pthread.h>

#include <chrono>
#include <cstdlib>

CLogWriter& CLogWriter::Instance()
{
    static CLogWriter* const writer = [] {
        auto* created = new CLogWriter;
        std::atexit([] { CLogWriter::Instance().Drain(); });
        return created;
    }();
    return *writer;
}

bool CLogWriter::HasThread()
{
    if (ending)
        return false;
    if (!thread.joinable()) {
        try {
            thread = std::thread([this] { Run(); });
            pthread_setname_np(thread.native_handle(), "orva-logwriter");
        } catch (...) {
            // No thread to be had: the caller writes the line itself.
        }
    }
    return thread.joinable();
}

void CLogWriter::Schedule(std::shared_ptr<CLogStore> store)
{
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (HasThread()) {
            due.push_back(std::move(store));
            lock.unlock();
            wake.notify_one();
            return;
        }
    }
    store->WritePending();
}

void CLogWriter::Drain()
{
    std::thread ended;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ending = true;
        ended.swap(thread);
    }
    wake.notify_one();
    if (ended.joinable() && ended.get_id() != std::this_thread::get_id())
        ended.join();
    else if (ended.joinable())
        ended.detach();
    // Whatever the thread left (none when it ran to its end).
    for (;;) {
        std::shared_ptr<CLogStore> store;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (due.empty())
                return;
            store = std::move(due.front());
            due.pop_front();
        }
        store->WritePending();
    }
}

void CLogWriter::Run()
{
    for (;;) {
        std::deque<std::shared_ptr<CLogStore>> batch;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return ending || !due.empty(); });
            if (due.empty())
                return;  // ending, and nothing left
            // The lines of one event (an alarm passes several threads, each
            // with its log) are gathered for a moment: each file is
            // rewritten once for them, after the event's own disk flushes
            // (journal, outbox, row) rather than between them.
            wake.wait_for(lock, std::chrono::milliseconds(kGatherMs), [this] { return ending; });
            batch.swap(due);
        }
        for (const std::shared_ptr<CLogStore>& store : batch)
            store->WritePending();
    }
}
