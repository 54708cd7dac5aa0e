#include "db/WalCheckpointer.h"

#include <sqlite3.h>

#include <pthread.h>

CWalCheckpointer::~CWalCheckpointer()
{
    Stop();
}

bool CWalCheckpointer::Start(sqlite3* connection, const std::string& path)
{
    Stop();
    if (connection == nullptr)
        return false;
    if (sqlite3_open_v2(path.c_str(), &own, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(own);
        own = nullptr;
        return false;
    }
    // The copy is flushed before the log is reused, as the engine's own
    // checkpoint does; a checkpoint that meets another simply waits for the
    // next commit.
    sqlite3_exec(own, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        due = false;
        ending = false;
    }
    try {
        thread = std::thread([this] { Run(); });
        pthread_setname_np(thread.native_handle(), "orva-checkpoint");
    } catch (...) {
        sqlite3_close(own);
        own = nullptr;
        return false;
    }
    watched = connection;
    lastPages = 0;
    // Replaces the engine's automatic checkpoint on this connection.
    sqlite3_wal_hook(watched, &CWalCheckpointer::OnCommit, this);
    return true;
}

void CWalCheckpointer::Stop()
{
    if (watched != nullptr) {
        sqlite3_wal_autocheckpoint(watched, kPages);
        watched = nullptr;
    }
    if (thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ending = true;
        }
        wake.notify_one();
        thread.join();
    }
    if (own != nullptr) {
        sqlite3_close(own);
        own = nullptr;
    }
}

int CWalCheckpointer::Runs() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return runs;
}

int CWalCheckpointer::OnCommit(void* self, sqlite3* connection, const char* database, int pages)
{
    auto* checkpointer = static_cast<CWalCheckpointer*>(self);
    // On the committing thread only.
    const int grown = pages >= checkpointer->lastPages ? pages - checkpointer->lastPages : pages;
    checkpointer->lastPages = pages;
    if (pages < kPages)
        return SQLITE_OK;
    if (grown < kLargeCommitPages) {
        // Steady small commits (alarms) copy back in the commit, as the
        // engine does by default: a copy on the thread would never catch up
        // with them, the log would keep growing and every commit would wake
        // it again.
        sqlite3_wal_checkpoint(connection, database);
        return SQLITE_OK;
    }
    {
        const std::lock_guard<std::mutex> lock(checkpointer->mutex);
        checkpointer->due = true;
    }
    checkpointer->wake.notify_one();
    return SQLITE_OK;
}

void CWalCheckpointer::Run()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return due || ending; });
            if (ending)
                return;
            due = false;
        }
        sqlite3_wal_checkpoint_v2(own, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        const std::lock_guard<std::mutex> lock(mutex);
        ++runs;
    }
}
