// The database manager: classifying what it finds at the database path,
// the operator's choices at start-up, the schema upgrade, start and stop.

#include "DbTestSupport.h"

#include "db/DatabaseMgrHost.h"
#include "db/DbConvertVer01.h"
#include "settings/Settings.h"

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The operator, as a script of answers.
class ScriptedHost : public CDatabaseMgrHost {
public:
    struct Answer {
        int result;
        std::function<void(CDbConvert*)> action;  // what the operator did in the dialog
    };

    CSettings& GetSettings() override { return settings; }
    std::string GetOperatorName() override { return "Olle"; }
    int RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter) override
    {
        reasons.push_back(reason);
        folders.push_back(folder);
        converterIsVer01.push_back(dynamic_cast<CDbConvertVer01*>(converter) != nullptr);
        if (answers.empty())
            return DBMGRDLG_CANCEL;
        Answer answer = answers.front();
        answers.pop_front();
        if (answer.action)
            answer.action(converter);
        return answer.result;
    }
    bool BrowseDatabasePath(std::string& folder) override
    {
        if (picks.empty())
            return false;
        folder = picks.front();
        picks.pop_front();
        return true;
    }
    void ShowDbError(const std::string& text) override { errors.push_back(text); }

    CSettings settings;
    std::deque<Answer> answers;
    std::deque<std::string> picks;
    std::vector<int> reasons;
    std::vector<std::string> folders;
    std::vector<bool> converterIsVer01;
    std::vector<std::string> errors;
};

// "Create a new database" (and copy, for an older installation) in the dialog.
ScriptedHost::Answer CreateNew()
{
    return {DBMGRDLG_START, [](CDbConvert* converter) {
                ASSERT_NE(converter, nullptr);
                ASSERT_EQ(converter->CreateDatabase(), 1);
                if (dynamic_cast<CDbConvertVer01*>(converter) != nullptr) {
                    ASSERT_EQ(converter->CopyData(), 1);
                }
            }};
}

uint32_t BigEndian32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A checkpoint cut short: the newest first page (with its page count) went
// from the write-ahead log into the database file, the pages after it did not.
void WriteNewestFirstPageFromWal(const std::string& wal, const std::string& database)
{
    const std::string log = ReadAll(wal);
    ASSERT_GE(log.size(), 32u);
    const uint32_t pageSize = BigEndian32(log, 8);
    const size_t frameSize = 24 + pageSize;
    size_t newest = 0;
    for (size_t frame = 32; frame + frameSize <= log.size(); frame += frameSize)
        if (BigEndian32(log, frame) == 1)
            newest = frame;
    ASSERT_NE(newest, 0u) << "no first page in the log";
    std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(0);
    file.write(log.data() + newest + 24, pageSize);
}

// Makes a file unwritable for as long as it lives, also for root.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(std::string path) : path(std::move(path))
    {
        if (geteuid() == 0)
            immutable = std::system(("chattr +i '" + this->path + "' 2>/dev/null").c_str()) == 0;
        else
            fs::permissions(this->path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    ~ReadOnlyFile()
    {
        if (immutable)
            std::system(("chattr -i '" + path + "'").c_str());
        else
            fs::permissions(path, fs::perms::owner_all);
    }
    bool Works() const { return geteuid() != 0 || immutable; }

private:
    std::string path;
    bool immutable = false;
};

}  // namespace

class DatabaseMgrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallEnglishDictionary());
        folder = dir.Path().string() + "/";
        host.settings.Load();
        host.settings.Values().DatabasePath = folder;
        manager.SetDocument(&host);
    }

    int Check(const std::string& path)
    {
        manager.SetPath(path);
        const int outcome = manager.CheckDatabase();
        manager.GetDatabase().Close();
        return outcome;
    }

    std::string File() const { return folder + "ORVA_10.mdb"; }

    ScopedTimeZone zone;
    TempDir dir;
    TempDir config;
    ScopedEnv xdg{"XDG_CONFIG_HOME", config.Path().string()};
    std::string folder;
    ScriptedHost host;
    RecordingOwner owner;
    CDatabaseMgr manager;
};

TEST_F(DatabaseMgrTest, CheckDatabaseTellsTheCasesApart)
{
    EXPECT_EQ(Check(folder + "missing/"), DBMGR_CHECK_INVALID_PATH);
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NO_DATABASE);
    WriteFile(folder + "IdInfo.dat", "");
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NO_DATABASE);  // one of the two old files is not enough
    WriteFile(folder + "EventSave.dat", "");
    EXPECT_EQ(Check(folder), DBMGR_CHECK_OLD_INSTALLATION);

    WriteFile(File(), "");
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NOT_A_DATABASE);
    WriteFile(File(), std::string(5000, 'x'));
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NOT_A_DATABASE);
    EXPECT_FALSE(manager.GetLastError().empty());
    fs::remove(File());
    fs::create_directory(File());
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NOT_A_DATABASE);
    fs::remove(File());

    CreateStationDatabase(folder);
    EXPECT_EQ(Check(folder), DBMGR_CHECK_OPENED);
}

TEST_F(DatabaseMgrTest, DamagedLockedOrReadOnlyDatabasesAreNotOpened)
{
    CreateStationDatabase(folder);
    {
        CDatabase database;
        database.Open(File());
        database.Execute(QStringLiteral("INSERT INTO MailInfo (Name, Address) VALUES ('a', 'b')"));
        for (int i = 0; i < 200; ++i)
            database.Execute(QStringLiteral("INSERT INTO AlarmInfo (IdCode, Text) VALUES ('1', '%1')")
                                 .arg(QString(200, QLatin1Char('t'))));
        database.Execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }

    {
        // Another program keeps the write lock.
        CDatabase other;
        other.Open(File());
        other.Execute(QStringLiteral("BEGIN EXCLUSIVE"));
        EXPECT_EQ(Check(folder), DBMGR_CHECK_OTHER_ERROR);
        other.Rollback();
    }
    EXPECT_EQ(Check(folder), DBMGR_CHECK_OPENED);

    {
        ReadOnlyFile readOnly(File());
        if (readOnly.Works()) {
            EXPECT_EQ(Check(folder), DBMGR_CHECK_OTHER_ERROR);
        }
    }

    // A table missing: not one of our databases.
    {
        CDatabase database;
        database.Open(File());
        database.Execute(QStringLiteral("ALTER TABLE MailInfo RENAME TO Other"));
    }
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NOT_A_DATABASE);
    {
        CDatabase broken;
        EXPECT_THROW(broken.Open(File()), CDbException);
    }

    // Cut short: the rows already stored are still there in the copy kept.
    fs::copy_file(File(), folder + "copy.mdb");
    fs::resize_file(File(), fs::file_size(File()) / 2);
    EXPECT_EQ(Check(folder), DBMGR_CHECK_NOT_A_DATABASE) << manager.GetLastError();
    EXPECT_GT(fs::file_size(folder + "copy.mdb"), fs::file_size(File()));
}

// The station went down during a checkpoint: the database file's header
// counts more pages than the file has, while the write-ahead log beside it
// still holds every committed page. The engine reads such a pair as sound.
TEST_F(DatabaseMgrTest, DatabaseWithCommittedPagesStillInTheWalOpens)
{
    CreateStationDatabase(folder);
    const std::string copy = folder + "copy/";
    fs::create_directory(copy);
    {
        CDatabase database;
        database.Open(File());
        database.Execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        database.Execute(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        for (int i = 0; i < 300; ++i)
            database.Execute(QStringLiteral("INSERT INTO AlarmInfo (IdCode, Text) VALUES ('%1', '%2')")
                                 .arg(i)
                                 .arg(QString(200, QLatin1Char('t'))));
        // The files as the power cut left them, taken while the connection holds them.
        fs::copy_file(File(), copy + "ORVA_10.mdb");
        fs::copy_file(File() + "-wal", copy + "ORVA_10.mdb-wal");
    }
    WriteNewestFirstPageFromWal(copy + "ORVA_10.mdb-wal", copy + "ORVA_10.mdb");
    const std::string header = ReadAll(copy + "ORVA_10.mdb").substr(0, 100);
    const uint64_t headerBytes = uint64_t(BigEndian32(header, 28)) * ((uint8_t(header[16]) << 8) | uint8_t(header[17]));
    ASSERT_GT(headerBytes, fs::file_size(copy + "ORVA_10.mdb"));

    EXPECT_EQ(Check(copy), DBMGR_CHECK_OPENED) << manager.GetLastError();
    CDatabase database;
    database.Open(copy + "ORVA_10.mdb");
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(), 300);
}

TEST_F(DatabaseMgrTest, StartCreatesANewDatabaseWhenTheOperatorAsksForIt)
{
    host.answers = {CreateNew()};
    ASSERT_EQ(manager.Start(&owner), 1);
    EXPECT_EQ(host.reasons, (std::vector<int>{DBMGRDLG_REASON_NO_DATABASE}));
    EXPECT_EQ(host.folders, (std::vector<std::string>{folder}));
    EXPECT_EQ(host.converterIsVer01, (std::vector<bool>{false}));
    EXPECT_TRUE(manager.GetDatabase().IsOpen());
    EXPECT_TRUE(manager.GetDatabase().HasColumn("AlarmInfo", "CallerIdInfo"));
    EXPECT_EQ(manager.Stop(), 1);
    EXPECT_FALSE(manager.GetDatabase().IsOpen());
}

TEST_F(DatabaseMgrTest, StartAfterChangingAMissingPath)
{
    const std::string good = folder + "good/";
    fs::create_directory(good);
    CreateStationDatabase(good);
    host.settings.Values().DatabasePath = folder + "missing/";
    // First OK without a folder picked: the dialog comes again; then a folder.
    host.answers = {{DBMGRDLG_CHANGE_PATH, {}}, {DBMGRDLG_CHANGE_PATH, {}}};
    host.picks = {};
    ASSERT_EQ(manager.Start(&owner), 0);  // the third dialog is cancelled
    EXPECT_EQ(host.reasons, (std::vector<int>{1, 1, 1}));

    host.reasons.clear();
    host.answers = {{DBMGRDLG_CHANGE_PATH, {}}};
    host.picks = {folder + "good"};  // the picker may give the folder without separator
    ASSERT_EQ(manager.Start(&owner), 1);
    EXPECT_EQ(host.reasons, (std::vector<int>{DBMGRDLG_REASON_INVALID_PATH}));
    EXPECT_EQ(host.settings.Values().DatabasePath, good);
    CSettings reloaded;
    reloaded.Load();
    EXPECT_EQ(reloaded.Values().DatabasePath, good);
    manager.Stop();
}

// A DatabasePath without the separator at its end (hand-edited, or from an
// older settings file) still names the folder of the database; nothing is
// ever looked for or created beside it.
TEST_F(DatabaseMgrTest, DatabasePathWithoutTrailingSeparatorNamesTheFolder)
{
    const std::string station = folder + "station";
    fs::create_directory(station);
    CreateStationDatabase(station + "/");
    WriteFile(folder + "passwd", "root:x:0:0\n");
    struct Case {
        std::string setting;
        std::deque<ScriptedHost::Answer> answers;
        std::vector<int> reasons;  // the dialogs shown before the start ends
        int started;
    };
    // Where a dialog offers a new database, a hasty operator takes it.
    const Case cases[] = {
        {station, {CreateNew()}, {}, 1},
        {station + "/", {CreateNew()}, {}, 1},
        // A path naming a file is a folder that does not exist.
        {folder + "passwd", {}, {DBMGRDLG_REASON_INVALID_PATH}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        host.settings.Values().DatabasePath = c.setting;
        host.reasons.clear();
        host.answers = c.answers;
        EXPECT_EQ(manager.Start(&owner), c.started);
        EXPECT_EQ(host.reasons, c.reasons);
        manager.Stop();
    }
    EXPECT_FALSE(fs::exists(folder + "stationORVA_10.mdb"));
    EXPECT_FALSE(fs::exists(folder + "passwdORVA_10.mdb"));

    // The conversion of an older installation in such a folder reads its
    // files and creates the database inside it.
    const std::string old = folder + "old";
    fs::create_directory(old);
    WriteFile(old + "/IdInfo.dat", "12345678:Lift A\n");
    WriteFile(old + "/EventSave.dat", "1\n2\n12345678\nLift A\n0\n0\n1622541600\n0\n");
    host.settings.Values().DatabasePath = old;
    host.reasons.clear();
    host.answers = {CreateNew()};
    ASSERT_EQ(manager.Start(&owner), 1);
    EXPECT_EQ(host.reasons, (std::vector<int>{DBMGRDLG_REASON_OLD_VERSION}));
    EXPECT_TRUE(fs::exists(old + "/ORVA_10.mdb"));
    EXPECT_EQ(QueryValue(manager.GetDatabase(), QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(), 1);
    manager.Stop();
    EXPECT_FALSE(fs::exists(folder + "oldORVA_10.mdb"));
}

TEST_F(DatabaseMgrTest, StartConvertsAnOlderInstallation)
{
    WriteFile(folder + "IdInfo.dat", "12345678:Lift A\n");
    WriteFile(folder + "EventSave.dat", "1\n2\n12345678\nLift A\n0\n0\n1622541600\n0\n");
    host.answers = {CreateNew()};
    ASSERT_EQ(manager.Start(&owner), 1);
    EXPECT_EQ(host.reasons, (std::vector<int>{DBMGRDLG_REASON_OLD_VERSION}));
    EXPECT_EQ(host.converterIsVer01, (std::vector<bool>{true}));
    EXPECT_EQ(QueryValue(manager.GetDatabase(), QStringLiteral("SELECT count(*) FROM ObjectInfo")).toInt(), 1);
    EXPECT_EQ(QueryValue(manager.GetDatabase(), QStringLiteral("SELECT AckOperator FROM AlarmInfo")).toString(),
              QStringLiteral("Olle"));
    manager.Stop();
}

TEST_F(DatabaseMgrTest, StartEndsOnCancelFailureOrAnUnusableFile)
{
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::deque<ScriptedHost::Answer> answers;
        std::vector<int> reasons;
    };
    const std::vector<Case> cases = {
        {"cancel on no database", [] {}, {}, {DBMGRDLG_REASON_NO_DATABASE}},
        {"creation failed", [] {}, {{DBMGRDLG_END, {}}}, {DBMGRDLG_REASON_NO_DATABASE}},
        {"not a database",
         [this] { WriteFile(File(), "not a database at all, just text"); },
         {},
         {DBMGRDLG_REASON_BAD_DATABASE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(File());
        c.prepare();
        host.reasons.clear();
        host.answers = c.answers;
        EXPECT_EQ(manager.Start(&owner), 0);
        EXPECT_EQ(host.reasons, c.reasons);
        EXPECT_FALSE(manager.GetHandler()->IsRunning());
    }
    // The file that is not a database is left as it was.
    std::ifstream in(File());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "not a database at all, just text");

    // Any other error ends the start without asking.
    fs::remove(File());
    CreateStationDatabase(folder);
    CDatabase other;
    other.Open(File());
    other.Execute(QStringLiteral("BEGIN EXCLUSIVE"));
    host.reasons.clear();
    EXPECT_EQ(manager.Start(&owner), 0);
    EXPECT_TRUE(host.reasons.empty());
    other.Rollback();
}

TEST_F(DatabaseMgrTest, UpgradeAddsTheMissingColumnsOnce)
{
    {
        // A database of an older version: no PhoneNumber, no CallerIdInfo.
        CDbConvert convert;
        convert.SetPath(folder);
        ASSERT_EQ(convert.CreateDatabase(), 1);
        CDatabase database;
        database.Open(File());
        database.Execute(QStringLiteral("ALTER TABLE ObjectInfo DROP COLUMN PhoneNumber"));
        database.Execute(QStringLiteral("INSERT INTO ObjectInfo (IdCode, IdInfo) VALUES ('12345678', 'kept')"));
        EXPECT_FALSE(database.HasColumn("ObjectInfo", "PhoneNumber"));
        EXPECT_FALSE(database.HasColumn("AlarmInfo", "CallerIdInfo"));
    }
    auto columnCount = [this](const char* table) {
        return QueryValue(manager.GetDatabase(),
                          QStringLiteral("SELECT count(*) FROM pragma_table_info('%1')").arg(QLatin1String(table)))
            .toInt();
    };
    for (int start = 0; start < 2; ++start) {
        ASSERT_EQ(manager.Start(&owner), 1);
        EXPECT_TRUE(host.reasons.empty());
        EXPECT_EQ(columnCount("ObjectInfo"), 18);
        EXPECT_EQ(columnCount("AlarmInfo"), 14);
        EXPECT_EQ(QueryValue(manager.GetDatabase(), QStringLiteral("SELECT IdInfo FROM ObjectInfo")).toString(),
                  QStringLiteral("kept"));
        EXPECT_EQ(manager.Stop(), 1);
    }
}

TEST_F(DatabaseMgrTest, HandlerKeepsAlarmsForThirtyDaysPerMonth)
{
    CreateStationDatabase(folder);
    host.settings.Values().KeepAirMonths = 1;
    SettableNow now(COleDateTime(2024, 6, 10, 12, 0, 0));
    ASSERT_EQ(manager.Start(&owner), 1);
    for (const char* time : {"2024-05-10 12:00:00", "2024-05-11 00:00:00", "2024-05-12 12:00:00"})
        manager.GetDatabase().Execute(
            QStringLiteral("INSERT INTO AlarmInfo (IdCode, AlarmTime) VALUES ('1', '%1')").arg(QLatin1String(time)));
    manager.GetHandler()->PurgeAlarms();
    EXPECT_EQ(QueryValue(manager.GetDatabase(), QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(), 2);
    EXPECT_EQ(manager.Stop(), 1);
}
