#pragma once
// Moves the pages of the database's write-ahead log back into the file on a
// thread of its own, so that no commit of the station (an alarm's row, the
// supervision round) pays for the copy. The engine would otherwise run that
// copy inside the commit that brings the log past 1,000 pages.
//
// The committing connection tells it, through the engine's log hook, how many
// pages the log holds after each commit. From kPages on, a large commit (the
// supervision round, kLargeCommitPages or more) has the thread run a passive
// checkpoint on a connection of its own (it never blocks a writer or a
// reader); after a small commit (an alarm) the connection copies back itself,
// as by default, once the log has grown to kPages. Durability does not change: every commit has flushed the log
// before it returns, and a log not yet copied is read by every connection and
// recovered after a crash. When the thread or its connection cannot be had,
// the committing connection checkpoints itself as the engine does by default.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

class CWalCheckpointer {
public:
    // The log size, in pages, from which the log is copied back.
    static constexpr int kPages = 1000;
    // A commit that adds this many pages or more is copied back on the thread.
    static constexpr int kLargeCommitPages = 100;

    CWalCheckpointer() = default;
    ~CWalCheckpointer();
    CWalCheckpointer(const CWalCheckpointer&) = delete;
    CWalCheckpointer& operator=(const CWalCheckpointer&) = delete;

    // Watches the commits of `connection` on the database file `path`.
    // True when the thread runs; false when the connection checkpoints
    // itself (as by default).
    bool Start(sqlite3* connection, const std::string& path);
    // Ends the thread after a checkpoint it has begun, closes its connection
    // and leaves the watched connection checkpointing itself. Before that
    // connection closes.
    void Stop();
    bool IsRunning() const { return thread.joinable(); }
    // Checkpoints run so far (for tests).
    int Runs() const;

private:
    static int OnCommit(void* self, sqlite3* connection, const char* database, int pages);
    void Run();

    sqlite3* watched = nullptr;
    sqlite3* own = nullptr;
    std::thread thread;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool due = false;
    bool ending = false;
    int runs = 0;
    int lastPages = 0;  // the log's size after the previous commit (committing thread)
};
