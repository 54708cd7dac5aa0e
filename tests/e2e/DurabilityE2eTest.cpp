// No alarm lost or stranded, end to end: the headless station with the
// modem simulators and a real SMTP server, stopped, killed or starved of disk
// while alarms are on their way. An alarm that the GSM modem has deleted, or
// that the lift telephone was told is delivered, must end up as exactly one
// row of AlarmInfo and be forwarded once; the alarm journal beside the
// database must be empty again once everything is stored.

#include "RestartableStationTest.h"

#include "core/AlarmJournal.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace e2e {
namespace {

constexpr const char* kSmsLift = "+46701112233";
constexpr const char* kCaller = "+46701234567";

// What the operator is told while alarms wait for the database, and when
// they are stored.
constexpr const char* kAlarmsWait =
    "Alarms could not be stored in the database. They are kept and stored as soon as the database accepts them.";
constexpr const char* kAlarmsStored = "The alarms that waited have been stored in the database.";

// A call with short rings (the station answers at the end of the first one).
std::string Call(const std::string& telephone)
{
    return std::string(R"({"delay_ms": 200, "caller_id": ")") + kCaller +
           R"(", "ring": {"on_ms": 300, "off_ms": 300, "count": 8}, "telephone": )" + telephone + "}";
}

// The modem's P100 message follows the start request after 100 ms instead
// of half a second; everything else behaves as the real modem does.
constexpr const char* kModemScenario = R"({"modem": {"p100_message_delay_ms": 100}})";

// A lift that raises its alarms by SMS; its alarms are mailed only, so that
// the GSM modem's time goes to receiving.
LiftRecord SmsLift()
{
    auto lift = Lift(kSmsLift, "Lift D, school");
    lift.smsTech.clear();
    lift.smsEmg.clear();
    return lift;
}

// The stored text of an SMS alarm starts with the SMS.
bool IsSmsRow(const AlarmRow& row, const std::string& text)
{
    return row.alarmSource == 2 && row.text.rfind(text + "\n", 0) == 0;
}

size_t RowsOf(const std::vector<AlarmRow>& rows, const std::string& smsText)
{
    return static_cast<size_t>(
        std::count_if(rows.begin(), rows.end(), [&](const AlarmRow& r) { return IsSmsRow(r, smsText); }));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The station's alarm journal.
std::string JournalPath(StationRig& rig)
{
    return rig.DataDir() + CAlarmJournal::kFileName;
}

// The texts of the SMS the station deleted from the GSM modem, in the order
// of the deletes. A store index is used again after a delete, so a delete
// takes the text stored last at its index.
std::vector<std::string> DeletedSms(ChildProcess& gsm)
{
    std::vector<std::string> deleted;
    std::map<int, std::string> atIndex;
    for (const std::string& line : gsm.Lines()) {
        if (line.rfind("SMS-STORED ", 0) == 0) {
            std::istringstream in(line.substr(11));
            int index = 0;
            std::string number;
            in >> index >> number;
            std::string rest;
            std::getline(in, rest);
            rest.erase(0, rest.find_first_not_of(' '));
            if (auto text = DecodeJsonString(rest))
                atIndex[index] = *text;
        } else if (line.rfind("SMS-DELETED ", 0) == 0) {
            const int index = std::stoi(line.substr(12));
            deleted.push_back(atIndex[index]);
            atIndex.erase(index);
        }
    }
    return deleted;
}

// How many SMS the GSM modem still holds (its answer to "dump").
std::optional<int> GsmStoreCount(StationRig& rig)
{
    const size_t from = rig.gsm->LineCount();
    rig.gsm->Send("dump");
    const auto at = rig.gsm->WaitForPrefix("STORE-END ", 10s, from);
    if (!at)
        return std::nullopt;
    return std::stoi(rig.gsm->Line(*at).substr(10));
}

// The test's own connection to the station's database, holding its write
// lock: every write of the station waits for it (and gives up after its busy
// wait), while readers go on.
class DatabaseWriteLock {
public:
    explicit DatabaseWriteLock(const std::string& file)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
            db.setDatabaseName(QString::fromStdString(file));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
            if (!db.open()) {
                error = db.lastError().text().toStdString();
                return;
            }
            QSqlQuery begin(db);
            if (!begin.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
                error = begin.lastError().text().toStdString();
                return;
            }
            held = true;
        }
    }
    ~DatabaseWriteLock() { Release(); }
    DatabaseWriteLock(const DatabaseWriteLock&) = delete;
    DatabaseWriteLock& operator=(const DatabaseWriteLock&) = delete;

    bool Held() const { return held; }
    const std::string& Error() const { return error; }

    void Release()
    {
        if (!QSqlDatabase::contains(kName))
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(kName, false);
            if (held) {
                QSqlQuery rollback(db);
                rollback.exec(QStringLiteral("ROLLBACK"));
                held = false;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(kName);
    }

private:
    static inline const QString kName = QStringLiteral("e2e-write-lock");
    bool held = false;
    std::string error;
};

class DurabilityE2e : public RestartableStationTest {};

// --- SIGTERM while alarms arrive ----------------------------------------

struct StopCase {
    const char* name;
    const char* process;  // "gsm" or "modem": whose event sends the SIGTERM
    const char* event;
    int burst;  // SMS alarms waiting on the modem
};

void PrintTo(const StopCase& c, std::ostream* out)
{
    *out << c.name;
}

class StopWhileAlarmsArrive : public DurabilityE2e, public ::testing::WithParamInterface<StopCase> {};

// A lift telephone is on the line and a burst of SMS alarms waits on the GSM
// modem when the service manager stops the station. Every SMS the modem has
// deleted is stored, once; a telephone alarm is stored when the telephone was
// told it is delivered; the rest stays on the modem (or with the lift) and is
// taken after the restart, so that in the end every SMS is stored exactly
// once.
TEST_P(StopWhileAlarmsArrive, LosesNoneAndStoresEachOnce)
{
    const StopCase& c = GetParam();
    const int kBurst = c.burst;
    rig.AddLift(SmsLift());
    auto p100 = Lift("12345678", "Lift A, main stairs");
    p100.smsTech.clear();
    p100.smsEmg.clear();
    rig.AddLift(p100);
    rig.StartModem(kModemScenario);
    rig.StartGsm();
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());

    rig.modem->Send("call " + Call(R"({"type": "p100", "code": 0, "identity": "12345678"})"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "P100-START")) << "the station did not answer the call";
    std::vector<std::string> texts;
    for (int i = 1; i <= kBurst; ++i) {
        texts.push_back("Burst alarm " + std::to_string(i) + " of " + std::to_string(kBurst));
        rig.gsm->Send(std::string("sms ") + kSmsLift + " " + texts.back());
    }
    ChildProcess* trigger = std::string(c.process) == "gsm" ? rig.gsm.get() : rig.modem.get();
    ASSERT_TRUE(rig.WaitLine(trigger, c.event)) << "no " << c.event;
    ExpectCleanStop();

    // What the station took in before it stopped.
    const auto left = GsmStoreCount(rig);
    ASSERT_TRUE(left.has_value()) << "the GSM modem did not list its store";
    const std::vector<std::string> deleted = DeletedSms(*rig.gsm);
    EXPECT_EQ(static_cast<int>(deleted.size()) + *left, kBurst);
    const auto rows = rig.Alarms();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const AlarmRow& r) { return r.alarmSource == 2; }),
              static_cast<long>(deleted.size()))
        << "the SMS alarms stored are not the SMS the modem deleted";
    for (const std::string& text : deleted)
        EXPECT_EQ(RowsOf(rows, text), 1u) << "deleted from the modem: " << text;
    const long telRows = std::count_if(rows.begin(), rows.end(), [](const AlarmRow& r) { return r.alarmSource == 1; });
    EXPECT_LE(telRows, 1);
    if (rig.modem->CountText("HANGUP P100") > 0) {
        EXPECT_EQ(telRows, 1) << "the telephone was told its alarm is delivered, but it was not stored";
    }
    EXPECT_EQ(ReadFile(JournalPath(rig)), "") << "alarms stranded in the journal after a clean stop";

    // After the restart the rest is taken from the modem; nothing twice.
    // (A telephone that was not told its alarm is delivered may call again:
    // its alarm may then be stored once more.)
    ASSERT_NO_FATAL_FAILURE(StartStation());
    ASSERT_TRUE(rig.Until([&] { return DeletedSms(*rig.gsm).size() == static_cast<size_t>(kBurst); }, 40s))
        << "the SMS left on the modem were not taken after the restart";
    const std::string smsRows = "WHERE AlarmSource = 2";
    EXPECT_EQ(rig.WaitForAlarms(kBurst, 10s, smsRows).size(), static_cast<size_t>(kBurst));
    ExpectCleanStop();
    const auto atTheEnd = rig.Alarms(smsRows);
    EXPECT_EQ(atTheEnd.size(), static_cast<size_t>(kBurst));
    for (const std::string& text : texts)
        EXPECT_EQ(RowsOf(atTheEnd, text), 1u) << text;
    EXPECT_GE(rig.Alarms("WHERE AlarmSource = 1").size(), static_cast<size_t>(telRows));
    EXPECT_EQ(ReadFile(JournalPath(rig)), "");
}

INSTANTIATE_TEST_SUITE_P(Durability, StopWhileAlarmsArrive,
                         ::testing::Values(
                             // The first SMS is gone from the modem; more are being read.
                             StopCase{"AfterTheFirstSmsIsDeleted", "gsm", "SMS-DELETED", 20},
                             // The telephone's P100 message is on its way to the station.
                             StopCase{"WhileTheTelephoneAlarmIsRead", "modem", "P100-MSG", 6}),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// Two SMS alarms just before the stop: the first one's mail has gone out,
// the second one is stored and its mail waits behind the mail handler's pause
// between two mails when the service manager stops the station. That mail
// goes out once: before the station ends, or after its restart.
TEST_F(DurabilityE2e, AlarmMailStillQueuedAtTheStopIsSentOnce)
{
    rig.AddLift(SmsLift());
    rig.StartGsm();
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const std::string first = "Car stuck at floor 3";
    const std::string queued = "Passenger trapped, mail queued at the stop";
    const std::string sentinel = "Door fault after the restart";

    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + first);
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + queued);
    ASSERT_TRUE(rig.WaitForMail(1)) << "the first alarm was not mailed";
    // Stored means forwarded: the mail is handed on before the row is written.
    ASSERT_EQ(rig.WaitForAlarms(2).size(), 2u);
    const int mailedBeforeTheStop = rig.MailsWith(queued);
    ExpectCleanStop();
    EXPECT_EQ(ReadFile(JournalPath(rig)), "");

    ASSERT_NO_FATAL_FAILURE(StartStation());
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + sentinel);
    ASSERT_EQ(rig.WaitForAlarms(3).size(), 3u);
    // Mails leave in the order of the alarms: a mail still owed from before
    // the stop would come before the sentinel's.
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(sentinel) == 1; })) << "no mail for the sentinel";
    EXPECT_EQ(rig.MailsWith(first), 1);
    EXPECT_EQ(rig.MailsWith(queued), 1) << "mailed " << mailedBeforeTheStop << " time(s) before the stop";
    ExpectCleanStop();
    EXPECT_EQ(rig.Alarms().size(), 3u);
}

// --- the database's disk full -------------------------------------------

// The station's data folder on a small tmpfs of the test's own, mounted
// before the database is made and unmounted after the station has stopped.
class DurabilityDiskFullE2e : public DurabilityE2e {
protected:
    static constexpr const char* kSize = "size=4m";

    void SetUp() override
    {
        if (::mount("tmpfs", rig.DataDir().c_str(), "tmpfs", 0, kSize) != 0)
            GTEST_SKIP() << "cannot mount a tmpfs for the database folder (" << std::strerror(errno)
                         << "); the test needs to run as root";
        mounted = true;
    }

    void TearDown() override
    {
        DurabilityE2e::TearDown();
        // The station works in the folder: it stops before the unmount.
        if (rig.station && rig.station->Running())
            rig.StopStation();
        if (mounted && ::umount(rig.DataDir().c_str()) != 0)
            ::umount2(rig.DataDir().c_str(), MNT_DETACH);
    }

    // Fills the disk with a file of its own; false when it did not fill up.
    bool FillDisk()
    {
        const int fd = ::open(FillerPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        bool full = false;
        for (const size_t chunk : {size_t{1} << 16, size_t{4096}, size_t{1}}) {
            const std::string block(chunk, 'x');
            for (;;) {
                const ssize_t n = ::write(fd, block.data(), block.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    full = errno == ENOSPC;
                    break;
                }
            }
        }
        ::close(fd);
        return full;
    }

    void FreeDisk() { std::filesystem::remove(FillerPath()); }

    std::string FillerPath() { return rig.DataDir() + "filler"; }

    bool mounted = false;
};

// The disk of the database fills up just when an SMS alarm comes in: the
// alarm is forwarded all the same, the operator is told that it waits, and
// it stays in the journal (whose space is reserved beforehand). Once the disk
// has room again, the next alarm is stored and the waiting one after it:
// each once, and the journal is empty again.
TEST_F(DurabilityDiskFullE2e, AlarmWaitsForTheDiskAndIsStoredOnceWhenThereIsRoom)
{
    rig.AddLift(SmsLift());
    rig.StartGsm();
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const std::string first = "Passenger trapped while the disk is full";
    const std::string sentinel = "Door fault after the disk was cleaned up";

    ASSERT_TRUE(FillDisk()) << "the disk did not fill up";
    const size_t stationLines = rig.station->LineCount();
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + first);
    ASSERT_TRUE(rig.WaitForMail(1)) << "the alarm was not forwarded while the disk was full";
    EXPECT_EQ(rig.MailsWith(first), 1);
    ASSERT_TRUE(rig.WaitStationText(kAlarmsWait, 30s, stationLines)) << "the operator was not told that it waits";
    EXPECT_TRUE(rig.Alarms().empty()) << "stored on a full disk?";
    EXPECT_NE(ReadFile(JournalPath(rig)).find(first), std::string::npos) << "the waiting alarm is not in the journal";
    EXPECT_TRUE(rig.StationLines(kAlarmsStored).empty());

    FreeDisk();
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + sentinel);
    const auto rows = rig.WaitForAlarms(2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(RowsOf(rows, first), 1u);
    EXPECT_EQ(RowsOf(rows, sentinel), 1u);
    EXPECT_TRUE(rig.WaitStationText(kAlarmsStored, 10s, stationLines));
    ASSERT_TRUE(rig.WaitForMail(2));
    EXPECT_EQ(rig.MailsWith(sentinel), 1);
    EXPECT_EQ(rig.StationLines(kAlarmsWait).size(), 1u) << "one line for the waiting alarms";

    ExpectCleanStop();
    const auto after = rig.Alarms();
    EXPECT_EQ(after.size(), 2u);
    EXPECT_EQ(RowsOf(after, first), 1u);
    EXPECT_EQ(rig.MailCount(), 2);
    EXPECT_EQ(rig.MailsWith(first), 1) << "the waiting alarm was forwarded again when it was stored";
    EXPECT_EQ(ReadFile(JournalPath(rig)), "") << "the journal still holds records";
}

// --- killed between the modem's delete and the commit --------------------

// A mail server that takes the connection and then never says a word: a
// mail to it stays on its way for as long as the test likes.
class SilentMailServer {
public:
    SilentMailServer()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
    }
    ~SilentMailServer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    SilentMailServer(const SilentMailServer&) = delete;
    SilentMailServer& operator=(const SilentMailServer&) = delete;

    uint16_t Port() const { return port; }

private:
    int fd = -1;
    uint16_t port = 0;
};

struct KillCase {
    const char* name;
    bool mailDeliveredBeforeTheKill;
};

void PrintTo(const KillCase& c, std::ostream* out)
{
    *out << c.name;
}

class KilledBeforeTheCommit : public DurabilityE2e, public ::testing::WithParamInterface<KillCase> {};

// The station is killed after the GSM modem deleted the SMS but before its
// row is committed (the test holds the database's write lock, so the insert
// waits). After the restart the alarm is stored from the journal, once, and
// it is mailed once in all: not again when the mail had reached the server
// before the kill, and after the restart when it had not.
TEST_P(KilledBeforeTheCommit, AlarmIsStoredOnceAndMailedOnceAfterTheRestart)
{
    const KillCase& c = GetParam();
    rig.AddLift(SmsLift());
    rig.StartGsm();
    SilentMailServer silent;
    if (c.mailDeliveredBeforeTheKill) {
        rig.StartMailServer();
    } else {
        ASSERT_NE(silent.Port(), 0) << "no port for the silent mail server";
        rig.Set("MailPortNumber", silent.Port());
    }
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const std::string alarm = "Passenger trapped when the station was killed";
    const std::string sentinel = "Door fault after the restart";

    DatabaseWriteLock lock(rig.DatabaseFile());
    ASSERT_TRUE(lock.Held()) << lock.Error();
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + alarm);
    ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "SMS-DELETED")) << "the station did not take the SMS";
    // The insert gave up on the lock; the alarm was forwarded before that.
    ASSERT_TRUE(rig.WaitStationText(kAlarmsWait)) << "the station did not say that the alarm waits";
    if (c.mailDeliveredBeforeTheKill) {
        ASSERT_TRUE(rig.WaitForMail(1)) << "the alarm was not mailed while the database was locked";
    }
    ::kill(rig.station->Pid(), SIGKILL);
    rig.station->WaitExit(10s);
    ASSERT_FALSE(rig.station->Running());
    lock.Release();
    EXPECT_TRUE(rig.Alarms().empty()) << "committed although the database was locked";
    const std::string journal = ReadFile(JournalPath(rig));
    EXPECT_NE(journal.find(alarm), std::string::npos) << "the alarm is not in the journal: " << journal;

    if (!c.mailDeliveredBeforeTheKill)
        rig.StartMailServer();  // the mail server is back for the restart
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u) << "the alarm was not stored after the restart";
    EXPECT_TRUE(IsSmsRow(rows[0], alarm)) << rows[0];
    EXPECT_EQ(rows[0].idInfo, "Lift D, school");

    // Mails leave in the order of the alarms: once the sentinel's mail is
    // there, a mail of the alarm sent after the restart would have come
    // before it.
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + sentinel);
    ASSERT_EQ(rig.WaitForAlarms(2).size(), 2u);
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(sentinel) == 1; })) << "no mail for the sentinel";
    EXPECT_EQ(rig.MailsWith(alarm), 1) << "journal at the kill:\n" << journal;

    ExpectCleanStop();
    const auto after = rig.Alarms();
    EXPECT_EQ(after.size(), 2u);
    EXPECT_EQ(RowsOf(after, alarm), 1u);
    EXPECT_EQ(rig.MailsWith(alarm), 1);
    EXPECT_EQ(ReadFile(JournalPath(rig)), "");
}

INSTANTIATE_TEST_SUITE_P(Durability, KilledBeforeTheCommit,
                         ::testing::Values(
                             // The mail reached the server while the insert waited.
                             KillCase{"MailWentOutBeforeTheKill", true},
                             // The mail was still on its way (the server had not even greeted).
                             KillCase{"MailStillOnItsWayAtTheKill", false}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

// --- a voice call aborted by a silent modem ------------------------------

// The operator's handset rings for a CPC voice alarm when the telephone
// modem stops answering: the link times out and the call is aborted. Nobody
// talked to the passenger, so the alarm is forwarded, once.
TEST_F(DurabilityE2e, VoiceCallAbortedBySilentModemIsForwardedOnce)
{
    rig.AddLift(Lift("123456", "Lift C, hospital"));
    rig.AddLift(Lift("87654321", "Lift B, garage"));
    rig.Set("CpcEnabled", 1);
    rig.Set("VoiceCallEnabled", 1);
    rig.StartModem(kModemScenario);
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());

    rig.modem->Send("call " + Call(R"({"type": "cpc", "model_code": 2, "alarm_code": 10, "identity": "123456"})"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "VOICE-NOTIFY on")) << "the operator's handset never rang";
    ASSERT_TRUE(rig.WaitStationText(" CALL ")) << "the station does not show the ringing";
    ASSERT_EQ(rig.WaitForAlarms(1).size(), 1u);
    EXPECT_EQ(rig.MailCount(), 0) << "forwarded while the handset was ringing";

    // Every frame of the station is lost for a while: the link gives up.
    rig.modem->Send("fault silent 10");
    ASSERT_TRUE(rig.WaitStationText("VC_ABORTED")) << "the call was not aborted";
    ASSERT_TRUE(rig.WaitForMail(1)) << "the aborted voice alarm was not forwarded";
    EXPECT_EQ(rig.MailRecipients(1), std::vector<std::string>{"rescue@lifts.test"});
    EXPECT_NE(rig.mail->Part(1, "body").find("ID Code: 123456"), std::string::npos) << rig.mail->Part(1, "body");
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end")) << "the call did not end";

    // Once: the next alarm's mail is the second one.
    const size_t modemLines = rig.modem->LineCount();
    rig.modem->Send("call " + Call(R"({"type": "p100", "code": 0, "identity": "87654321"})"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end", 30s, modemLines));
    ASSERT_TRUE(rig.WaitForMail(2));
    EXPECT_NE(rig.mail->Part(2, "body").find("ID Code: 87654321"), std::string::npos) << rig.mail->Part(2, "body");

    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 2);
    EXPECT_EQ(rig.MailsWith("ID Code: 123456"), 1);
    EXPECT_EQ(rig.Alarms().size(), 2u);
}

}  // namespace
}  // namespace e2e
