#pragma once
// One station as an operator would run it, in a scratch folder: a settings
// file under its own XDG_CONFIG_HOME, serial ports under its own ORVA_COM_DIR,
// a database registered beforehand with the station's own database library,
// the telephone-modem and GSM-modem simulators of tools/, a real SMTP server
// (aiosmtpd), and the station itself started headless as a separate process.
// The tests look only at what is outside the station: the database file, the
// mails the server accepted, the SMS the GSM modem sent, the modem's events
// and the station's standard output.

#include "core/OleDateTime.h"
#include "db/Database.h"
#include "db/DatabaseHandler.h"
#include "db/DbConvert.h"
#include "db/DbObjectInfo.h"
#include "db/DbSchema.h"
#include "db/ObjectInfoMsg.h"
#include "mail/SmtpSink.h"
#include "settings/SettingsFile.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// One row of AlarmInfo as stored.
struct AlarmRow {
    uint32_t primaryKey = 0;
    std::string idCode;
    int alarmSource = 0;
    int alarmType = 0;
    std::string idInfo;
    int opFailType = 0;
    std::string text;
    int alarmStatus = 0;
    std::string alarmTime;
    std::string callerIdInfo;
};

inline std::ostream& operator<<(std::ostream& out, const AlarmRow& r)
{
    return out << "{key " << r.primaryKey << ", id '" << r.idCode << "', source " << r.alarmSource << ", type "
               << r.alarmType << ", opfail " << r.opFailType << ", status " << r.alarmStatus << ", info '" << r.idInfo
               << "', text '" << r.text << "', caller '" << r.callerIdInfo << "', time " << r.alarmTime << "}";
}

// An SMS the GSM modem reports as sent.
struct SentSms {
    std::string number;
    std::string text;
};

// A set-up step that failed: the test (or the benchmark) cannot go on. An
// exception, so that the rig serves the benchmark as well as the tests (where
// Google Test reports it as the failure of the test).
struct RigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void Require(bool condition, const std::string& what)
{
    if (!condition)
        throw RigError(what);
}

// The JSON string at the start of `text` (the simulators' way of printing a
// text), decoded; nothing when it is not one.
inline std::optional<std::string> DecodeJsonString(const std::string& text)
{
    if (text.empty() || text[0] != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            return out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'u': {
            if (i + 4 >= text.size())
                return std::nullopt;
            const unsigned code = static_cast<unsigned>(std::stoul(text.substr(i + 1, 4), nullptr, 16));
            i += 4;
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
            break;
        }
        default:
            out += text[i];
            break;
        }
    }
    return std::nullopt;
}

// "SMS-SENT <number> <json text>" (with or without a time stamp before it).
inline std::optional<SentSms> ParseSmsSent(const std::string& line)
{
    const size_t at = line.find("SMS-SENT ");
    if (at == std::string::npos)
        return std::nullopt;
    const std::string rest = line.substr(at + 9);
    SentSms sms;
    size_t textStart;
    if (!rest.empty() && rest[0] == '"') {
        const auto number = DecodeJsonString(rest);
        if (!number)
            return std::nullopt;
        sms.number = *number;
        textStart = rest.find("\" \"");
        if (textStart == std::string::npos)
            return std::nullopt;
        textStart += 2;
    } else {
        const size_t blank = rest.find(' ');
        if (blank == std::string::npos)
            return std::nullopt;
        sms.number = rest.substr(0, blank);
        textStart = blank + 1;
    }
    const auto text = DecodeJsonString(rest.substr(textStart));
    if (!text)
        return std::nullopt;
    sms.text = *text;
    return sms;
}

// A lift of the register with everything the tests look at filled in.
struct LiftRecord {
    std::string idCode;
    std::string phoneNumber;
    std::string idInfo;
    std::string address = "Storgatan 12, Uppsala";
    std::string mailTech = "tech1@lifts.test; tech2@lifts.test";
    std::string smsTech = "+46700000001";
    std::string mailEmg = "rescue@lifts.test";
    std::string smsEmg = "+46700000099";
    int16_t days = 0;  // no test-alarm supervision
    COleDateTime lastTestAlarm = COleDateTime::GetCurrentTime();
    int32_t testAlarmOnly = 0;
};

inline LiftRecord Lift(const std::string& idCode, const std::string& idInfo)
{
    LiftRecord lift;
    lift.idCode = idCode;
    lift.idInfo = idInfo;
    return lift;
}

class StationRig {
    // First member: the folder outlives every process that works in it.
    TempDir root;

public:
    StationRig()
    {
        namespace fs = std::filesystem;
        fs::create_directories(root.Path() / "data");
        fs::create_directories(root.Path() / "config");
        fs::create_directories(root.Path() / "com");
        // Defaults of every test: both modems on their simulators when they
        // run, answered at the first ring, mail to the test's own server.
        settings = {
            {"TelComPort", "1"},
            {"TelRingSignals", "1"},
            {"CpcEnabled", "0"},
            {"GsmComPort", "2"},
            {"GsmBaudrate", "9600"},
            {"MailEnabled", "1"},
            {"SendMailServer", "127.0.0.1"},
            {"MailAccountName", "station.orva.test"},
            {"MailSenderAddress", "station@orva.test"},
            {"MailHeader1", "Alarm centre test"},
            {"MailHeader2", "Night shift"},
            {"VoiceCallEnabled", "0"},
            {"SendMailAtTestAlarm", "0"},
            {"AcceptCallerIdTestAlarms", "0"},
            {"UseCidPhoneNumber", "0"},
            {"DatabasePath", DataDir()},
        };
    }

    ~StationRig()
    {
        if (station && station->Running())
            station->Terminate(20s);
        if (deadSocket >= 0)
            close(deadSocket);
    }

    std::string DataDir() const { return (root.Path() / "data").string() + "/"; }
    std::string ComDir() const { return (root.Path() / "com").string(); }
    std::string ConfigDir() const { return (root.Path() / "config").string(); }
    std::string DatabaseFile() const { return DataDir() + DbSchema::kDatabaseFileName; }
    std::string Path(const std::string& name) const { return (root.Path() / name).string(); }

    void Set(const std::string& name, const std::string& value) { settings[name] = value; }
    void Set(const std::string& name, int value) { settings[name] = std::to_string(value); }
    void SetEnv(const std::string& name, const std::string& value) { env[name] = value; }

    // --- register --------------------------------------------------------

    // An empty database, unless there is one. Call before the station starts.
    void CreateDatabase()
    {
        if (std::filesystem::exists(DatabaseFile()))
            return;
        CDbConvert convert;
        convert.SetPath(DataDir());
        Require(convert.CreateDatabase() == 1, "new database in " + DataDir());
    }

    // Adds the lift to the register, creating the database first when there
    // is none. Call before the station starts.
    void AddLift(const LiftRecord& entry)
    {
        CObjectInfoMsg lift(DBMSG_ADD_OBJECT_INFO);
        lift.IdCode = entry.idCode;
        lift.PhoneNumber = entry.phoneNumber;
        lift.IdInfo = entry.idInfo;
        lift.Address = entry.address;
        lift.Days = entry.days;
        lift.LastTestAlarm = entry.lastTestAlarm;
        lift.TestAlarmOnly = entry.testAlarmOnly;
        lift.AlarmPopUpEnabled = 1;
        lift.MailAddrTech = entry.mailTech;
        lift.SmsNumTech = entry.smsTech;
        lift.MailAddrEmg = entry.mailEmg;
        lift.SmsNumEmg = entry.smsEmg;
        lift.ElevatorType = "Traction";
        CDatabaseHandler handler;  // error boxes go to standard error
        CreateDatabase();
        CDatabase database;
        database.Open(DatabaseFile());
        CDbObjectInfo objects;
        objects.Attach(&handler, &database);
        auto reply = objects.AddObjectInfo(lift);
        Require(reply && reply->Result == DBRES_OBJECT_ADDED, "registering lift " + lift.IdCode);
    }

    // --- devices -----------------------------------------------------------

    // The telephone modem on port 1, driven by commands and the scenario.
    void StartModem(const std::string& scenario = "{}", const std::vector<std::string>& extraArgs = {})
    {
        std::vector<std::string> args{"--link", ComDir() + "/COM1", "--stdin", "--scenario", scenario};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        modem = StartSimulator("modem", "tools/modemsim/modemsim.py", args);
        Require(modem->WaitFor([](const std::string& l) { return IsEvent(l, "READY"); }, 20s).has_value(),
                "the telephone-modem simulator did not start");
        Set("TelEnabled", 1);
    }

    // The telephone modem's serial adapter pulled out: the simulator ends and
    // takes its pseudo-terminal and the port's link with it. It is kept in
    // unpluggedModems for its lines; StartModem puts a new one on the port.
    void UnplugModem()
    {
        Require(modem != nullptr, "no telephone modem to unplug");
        modem->Send("quit");
        Require(modem->WaitExit(10s) == 0, "the telephone-modem simulator did not end");
        unpluggedModems.push_back(std::move(modem));
    }

    // The GSM modem on port 2. Verbose, so that the tests see the station's
    // AT commands (the first SMS listing tells that the modem is ready).
    void StartGsm(const std::string& scenario = "{}")
    {
        gsm = StartSimulator("gsm", "tools/gsmsim/gsmsim.py",
                             {"--link", ComDir() + "/COM2", "--stdin", "--verbose", "--scenario", scenario});
        Require(gsm->WaitFor([](const std::string& l) { return IsEvent(l, "READY"); }, 20s).has_value(),
                "the GSM-modem simulator did not start");
        Set("GsmEnabled", 1);
    }

    // A real SMTP server for the station's mail.
    void StartMailServer()
    {
        mail = std::make_unique<SmtpSink>();
        Require(mail->Port() != 0, "the SMTP server did not start");
        Set("MailPortNumber", mail->Port());
    }

    // A port on which nobody listens: the mail server is down. The socket
    // stays bound (never listening) so that no other program takes the port
    // while the test runs; a connection is refused at once.
    void UseDeadMailServer()
    {
        deadSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Require(bind(deadSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "binding a dead port");
        socklen_t length = sizeof address;
        Require(getsockname(deadSocket, reinterpret_cast<sockaddr*>(&address), &length) == 0, "dead port");
        Set("MailPortNumber", ntohs(address.sin_port));
    }

    // --- station -----------------------------------------------------------

    void WriteSettings()
    {
        const QString path = QString::fromStdString(ConfigDir() + "/Tervin/ORVA.conf");
        auto file = settingsfile::Open(path, true);
        file->beginGroup(QStringLiteral("Settings"));
        for (const auto& [name, value] : settings)
            file->setValue(QString::fromStdString(name), QString::fromStdString(value));
        file->endGroup();
        Require(settingsfile::Sync(*file), "writing the settings file " + path.toStdString());
    }

    void StartStation(const std::string& operatorName = "Tester")
    {
        WriteSettings();
        ChildProcess::Options options;
        options.name = "station";
        // ORVA_E2E_STATION runs the tests against another build of the station.
        const char* binary = std::getenv("ORVA_E2E_STATION");
        options.argv = {binary && *binary ? binary : ORVA_STATION_BINARY, "--headless", "--operator", operatorName};
        options.env = env;
        options.env["XDG_CONFIG_HOME"] = ConfigDir();
        options.env["ORVA_COM_DIR"] = ComDir();
        options.env["QT_QPA_PLATFORM"] = "offscreen";
        options.workDir = DataDir();
        options.stderrPath = Path("station.stderr");
        station = std::make_unique<ChildProcess>(options);
        Require(station->Started(), "the station did not start");
        ++starts;
    }

    // Stops the station as the service manager would: SIGTERM, then the exit
    // code (0 for a clean stop). A station that needs more than 30 s is killed.
    int StopStation()
    {
        if (!station)
            return -1;
        return station->Terminate(30s);
    }

    std::string StationErrors() const
    {
        std::ifstream in(Path("station.stderr"));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Polls the condition every 20 ms until it holds or the limit is up.
    // Gives up at once when the station has ended (nothing more will come).
    template <typename Condition>
    bool Until(Condition condition, std::chrono::milliseconds limit = 30s)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (condition())
                return true;
            if (std::chrono::steady_clock::now() >= until)
                return false;
            if (station && !station->Running()) {
                // One last look: the station may have done it on its way out.
                return condition();
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    // A line of the process that starts with the prefix (or, with
    // anywhere = true, contains the text), from line `from` on.
    bool WaitLine(ChildProcess* process, const std::string& text, std::chrono::milliseconds limit = 30s,
                  size_t from = 0, bool anywhere = false)
    {
        if (process == nullptr)
            return false;
        return Until([&] { return FindLine(process, text, from, anywhere).has_value(); }, limit);
    }

    static std::optional<size_t> FindLine(ChildProcess* process, const std::string& text, size_t from = 0,
                                          bool anywhere = false)
    {
        const std::vector<std::string> lines = process->Lines();
        for (size_t i = from; i < lines.size(); ++i)
            if (anywhere ? lines[i].find(text) != std::string::npos : IsEvent(lines[i], text))
                return i;
        return std::nullopt;
    }

    // A simulator's event line that starts with the text, after the time
    // stamp that --timestamps puts before it ("12.345 CALL end 1").
    static bool IsEvent(const std::string& line, const std::string& text)
    {
        size_t start = 0;
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
            const size_t blank = line.find(' ');
            if (blank != std::string::npos && line.find_first_not_of("0123456789.") == blank)
                start = blank + 1;
        }
        return line.compare(start, text.size(), text) == 0;
    }

    // The GSM modem is ready for SMS once the station lists its store.
    bool WaitGsmReady(std::chrono::milliseconds limit = 30s) { return WaitLine(gsm.get(), "CMD AT+CMGL", limit); }

    // The telephone side is up once the station acknowledged the modem's
    // identification (queued calls start after that).
    bool WaitModemReady(std::chrono::milliseconds limit = 30s) { return WaitLine(modem.get(), "IDENT", limit); }

    // The station printed a line containing the text.
    bool WaitStationText(const std::string& text, std::chrono::milliseconds limit = 30s, size_t from = 0)
    {
        return WaitLine(station.get(), text, limit, from, true);
    }

    // The station has completed its start-up ("READY").
    bool WaitStationReady(std::chrono::milliseconds limit = 30s) { return WaitStationText(" READY", limit); }

    // The station's output lines that contain the text.
    std::vector<std::string> StationLines(const std::string& text)
    {
        std::vector<std::string> found;
        if (station)
            for (const std::string& line : station->Lines())
                if (line.find(text) != std::string::npos)
                    found.push_back(line);
        return found;
    }

    bool WaitForMail(int n, std::chrono::milliseconds limit = 30s)
    {
        return mail && Until([&] { return mail->HasMail(n); }, limit);
    }

    // --- what came out -------------------------------------------------------

    std::vector<AlarmRow> Alarms(const std::string& where = "")
    {
        std::vector<AlarmRow> rows;
        std::string error;
        const QString name = QStringLiteral("e2e-reader-%1").arg(++readerCount);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QString::fromStdString(DatabaseFile()));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
            if (db.open()) {
                QSqlQuery query(db);
                const QString sql =
                    QStringLiteral("SELECT PrimaryKey, IdCode, AlarmSource, AlarmType, IdInfo, OpFailType, Text, "
                                   "AlarmStatus, AlarmTime, CallerIdInfo FROM AlarmInfo ") +
                    QString::fromStdString(where) + QStringLiteral(" ORDER BY PrimaryKey");
                if (query.exec(sql)) {
                    while (query.next()) {
                        AlarmRow r;
                        r.primaryKey = query.value(0).toUInt();
                        r.idCode = query.value(1).toString().toStdString();
                        r.alarmSource = query.value(2).toInt();
                        r.alarmType = query.value(3).toInt();
                        r.idInfo = query.value(4).toString().toStdString();
                        r.opFailType = query.value(5).toInt();
                        r.text = query.value(6).toString().toStdString();
                        r.alarmStatus = query.value(7).toInt();
                        r.alarmTime = query.value(8).toString().toStdString();
                        r.callerIdInfo = query.value(9).toString().toStdString();
                        rows.push_back(r);
                    }
                } else {
                    error = query.lastError().text().toStdString();
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        Require(error.empty(), "reading AlarmInfo: " + error);
        return rows;
    }

    // Waits until at least `count` alarms are stored; returns what is there.
    std::vector<AlarmRow> WaitForAlarms(size_t count, std::chrono::milliseconds limit = 30s,
                                        const std::string& where = "")
    {
        std::vector<AlarmRow> rows;
        Until([&] { return (rows = Alarms(where)).size() >= count; }, limit);
        return rows;
    }

    // A value of the lift's ObjectInfo row.
    std::string LiftValue(const std::string& idCode, const std::string& column)
    {
        std::string value;
        const QString name = QStringLiteral("e2e-reader-%1").arg(++readerCount);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QString::fromStdString(DatabaseFile()));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
            if (db.open()) {
                QSqlQuery query(db);
                query.prepare(QStringLiteral("SELECT \"%1\" FROM ObjectInfo WHERE IdCode = ?")
                                  .arg(QString::fromStdString(column)));
                query.addBindValue(QString::fromStdString(idCode));
                if (query.exec() && query.next())
                    value = query.value(0).toString().toStdString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return value;
    }

    // Every SMS the GSM modem sent so far.
    std::vector<SentSms> SmsSent()
    {
        std::vector<SentSms> sent;
        if (gsm)
            for (const std::string& line : gsm->Lines())
                if (auto sms = ParseSmsSent(line))
                    sent.push_back(*sms);
        return sent;
    }

    // Waits until the GSM modem sent at least `count` SMS.
    std::vector<SentSms> WaitForSms(size_t count, std::chrono::milliseconds limit = 30s)
    {
        std::vector<SentSms> sent;
        Until([&] { return (sent = SmsSent()).size() >= count; }, limit);
        return sent;
    }

    // Every mail the server accepted so far.
    int MailCount() const
    {
        int n = 0;
        while (mail && mail->HasMail(n + 1))
            ++n;
        return n;
    }

    // The recipients of mail n (1, 2, ...), one per line as in the envelope.
    std::vector<std::string> MailRecipients(int n) const { return mail->Lines(n, "rcpt"); }

    // The mails whose body holds the text.
    int MailsWith(const std::string& text) const
    {
        int n = 0;
        for (int i = 1; i <= MailCount(); ++i)
            if (mail->Part(i, "body").find(text) != std::string::npos)
                ++n;
        return n;
    }

    // The SMS sent to the number whose text holds the text.
    int SmsSentTo(const std::string& number, const std::string& text)
    {
        int n = 0;
        for (const SentSms& sms : SmsSent())
            if (sms.number == number && sms.text.find(text) != std::string::npos)
                ++n;
        return n;
    }

    // The report of a failed test: what every process printed.
    std::string Transcripts()
    {
        std::string text;
        for (ChildProcess* p : {station.get(), modem.get(), gsm.get()})
            if (p)
                text += p->Transcript();
        text += "  station stderr:\n" + StationErrors();
        return text;
    }

    std::unique_ptr<ChildProcess> modem;
    std::vector<std::unique_ptr<ChildProcess>> unpluggedModems;  // by UnplugModem, oldest first
    std::unique_ptr<ChildProcess> gsm;
    std::unique_ptr<SmtpSink> mail;
    std::unique_ptr<ChildProcess> station;
    int starts = 0;

private:
    std::unique_ptr<ChildProcess> StartSimulator(const std::string& name, const std::string& script,
                                                 std::vector<std::string> args)
    {
        ChildProcess::Options options;
        options.name = name;
        options.argv = {"/usr/bin/python3", std::string(ORVA_SOURCE_DIR) + "/" + script};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env["PYTHONDONTWRITEBYTECODE"] = "1";
        options.stderrPath = Path(name + ".stderr");
        return std::make_unique<ChildProcess>(options);
    }

    std::map<std::string, std::string> settings;
    std::map<std::string, std::string> env;
    int readerCount = 0;
    int deadSocket = -1;

public:
    StationRig(const StationRig&) = delete;
    StationRig& operator=(const StationRig&) = delete;
};

}  // namespace e2e
