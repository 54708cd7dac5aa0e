#include "settings/Settings.h"

#include "settings/RegistryValueStr.h"
#include "settings/SettingsFile.h"
#include "support/TempDir.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <type_traits>
#include <variant>

namespace {

namespace fs = std::filesystem;

// Every test gets its own settings file ($XDG_CONFIG_HOME) and current folder.
class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() : config(dir.Path().string() + "/config"), env("XDG_CONFIG_HOME", config) { dir.WorkIn(); }

    std::string FilePath() const { return config + "/Tervin/ORVA.conf"; }

    void WriteFile(const std::string& body)
    {
        fs::create_directories(config + "/Tervin");
        std::ofstream(FilePath()) << "[Settings]\n" << body;
    }

    // What is stored on disk, read independently of CSettings.
    QVariant Stored(const char* name)
    {
        QSettings file(QString::fromStdString(FilePath()), QSettings::IniFormat);
        return file.value(QStringLiteral("Settings/") + QString::fromLatin1(name));
    }

    TempDir dir;
    std::string config;
    ScopedEnv env;
};

TEST_F(SettingsTest, FreshUserGetsEveryDefaultAndNothingIsWritten)
{
    CSettings settings;
    EXPECT_TRUE(settings.Load());

    SettingsValues expected;
    expected.DatabasePath = fs::current_path().string() + "/";
    EXPECT_EQ(settings.Values(), expected);
    EXPECT_FALSE(fs::exists(FilePath()));

    // the defaults worth spelling out
    const SettingsValues& v = settings.Values();
    EXPECT_EQ(v.TelComPort, 1);
    EXPECT_EQ(v.GsmComPort, 2);
    EXPECT_EQ(v.TelRingSignals, 2);
    EXPECT_EQ(v.GsmBaudrate, 9600);
    EXPECT_EQ(v.MailEnabled, 1);
    EXPECT_EQ(v.MailPortNumber, 25);
    EXPECT_EQ(v.MaxAlarmlistItems, 200);
    EXPECT_EQ(v.ExtRelayCtrl, 1);
    EXPECT_EQ(v.KeepAirMonths, 12);
    EXPECT_EQ(v.ColumnWidthIdInfo, 350);
}

TEST_F(SettingsTest, SaveWritesEveryValueButThreeAndKeepsTheFilePrivate)
{
    CSettings settings;
    settings.Load();
    settings.Values().NORD = 7;
    settings.Values().LastOperator = "Eva";
    ASSERT_TRUE(settings.Save());

    QSettings file(QString::fromStdString(FilePath()), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Settings"));
    for (const SettingDescriptor& d : SettingsTable())
        EXPECT_EQ(file.contains(QString::fromStdString(d.name)), d.saved) << d.name;
    EXPECT_FALSE(file.contains(QStringLiteral("NORD")));
    EXPECT_FALSE(file.contains(QStringLiteral("LastOperator")));
    EXPECT_FALSE(file.contains(QStringLiteral("Language")));

    struct stat info {};
    ASSERT_EQ(stat(FilePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((config + "/Tervin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST_F(SettingsTest, EveryValueSurvivesSaveAndLoad)
{
    CSettings settings;
    settings.Load();
    SettingsValues& v = settings.Values();
    v.TelComPort = 12;
    v.TelEnabled = 1;
    v.TelRingSignals = 16;
    v.CpcEnabled = 1;
    v.WirelessNetSel = 6;
    v.GsmComPort = 255;
    v.GsmEnabled = 1;
    v.GsmBaudrate = 115200;
    v.GsmPinCode = "0042";
    v.GsmWirelessNetSel = 3;
    v.MailEnabled = 0;
    v.SendMailServer = "smtp.example.org";
    v.MailPortNumber = 65535;
    v.MailAccountName = "station";
    v.MailSenderAddress = "alarm@example.org";
    v.MailHeader1 = "Hissalarm, Göteborg";  // a comma and non-ASCII letters
    v.MailHeader2 = "\"quoted\" = text; with # signs";
    v.MaxAlarmlistItems = 5000;
    v.AlarmPopUpEnabled = 0;
    v.VoiceCallEnabled = 1;
    v.VoiceCallAlertEnabled = 0;
    v.AlarmListAutRefreshEnabled = 1;
    v.AlarmListRefreshInterval = 120;
    v.SendMailAtTestAlarm = 1;
    v.AcceptCallerIdTestAlarms = 1;
    v.ExtRelayCtrl = 0;
    v.UseCidPhoneNumber = 1;
    v.TestAlarmFilter = 1;
    v.DatabasePath = "/srv/orva data/";
    v.KeepAirMonths = 36;
    v.ColumnWidthStatus = 1;
    v.ColumnWidthType = 2;
    v.ColumnWidthIdCode = 3;
    v.ColumnWidthIdInfo = 4;
    v.ColumnWidthCidInfo = 5;
    v.ColumnWidthDateTime = 6;
    for (int i = 0; i < kOperatorCount; ++i)
        v.Operator[i] = "Operatör " + std::to_string(i);
    ASSERT_TRUE(settings.Save());
    ASSERT_TRUE(settings.SaveLastOperator("Operatör 3"));

    CSettings reloaded;
    reloaded.Load();
    EXPECT_EQ(reloaded.Values(), settings.Values());
}

TEST_F(SettingsTest, NordSetByHandIsHonouredButNeverWrittenBack)
{
    WriteFile("NORD=3\n");
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.Values().NORD, 3);
    settings.Values().NORD = 9;
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(Stored("NORD").toInt(), 3);
}

TEST_F(SettingsTest, SaveLastOperatorWritesThatValueAlone)
{
    CSettings settings;
    settings.Load();
    settings.Values().MailHeader1 = "not saved";
    ASSERT_TRUE(settings.SaveLastOperator("Jean-Luc"));
    EXPECT_EQ(settings.Values().LastOperator, "Jean-Luc");
    EXPECT_EQ(Stored("LastOperator").toString(), QStringLiteral("Jean-Luc"));
    EXPECT_FALSE(Stored("MailHeader1").isValid());
}

// A value edited by hand into something the station cannot use reads as its
// default; a usable one is taken.
struct HandEditCase {
    const char* line;
    std::function<bool(const SettingsValues&)> check;
    const char* what;
};

TEST_F(SettingsTest, HandEditedValuesOfWrongTypeOrOutOfRangeReadAsDefaults)
{
    const std::vector<HandEditCase> cases = {
        {"TelComPort=abc", [](auto& v) { return v.TelComPort == 1; }, "not a number"},
        {"TelComPort=70000", [](auto& v) { return v.TelComPort == 1; }, "beyond 16 bits"},
        {"TelComPort=0", [](auto& v) { return v.TelComPort == 1; }, "no port 0"},
        {"TelComPort=17", [](auto& v) { return v.TelComPort == 17; }, "port 17 kept"},
        {"TelRingSignals=99", [](auto& v) { return v.TelRingSignals == 2; }, "too many rings"},
        {"TelRingSignals=0", [](auto& v) { return v.TelRingSignals == 0; }, "never answer is allowed"},
        {"TelEnabled=2", [](auto& v) { return v.TelEnabled == 0; }, "switch beyond 1"},
        {"GsmBaudrate=19200", [](auto& v) { return v.GsmBaudrate == 9600; }, "unsupported baud rate"},
        {"GsmBaudrate=115200", [](auto& v) { return v.GsmBaudrate == 115200; }, "fast baud rate"},
        {"MaxAlarmlistItems=50", [](auto& v) { return v.MaxAlarmlistItems == 200; }, "list too short"},
        {"MaxAlarmlistItems= 300 ", [](auto& v) { return v.MaxAlarmlistItems == 300; }, "spaces around"},
        {"MailPortNumber=-25", [](auto& v) { return v.MailPortNumber == 25; }, "negative port"},
        {"MailPortNumber=587", [](auto& v) { return v.MailPortNumber == 587; }, "submission port"},
        {"KeepAirMonths=1.5", [](auto& v) { return v.KeepAirMonths == 12; }, "fraction"},
        {"AlarmListRefreshInterval=", [](auto& v) { return v.AlarmListRefreshInterval == 10; }, "empty"},
        {"WirelessNetSel=7", [](auto& v) { return v.WirelessNetSel == 0; }, "no such network list"},
        {"NORD=x", [](auto& v) { return v.NORD == 0; }, "NORD not a number"},
        {"MailHeader1=Lift 3, Main Street", [](auto& v) { return v.MailHeader1 == "Lift 3, Main Street"; },
         "unquoted comma"},
        {"SendMailServer=", [](auto& v) { return v.SendMailServer.empty(); }, "empty text"},
        {"DatabasePath=", [](auto& v) { return v.DatabasePath == fs::current_path().string() + "/"; },
         "empty database folder"},
        {"GsmPinCode=1234", [](auto& v) { return v.GsmPinCode == "1234"; }, "PIN"},
    };
    for (const HandEditCase& c : cases) {
        TempDir own;
        ScopedEnv ownConfig("XDG_CONFIG_HOME", own.Path().string());
        fs::create_directories(own.Path() / "Tervin");
        std::ofstream(own / "Tervin/ORVA.conf") << "[Settings]\n" << c.line << "\n";
        CSettings settings;
        settings.Load();
        EXPECT_TRUE(c.check(settings.Values())) << c.what << ": " << c.line;
    }
}

TEST_F(SettingsTest, GarbageFileReadsAsDefaults)
{
    fs::create_directories(config + "/Tervin");
    std::ofstream(FilePath(), std::ios::binary) << std::string("\0\xff\xfe[[[=\n=\n\x01", 12);
    CSettings settings;
    EXPECT_TRUE(settings.Load());
    EXPECT_EQ(settings.Values().TelComPort, 1);
    EXPECT_EQ(settings.Values().MaxAlarmlistItems, 200);
}

TEST_F(SettingsTest, UnwritableSettingsFolderFailsSaveWithoutHarm)
{
    // XDG_CONFIG_HOME below a regular file: no folder can be made there.
    std::ofstream(dir / "plainfile") << "x";
    ScopedEnv blocked("XDG_CONFIG_HOME", dir / "plainfile");
    CSettings settings;
    EXPECT_TRUE(settings.Load());
    EXPECT_FALSE(settings.Save());
    EXPECT_FALSE(settings.SaveLastOperator("Eva"));
    EXPECT_EQ(settings.Values().LastOperator, "Eva");
}

// The restart flag each single change raises.
TEST(SettingsChangeFlags, EachValueRaisesItsOwnFlag)
{
    struct Case {
        const char* name;
        std::function<void(SettingsValues&)> change;
        int flags;
    };
    const std::vector<Case> cases = {
        {"TelComPort", [](auto& v) { v.TelComPort = 3; }, SETTINGS_CHANGED_TEL},
        {"TelEnabled", [](auto& v) { v.TelEnabled = 1; }, SETTINGS_CHANGED_TEL},
        {"TelRingSignals", [](auto& v) { v.TelRingSignals = 4; }, SETTINGS_CHANGED_TEL},
        {"CpcEnabled", [](auto& v) { v.CpcEnabled = 1; }, SETTINGS_CHANGED_TEL},
        {"WirelessNetSel", [](auto& v) { v.WirelessNetSel = 2; }, SETTINGS_CHANGED_TEL},
        {"VoiceCallEnabled", [](auto& v) { v.VoiceCallEnabled = 1; }, SETTINGS_CHANGED_TEL},
        {"ExtRelayCtrl", [](auto& v) { v.ExtRelayCtrl = 0; }, SETTINGS_CHANGED_TEL},
        {"GsmComPort", [](auto& v) { v.GsmComPort = 4; }, SETTINGS_CHANGED_GSM},
        {"GsmEnabled", [](auto& v) { v.GsmEnabled = 1; }, SETTINGS_CHANGED_GSM},
        {"GsmBaudrate", [](auto& v) { v.GsmBaudrate = 115200; }, SETTINGS_CHANGED_GSM},
        {"GsmPinCode", [](auto& v) { v.GsmPinCode = "1234"; }, SETTINGS_CHANGED_GSM},
        {"GsmWirelessNetSel", [](auto& v) { v.GsmWirelessNetSel = 1; }, SETTINGS_CHANGED_GSM},
        {"AcceptCallerIdTestAlarms", [](auto& v) { v.AcceptCallerIdTestAlarms = 1; }, SETTINGS_CHANGED_GSM},
        {"MailEnabled", [](auto& v) { v.MailEnabled = 0; }, SETTINGS_CHANGED_MAIL},
        {"MaxAlarmlistItems", [](auto& v) { v.MaxAlarmlistItems = 300; }, SETTINGS_CHANGED_LIST},
        {"UseCidPhoneNumber", [](auto& v) { v.UseCidPhoneNumber = 1; }, SETTINGS_CHANGED_LIST},
        {"TestAlarmFilter", [](auto& v) { v.TestAlarmFilter = 1; }, SETTINGS_CHANGED_LIST},
        {"KeepAirMonths", [](auto& v) { v.KeepAirMonths = 6; }, SETTINGS_CHANGED_LIST},
        {"SendMailServer", [](auto& v) { v.SendMailServer = "mx"; }, 0},
        {"MailPortNumber", [](auto& v) { v.MailPortNumber = 587; }, 0},
        {"MailAccountName", [](auto& v) { v.MailAccountName = "a"; }, 0},
        {"MailSenderAddress", [](auto& v) { v.MailSenderAddress = "a@b"; }, 0},
        {"MailHeader1", [](auto& v) { v.MailHeader1 = "h"; }, 0},
        {"MailHeader2", [](auto& v) { v.MailHeader2 = "h"; }, 0},
        {"AlarmPopUpEnabled", [](auto& v) { v.AlarmPopUpEnabled = 0; }, 0},
        {"VoiceCallAlertEnabled", [](auto& v) { v.VoiceCallAlertEnabled = 0; }, 0},
        {"AlarmListAutRefreshEnabled", [](auto& v) { v.AlarmListAutRefreshEnabled = 1; }, 0},
        {"AlarmListRefreshInterval", [](auto& v) { v.AlarmListRefreshInterval = 30; }, 0},
        {"SendMailAtTestAlarm", [](auto& v) { v.SendMailAtTestAlarm = 1; }, 0},
        {"DatabasePath", [](auto& v) { v.DatabasePath = "/x/"; }, 0},
        {"ColumnWidthType", [](auto& v) { v.ColumnWidthType = 1; }, 0},
        {"Operator[4]", [](auto& v) { v.Operator[4] = "Ola"; }, 0},
        {"LastOperator", [](auto& v) { v.LastOperator = "Ola"; }, 0},
        {"NORD", [](auto& v) { v.NORD = 1; }, 0},
        {"nothing", [](auto&) {}, 0},
        {"tel and mail",
         [](auto& v) {
             v.TelEnabled = 1;
             v.MailEnabled = 0;
         },
         SETTINGS_CHANGED_TEL | SETTINGS_CHANGED_MAIL},
        {"gsm and list",
         [](auto& v) {
             v.GsmEnabled = 1;
             v.KeepAirMonths = 2;
         },
         SETTINGS_CHANGED_GSM | SETTINGS_CHANGED_LIST},
    };
    for (const Case& c : cases) {
        SettingsValues before;
        SettingsValues after = before;
        c.change(after);
        EXPECT_EQ(SettingsChangeFlags(before, after), c.flags) << c.name;
    }
}

struct ScriptedSheet : CSettingsSheet {
    std::function<void(SettingsValues&)> edit;
    bool confirm = true;
    bool Run(SettingsValues& values) override
    {
        edit(values);
        return confirm;
    }
};

TEST_F(SettingsTest, EditSettingsSavesOnOkAndReportsTheRestarts)
{
    CSettings settings;
    settings.Load();

    ScriptedSheet headerOnly;
    headerOnly.edit = [](SettingsValues& v) { v.MailHeader1 = "Alarm centre North"; };
    EXPECT_EQ(settings.EditSettings(headerOnly), 0);
    EXPECT_EQ(settings.Values().MailHeader1, "Alarm centre North");
    EXPECT_EQ(Stored("MailHeader1").toString(), QStringLiteral("Alarm centre North"));

    ScriptedSheet voice;
    voice.edit = [](SettingsValues& v) { v.VoiceCallEnabled = 1; };
    EXPECT_EQ(settings.EditSettings(voice), SETTINGS_CHANGED_TEL);

    ScriptedSheet callerId;
    callerId.edit = [](SettingsValues& v) { v.AcceptCallerIdTestAlarms = 1; };
    EXPECT_EQ(settings.EditSettings(callerId), SETTINGS_CHANGED_GSM);
}

TEST_F(SettingsTest, EditSettingsCancelChangesNothing)
{
    CSettings settings;
    settings.Load();
    const SettingsValues before = settings.Values();
    ScriptedSheet cancelled;
    cancelled.edit = [](SettingsValues& v) {
        v.TelEnabled = 1;
        v.MailHeader2 = "x";
    };
    cancelled.confirm = false;
    EXPECT_EQ(settings.EditSettings(cancelled), 0);
    EXPECT_EQ(settings.Values(), before);
    EXPECT_FALSE(fs::exists(FilePath()));
}

// One row of the settings table changed at a time through the sheet, against
// the restart it must ask for. The expected flags are written out here, apart
// from the table, so a row that gains or loses its flag shows up; a value
// added to the table without a line here fails too.
TEST_F(SettingsTest, EveryValueOfTheTableRaisesExactlyItsRestartFlag)
{
    const std::map<std::string, int> expected = {
        {"NORD", 0},
        {"TelComPort", SETTINGS_CHANGED_TEL},
        {"TelEnabled", SETTINGS_CHANGED_TEL},
        {"TelRingSignals", SETTINGS_CHANGED_TEL},
        {"CpcEnabled", SETTINGS_CHANGED_TEL},
        {"WirelessNetSel", SETTINGS_CHANGED_TEL},
        {"GsmComPort", SETTINGS_CHANGED_GSM},
        {"GsmEnabled", SETTINGS_CHANGED_GSM},
        {"GsmBaudrate", SETTINGS_CHANGED_GSM},
        {"GsmPinCode", SETTINGS_CHANGED_GSM},
        {"GsmWirelessNetSel", SETTINGS_CHANGED_GSM},
        {"MailEnabled", SETTINGS_CHANGED_MAIL},
        {"SendMailServer", 0},
        {"MailPortNumber", 0},
        {"MailAccountName", 0},
        {"MailSenderAddress", 0},
        {"MailHeader1", 0},
        {"MailHeader2", 0},
        {"MaxAlarmlistItems", SETTINGS_CHANGED_LIST},
        {"AlarmPopUpEnabled", 0},
        {"VoiceCallEnabled", SETTINGS_CHANGED_TEL},
        {"VoiceCallAlertEnabled", 0},
        {"AlarmListAutRefreshEnabled", 0},
        {"AlarmListRefreshInterval", 0},
        {"SendMailAtTestAlarm", 0},
        {"AcceptCallerIdTestAlarms", SETTINGS_CHANGED_GSM},
        {"ExtRelayCtrl", SETTINGS_CHANGED_TEL},
        {"UseCidPhoneNumber", SETTINGS_CHANGED_LIST},
        {"TestAlarmFilter", SETTINGS_CHANGED_LIST},
        {"DatabasePath", 0},  // the document restarts the database for it itself
        {"KeepAirMonths", SETTINGS_CHANGED_LIST},
        {"ColumnWidthStatus", 0},
        {"ColumnWidthType", 0},
        {"ColumnWidthIdCode", 0},
        {"ColumnWidthIdInfo", 0},
        {"ColumnWidthCidInfo", 0},
        {"ColumnWidthDateTime", 0},
        {"Operator[0]", 0},
        {"Operator[1]", 0},
        {"Operator[2]", 0},
        {"Operator[3]", 0},
        {"Operator[4]", 0},
        {"Operator[5]", 0},
        {"Operator[6]", 0},
        {"Operator[7]", 0},
        {"Operator[8]", 0},
        {"Operator[9]", 0},
        {"LastOperator", 0},
    };
    ASSERT_EQ(SettingsTable().size(), expected.size());

    CSettings settings;
    settings.Load();
    for (const SettingDescriptor& d : SettingsTable()) {
        const auto want = expected.find(d.name);
        ASSERT_NE(want, expected.end()) << d.name << " has no expected flag";
        // Another value the sheet would accept for this row.
        ScriptedSheet sheet;
        sheet.edit = [&d](SettingsValues& values) {
            std::visit(
                [&d](auto* field) {
                    using Field = std::remove_pointer_t<decltype(field)>;
                    if constexpr (std::is_same_v<Field, std::string>) {
                        *field += "x";
                    } else {
                        int64_t next = *field + 1;
                        if (next > d.maxValue || (d.accepts && !d.accepts(next)))
                            next = d.accepts ? (*field == 9600 ? 115200 : 9600) : *field - 1;
                        *field = static_cast<Field>(next);
                    }
                },
                d.field(values));
        };
        const SettingsValues before = settings.Values();
        EXPECT_EQ(settings.EditSettings(sheet), want->second) << d.name;
        EXPECT_NE(settings.Values(), before) << d.name << " was not changed";
    }
}

TEST(SettingsPaths, TrailingSeparatorIsAddedOnce)
{
    EXPECT_EQ(CSettings::WithTrailingSeparator("/srv/orva"), "/srv/orva/");
    EXPECT_EQ(CSettings::WithTrailingSeparator("/srv/orva/"), "/srv/orva/");
    EXPECT_EQ(CSettings::WithTrailingSeparator("/"), "/");
}

}  // namespace
