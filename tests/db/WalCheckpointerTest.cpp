// The write-ahead log is copied back on the checkpoint thread, not inside the
// commit that makes it large; the database file holds everything once the
// connection closes.

#include "DbTestSupport.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

class WalCheckpointerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.Path().string() + "/";
        CreateStationDatabase(folder);
        file = folder + DbSchema::kDatabaseFileName;
    }

    // About 8 MB of alarm texts in one transaction: some 2,000 pages.
    static void WriteALot(CDatabase& database)
    {
        database.Execute(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000) "
            "INSERT INTO AlarmInfo (IdCode, AlarmSource, AlarmType, IdInfo, OpFailType, Text, AlarmStatus, "
            "AlarmTime) SELECT 'L' || i, 1, 1, 'Lift', 0, hex(randomblob(1000)), 3, '2026-12-10 03:00:00' FROM n"));
    }

    static long long Rows(const std::string& path)
    {
        sqlite3* reader = nullptr;
        long long rows = -1;
        if (sqlite3_open_v2(path.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* count = nullptr;
            if (sqlite3_prepare_v2(reader, "SELECT count(*) FROM AlarmInfo", -1, &count, nullptr) == SQLITE_OK &&
                sqlite3_step(count) == SQLITE_ROW)
                rows = sqlite3_column_int64(count, 0);
            sqlite3_finalize(count);
        }
        sqlite3_close(reader);
        return rows;
    }

    TempDir dir;
    std::string folder;
    std::string file;
};

}  // namespace

TEST_F(WalCheckpointerTest, ALargeCommitIsCopiedBackOnTheThreadAndNothingIsLost)
{
    CDatabase database;
    database.Open(file);
    ASSERT_TRUE(database.CheckpointsInBackground());
    const int before = database.BackgroundCheckpoints();

    WriteALot(database);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (database.BackgroundCheckpoints() == before && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(database.BackgroundCheckpoints(), before);
    // Small commits leave the log to grow a little: no checkpoint for them.
    const int afterLarge = database.BackgroundCheckpoints();
    database.Execute(QStringLiteral("UPDATE AlarmInfo SET AlarmStatus = 4 WHERE rowid = 1"));
    EXPECT_EQ(Rows(file), 4000);

    database.Close();
    EXPECT_FALSE(database.CheckpointsInBackground());
    EXPECT_EQ(database.BackgroundCheckpoints(), afterLarge);
    // The last connection has copied the rest back and removed the log.
    EXPECT_FALSE(fs::exists(file + "-wal"));
    EXPECT_EQ(Rows(file), 4000);
}

// Alarms come one by one: each commit adds a few pages, and the connection
// copies the log back itself once it holds 1,000 pages, so the log stays
// bounded and the thread is never woken.
TEST_F(WalCheckpointerTest, SmallCommitsCopyBackInTheCommitAndKeepTheLogBounded)
{
    CDatabase database;
    database.Open(file);
    for (int i = 0; i < 400; ++i)
        database.Execute(QStringLiteral("INSERT INTO AlarmInfo (IdCode, AlarmSource, AlarmType, IdInfo, OpFailType, "
                                        "Text, AlarmStatus, AlarmTime) VALUES ('L%1', 1, 1, 'Lift', 0, "
                                        "hex(randomblob(5000)), 3, '2026-12-10 03:00:00')")
                             .arg(i));
    EXPECT_EQ(database.BackgroundCheckpoints(), 0);
    // About 2,400 pages were written; a log never copied back would hold
    // them all (some 10 MB).
    EXPECT_LT(fs::file_size(file + "-wal"), 6u * 1024 * 1024);
    EXPECT_EQ(Rows(file), 400);
}

// Opened, closed and opened again: each open has its own thread, and a
// closed database leaves none running.
TEST_F(WalCheckpointerTest, EachOpenHasItsThreadAndCloseEndsIt)
{
    CDatabase database;
    for (int round = 0; round < 3; ++round) {
        database.Open(file);
        EXPECT_TRUE(database.CheckpointsInBackground());
        database.Close();
        EXPECT_FALSE(database.CheckpointsInBackground());
    }
    CWalCheckpointer alone;
    EXPECT_FALSE(alone.Start(nullptr, file));
    EXPECT_FALSE(alone.IsRunning());
}
