// The database at the size of a busy alarm centre: 1,000,000 alarms over
// three years and 100,000 objects, generated on first use and kept beside the
// program (bench_database-1M.db; delete it to generate it anew); each run
// works on a copy of it in a scratch folder.
// Run: <build>/bench/bench_database   (build with -DCMAKE_BUILD_TYPE=Release)
//
// - BM_AlarmList/<mask>: the alarm list request (MaxCount 5000) for the status
//   masks 15 (all), 1 (new) and 6 (acknowledged or finished), replies included.
//   Each iteration runs the same request on a copy of the file without
//   indexes right after it, in the same process: the time is the indexed
//   request's; NoIndexMs is the copy's and Speedup the ratio of the two.
// - BM_ProcessAlarm: one new test alarm of a known object: object lookup, the
//   update of its last test alarm and the insert of the alarm.
// - BM_CheckTestAlarms: the hourly supervision over all objects, with 5% of
//   them overdue (each raises a test-fail alarm), and with none overdue.
// - BM_PurgeAlarms: the hourly purge removing 100,000 alarms that are too old.
// The counter FileMB gives the size of the database file after generation.

#include "core/MsgReceiver.h"
#include "db/DatabaseMgr.h"
#include "db/DbConvert.h"
#include "db/DbSchema.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kAlarms = 1000000;
constexpr int kObjects = 100000;
constexpr int kPurgeRows = 100000;
const COleDateTime kNow(2024, 6, 10, 12, 0, 0);

// Copies the write-ahead log back now, in the given mode, waiting for a
// copy the checkpoint thread may be making at the same moment.
void CheckpointNow(CDatabase& database, const char* mode)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        QSqlQuery query(database.Connection());
        if (query.exec(QStringLiteral("PRAGMA wal_checkpoint(%1)").arg(QLatin1String(mode))) && query.next() &&
            query.value(0).toInt() == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fprintf(stderr, "the database log could not be copied back\n");
    std::abort();
}

struct Discard : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg>) override {}
};

std::string IdCode(int i)
{
    return std::to_string(10000000 + i);
}

void Exec(QSqlQuery& query)
{
    if (!query.exec()) {
        std::fprintf(stderr, "bench: %s\n", query.lastError().text().toUtf8().constData());
        std::abort();
    }
}

// The generated database, opened by a manager as at start-up.
struct BenchDatabase {
    TempDir dir;
    std::string folder = dir.Path().string() + "/";
    CScopedNowSource now{[] { return kNow; }};
    CDatabaseMgr manager;
    Discard owner;
    // The same file without its indexes, beside it.
    TempDir plainDir;
    CDatabase plain;
    CDatabaseHandler plainHandler;
    double fileMB = 0;
    double upgradeMs = 0;

    BenchDatabase()
    {
        // The generated file is kept beside the program: the next run
        // starts from a copy of it instead of generating it again.
        const std::filesystem::path kept = KeptFile();
        const std::string file = folder + DbSchema::kDatabaseFileName;
        std::error_code ec;
        const bool reuse = std::filesystem::copy_file(kept, file, ec);
        if (!reuse) {
            CDbConvert convert;
            convert.SetPath(folder);
            if (convert.CreateDatabase() != 1)
                std::abort();
        }
        manager.SetPath(folder);
        if (manager.CheckDatabase() != DBMGR_CHECK_OPENED)
            std::abort();
        if (!reuse) {
            manager.UpgradeSchema();
            Generate();
            Keep(file, kept);
        }
        // The next start-up of the station upgrades and refreshes the
        // planner's statistics; time it.
        const auto started = std::chrono::steady_clock::now();
        manager.UpgradeSchema();
        upgradeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        CheckpointNow(manager.GetDatabase(), "TRUNCATE");
        fileMB = static_cast<double>(std::filesystem::file_size(folder + DbSchema::kDatabaseFileName)) / 1e6;
        OpenIndexFreeCopy();
        // Keep period just beyond the three generated years, so that the
        // purge removes only the rows its benchmark adds.
        Handler().Configure(&manager.GetDatabase(), 3 * 365 + 30, 0, 0);
        Handler().SetOwner(&owner);
        Handler().CheckTestAlarms();  // the silent first run
        ShowPlans();
    }

    CDatabaseHandler& Handler() { return *manager.GetHandler(); }

    static std::filesystem::path KeptFile()
    {
        std::error_code ec;
        const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
        return (ec ? std::filesystem::current_path() : program.parent_path()) / "bench_database-1M.db";
    }

    // A copy of the freshly generated file, its log merged in; written
    // under another name first so that an interrupted run leaves none.
    void Keep(const std::string& file, const std::filesystem::path& kept)
    {
        CheckpointNow(Database(), "TRUNCATE");
        std::filesystem::path partial = kept;
        partial += ".partial";
        std::error_code ec;
        if (std::filesystem::copy_file(file, partial, std::filesystem::copy_options::overwrite_existing, ec))
            std::filesystem::rename(partial, kept, ec);
    }

    void OpenIndexFreeCopy()
    {
        const std::string copy = plainDir.Path().string() + "/" + DbSchema::kDatabaseFileName;
        std::filesystem::copy_file(folder + DbSchema::kDatabaseFileName, copy);
        plain.Open(copy);
        for (const DbIndex& index : DbSchema::Indexes())
            plain.Execute(QStringLiteral("DROP INDEX IF EXISTS \"%1\"").arg(QLatin1String(index.name)));
        plainHandler.Configure(&plain, 3 * 365 + 30, 0, 0);
        plainHandler.SetOwner(&owner);
    }
    CDatabase& Database() { return manager.GetDatabase(); }

    void Generate()
    {
        std::mt19937 random(42);
        CDatabase& db = Database();
        db.BeginTrans();
        QSqlQuery objects(db.Connection());
        objects.prepare(QStringLiteral(
            "INSERT INTO ObjectInfo (IdCode, IdInfo, Address, Days, LastTestAlarm, TestAlarmOnly, "
            "AlarmPopUpEnabled, MailAddrTech1, MailAddrTech2, SmsNumTech, MailAddrEmg1, MailAddrEmg2, SmsNumEmg, "
            "ElevatorType, Customer, Notes1, Notes2, PhoneNumber) VALUES (?, ?, ?, ?, ?, 0, 1, ?, '', ?, ?, '', ?, "
            "'Traction', ?, ?, '', ?)"));
        for (int i = 0; i < kObjects; ++i) {
            const int days = 1 + i % 7;
            // Every object has had its last test within its period.
            const COleDateTime last = kNow - std::uniform_real_distribution<double>(0.0, days)(random);
            objects.addBindValue(QString::fromStdString(IdCode(i)));
            objects.addBindValue(QStringLiteral("Lift %1, Building %2").arg(i).arg(i / 4));
            objects.addBindValue(QStringLiteral("Storgatan %1, Stockholm").arg(i % 500));
            objects.addBindValue(days);
            objects.addBindValue(QString::fromStdString(last.ToIso()));
            objects.addBindValue(QStringLiteral("service%1@example.com").arg(i % 50));
            objects.addBindValue(QStringLiteral("+4670%1").arg(1000000 + i % 1000));
            objects.addBindValue(QStringLiteral("emergency%1@example.com").arg(i % 20));
            objects.addBindValue(QStringLiteral("+4670%1").arg(2000000 + i % 1000));
            objects.addBindValue(QStringLiteral("Customer %1").arg(i % 300));
            objects.addBindValue(QStringLiteral("Key at the reception"));
            objects.addBindValue(QStringLiteral("+468%1").arg(3000000 + i));
            Exec(objects);
        }
        QSqlQuery alarms(db.Connection());
        alarms.prepare(QStringLiteral(
            "INSERT INTO AlarmInfo (IdCode, AlarmSource, AlarmType, IdInfo, OpFailType, Text, AlarmStatus, "
            "AlarmTime, AckTime, ExecTime, AckOperator, ExecOperator, CallerIdInfo) "
            "VALUES (?, 1, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, '')"));
        const double span = 3 * 365.0;
        for (int i = 0; i < kAlarms; ++i) {
            const int object = std::uniform_int_distribution<int>(0, kObjects - 1)(random);
            const int pick = std::uniform_int_distribution<int>(0, 999)(random);
            // A quarter are test alarms (information), almost all others are
            // finished; a few are acknowledged and very few are new.
            const int status = pick < 250 ? 4 : pick < 990 ? 3 : pick < 999 ? 2 : 1;
            const int type = status == 4 ? ALARMTYPE_TEST : 1 + pick % 5;
            const COleDateTime time = kNow - span + span * i / kAlarms;
            alarms.addBindValue(QString::fromStdString(IdCode(object)));
            alarms.addBindValue(type);
            alarms.addBindValue(QStringLiteral("Lift %1, Building %2").arg(object).arg(object / 4));
            alarms.addBindValue(QStringLiteral("Alarm text of alarm %1\nsecond line").arg(i));
            alarms.addBindValue(status);
            alarms.addBindValue(QString::fromStdString(time.ToIso()));
            alarms.addBindValue(QString::fromStdString((time + 0.001).ToIso()));
            alarms.addBindValue(QString::fromStdString((time + 0.01).ToIso()));
            alarms.addBindValue(status >= 2 ? QStringLiteral("Operator") : QString());
            alarms.addBindValue(status >= 3 ? QStringLiteral("Operator") : QString());
            Exec(alarms);
        }
        objects.finish();
        alarms.finish();
        db.CommitTrans();
    }

    void ShowPlans()
    {
        const char* statements[] = {
            "SELECT * FROM AlarmInfo ORDER BY AlarmTime DESC, PrimaryKey DESC LIMIT 5000",
            "SELECT * FROM AlarmInfo WHERE AlarmStatus = 1 ORDER BY AlarmTime DESC, PrimaryKey DESC LIMIT 5000",
            "SELECT * FROM AlarmInfo WHERE AlarmStatus = 2 OR AlarmStatus = 3 ORDER BY AlarmTime DESC, PrimaryKey "
            "DESC LIMIT 5000",
            "SELECT * FROM AlarmInfo WHERE IdCode = '1' AND AlarmType = 8 ORDER BY AlarmTime DESC, PrimaryKey DESC "
            "LIMIT 1",
            "DELETE FROM AlarmInfo WHERE AlarmTime < '2020-01-01'",
        };
        std::vector<QString> all(std::begin(statements), std::end(statements));
        all.push_back(QStringLiteral("SELECT rowid, * FROM ObjectInfo WHERE (%1) <= ? ORDER BY +rowid")
                          .arg(QLatin1String(DbSchema::kTestDeadlineExpression)));
        for (const QString& sql : all) {
            QSqlQuery plan(Database().Connection());
            plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + sql);
            std::fprintf(stderr, "%s\n", sql.toUtf8().constData());
            while (plan.next())
                std::fprintf(stderr, "    %s\n", plan.value(3).toString().toUtf8().constData());
        }
    }
};

BenchDatabase& Bench()
{
    static BenchDatabase bench;
    return bench;
}

// The reply goes to the owner, which drops it; count it through a probe.
struct CountRows : CMsgReceiver {
    size_t rows = 0;
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        rows = 0;
        for (const CMsg* m = msg.get(); m != nullptr; m = m->Next.get())
            ++rows;
    }
};

double ListMs(CDatabaseHandler& handler, uint8_t mask, CountRows& counter)
{
    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_LIST;
    request->StatusMask = mask;
    request->MaxCount = 5000;
    handler.SetOwner(&counter);
    const auto started = std::chrono::steady_clock::now();
    handler.ExecuteRequest(std::move(request));
    const auto ended = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(ended - started).count();
}

void BM_AlarmList(benchmark::State& state)
{
    BenchDatabase& bench = Bench();
    const auto mask = static_cast<uint8_t>(state.range(0));
    CountRows counter;
    CountRows plainCounter;
    double indexedMs = 0;
    double plainMs = 0;
    for (auto _ : state) {
        const double ms = ListMs(bench.Handler(), mask, counter);
        state.SetIterationTime(ms / 1000.0);
        indexedMs += ms;
        plainMs += ListMs(bench.plainHandler, mask, plainCounter);
        if (counter.rows != plainCounter.rows)
            state.SkipWithError("the copy without indexes gives another list");
    }
    bench.Handler().SetOwner(&bench.owner);
    bench.plainHandler.SetOwner(&bench.owner);
    state.counters["rows"] = static_cast<double>(counter.rows);
    state.counters["NoIndexMs"] = plainMs / static_cast<double>(state.iterations());
    state.counters["Speedup"] = indexedMs > 0 ? plainMs / indexedMs : 0;
    state.counters["FileMB"] = bench.fileMB;
    state.counters["StartUpgradeMs"] = bench.upgradeMs;
}
BENCHMARK(BM_AlarmList)->Arg(15)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

void BM_ProcessAlarm(benchmark::State& state)
{
    BenchDatabase& bench = Bench();
    std::mt19937 random(7);
    for (auto _ : state) {
        CAlarmInfoMsg alarm;
        alarm.Result = DBRES_ALARM_NEW;
        alarm.IdCode = IdCode(std::uniform_int_distribution<int>(0, kObjects - 1)(random));
        alarm.AlarmSource = ALARMSOURCE_TEL;
        alarm.AlarmType = ALARMTYPE_TEST;
        alarm.AlarmStatus = ALARMSTATUS_INFO;
        alarm.AlarmTime = kNow;
        alarm.Text.SetText("Test alarm");
        int32_t store = 1;
        bench.Handler().ProcessAlarm(alarm, store);
        if (alarm.PrimaryKey == 0 || alarm.ObjectKnown != 1)
            state.SkipWithError("alarm not stored");
    }
}
BENCHMARK(BM_ProcessAlarm)->Unit(benchmark::kMicrosecond);

void BM_CheckTestAlarms(benchmark::State& state)
{
    BenchDatabase& bench = Bench();
    const int overduePercent = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        if (overduePercent > 0)
            bench.Database().Execute(QStringLiteral("UPDATE ObjectInfo SET LastTestAlarm = '%1' WHERE rowid % %2 = 0")
                                         .arg(QString::fromStdString((kNow - 30.0).ToIso()))
                                         .arg(100 / overduePercent));
        // A quiet database at the start of each round: the log copied back
        // (the previous round's copy runs on the checkpoint thread).
        CheckpointNow(bench.Database(), "RESTART");
        state.ResumeTiming();
        bench.Handler().CheckTestAlarms();
    }
    state.counters["objects"] = kObjects;
}
BENCHMARK(BM_CheckTestAlarms)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PurgeAlarms(benchmark::State& state)
{
    BenchDatabase& bench = Bench();
    for (auto _ : state) {
        state.PauseTiming();
        // 100,000 alarms beyond the keep period.
        CDatabase& db = bench.Database();
        db.BeginTrans();
        QSqlQuery insert(db.Connection());
        insert.prepare(QStringLiteral("INSERT INTO AlarmInfo (IdCode, AlarmSource, AlarmType, IdInfo, OpFailType, "
                                      "Text, AlarmStatus, AlarmTime) VALUES (?, 1, 1, 'Lift', 0, 'old', 3, ?)"));
        for (int i = 0; i < kPurgeRows; ++i) {
            insert.addBindValue(QString::fromStdString(IdCode(i % kObjects)));
            insert.addBindValue(QString::fromStdString((kNow - 2000.0 + i * 0.001).ToIso()));
            Exec(insert);
        }
        insert.finish();
        db.CommitTrans();
        state.ResumeTiming();
        bench.Handler().PurgeAlarms();
    }
    state.counters["rows"] = kPurgeRows;
}
BENCHMARK(BM_PurgeAlarms)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
