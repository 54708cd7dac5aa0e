// The settings sheet: its five pages, their checks when a page is left or
// the sheet closes, the test mail, the language button, and what OK and
// Cancel leave in the values.

#include "BoxAnswerer.h"
#include "ModalScript.h"
#include "ui/SettingsSheet.h"

#include "dictionary/Dictionary.h"
#include "settings/RegistryValueStr.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "ui/SettingsPageComm.h"
#include "ui/SettingsPageDatabase.h"
#include "ui/SettingsPageEmail.h"
#include "ui/SettingsPageLang.h"
#include "ui/TestMailAddrDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace {

using modalscript::Answer;
using modalscript::Box;
using modalscript::BoxesOf;
using modalscript::ModalScript;

const char* const kPinMessage = "Only PIN-Codes with 4 digits or a blank field is valid";
const char* const kFewerMonths =
    "Decreasing the no of months will delete 'AlarmInfo' records that is older then the current setting!";
const char* const kManyMonths = "Keeping a large amount of 'AlarmInfo' records may slow down the Database accesses!";

std::string Range(int min, int max)
{
    return "Enter a value between " + std::to_string(min) + " and " + std::to_string(max);
}

Box Warning(const std::string& text)
{
    return {text, QMessageBox::Warning};
}

struct SentMail {
    std::string server;
    uint16_t port;
    std::string helo;
    std::string sender;
    std::string recipient;
    bool operator==(const SentMail&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SentMail& mail)
{
    return out << "{" << mail.server << ", " << mail.port << ", " << mail.helo << ", " << mail.sender << ", "
               << mail.recipient << "}";
}

class SettingsSheetTest : public ::testing::Test {
protected:
    SettingsSheetTest()
    {
        dictionary.Load();
        dictionary.SetLanguage("en");
    }

    SettingsSheetServices Services()
    {
        SettingsSheetServices services;
        services.sendTestMail = [this](const std::string& server, uint16_t port, const std::string& helo,
                                       const std::string& sender, const std::string& recipient) {
            sent.push_back({server, port, helo, sender, recipient});
        };
        services.browseDatabasePath = [this](std::string& folder) {
            browsedFrom.push_back(folder);
            if (chosenFolder.empty())
                return false;
            folder = chosenFolder;
            return true;
        };
        services.listPorts = [this] {
            ++portListings;
            return ports;
        };
        services.dictionary = &dictionary;
        services.storeLanguage = [this](const std::string& language) {
            if (storeFails)
                throw std::runtime_error("read-only");
            stored.push_back(language);
        };
        return services;
    }

    // The sheet on screen without its own event loop: the test drives it.
    std::unique_ptr<CPropertySheetLang> Open()
    {
        auto sheet = std::make_unique<CPropertySheetLang>(values, Services());
        sheet->show();
        return sheet;
    }

    template <class T>
    static T* Find(QWidget& sheet, const char* name)
    {
        T* found = sheet.findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    SettingsValues values;
    CDictionary dictionary;
    std::vector<SentMail> sent;
    std::vector<std::string> browsedFrom;
    std::string chosenFolder;
    std::vector<ComPortEntry> ports{{1, "COM1"}, {3, "COM3"}, {12, "COM12"}};
    int portListings = 0;
    std::vector<std::string> stored;
    bool storeFails = false;
};

// ---------------------------------------------------------------------------
// Opening

TEST_F(SettingsSheetTest, OpensOnTheCommunicationPageWithItsTextsAndApplyDisabled)
{
    auto sheet = Open();
    EXPECT_EQ(sheet->windowTitle(), "Settings");
    EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kComm);
    const std::vector<std::string> titles = {"Communication", "E-mail", "Alarms", "Database", "Language"};
    ASSERT_EQ(sheet->Tabs()->count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(sheet->Tabs()->tabText(i).toStdString(), titles[static_cast<size_t>(i)]);
    EXPECT_EQ(sheet->OkButton()->text(), "OK");
    EXPECT_EQ(sheet->CancelButton()->text(), "Cancel");
    EXPECT_EQ(sheet->ApplyButton()->text(), "Apply");
    EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
    EXPECT_EQ(Find<QGroupBox>(*sheet, "IDC_PP_SETTINGS_COMM_TELEPHONE_MODEM")->title(), "Telephone Modem");
    EXPECT_EQ(Find<QLabel>(*sheet, "IDC_PP_SETTINGS_COMM_RING_SIGNAL")->text(), "ring signal(s)");
    EXPECT_EQ(Find<QCheckBox>(*sheet, "GsmEnabled")->text(), "Enabled");
}

// Every page takes its texts the first time it is shown.
TEST_F(SettingsSheetTest, EveryPageShowsItsTextsWhenFirstShown)
{
    values.KeepAirMonths = 6;  // leaving the Database page asks nothing
    auto sheet = Open();
    const struct {
        int tab;
        const char* name;
        const char* text;
    } cases[] = {
        {CPropertySheetLang::kEmail, "IDC_PP_SETTINGS_EMAIL_SEND_TEST_MAIL", "&Send TestMail"},
        {CPropertySheetLang::kEmail, "IDC_PP_SETTINGS_EMAIL_OUTGOING_", "Outgoing (SMTP):"},
        {CPropertySheetLang::kAlarms, "IDC_PP_SETTINGS_ALARMS_SECONDS", "Seconds"},
        {CPropertySheetLang::kAlarms, "UseCidPhoneNumber", "Use Phone Number for Caller ID Identification"},
        {CPropertySheetLang::kDatabase, "IDC_PP_SETTINGS_DATABASE_BROWSE_DB_PATH", "&Browse"},
        {CPropertySheetLang::kDatabase, "IDC_PP_SETTINGS_DATABASE_MONTHS", "months"},
        {CPropertySheetLang::kLang, "IDC_PP_SETTINGS_LANG_SELECT_YOUR_PREFERED", "Select your prefered language:"},
        {CPropertySheetLang::kLang, "IDS_IDOK", "OK"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(sheet->SelectTab(c.tab)) << c.name;
        auto* widget = sheet->Page(c.tab)->findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        EXPECT_EQ(text.toStdString(), c.text) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Field checks

// A value outside its field's limits keeps the page, names the bounds, and
// leaves the field focused with its text selected; the bounds themselves
// pass. The same check runs when a tab is chosen and when OK is pressed.
TEST_F(SettingsSheetTest, EveryNumberFieldRefusesValuesOutsideItsLimits)
{
    const struct {
        int tab;
        const char* field;
        const char* text;
        std::string refusal;  // empty: accepted
    } cases[] = {
        {CPropertySheetLang::kComm, "TelRingSignals", "17", Range(0, 16)},
        {CPropertySheetLang::kComm, "TelRingSignals", "", Range(0, 16)},
        {CPropertySheetLang::kComm, "TelRingSignals", "0", ""},
        {CPropertySheetLang::kComm, "TelRingSignals", "16", ""},
        {CPropertySheetLang::kEmail, "MailPortNumber", "0", Range(1, 65535)},
        {CPropertySheetLang::kEmail, "MailPortNumber", "65536", Range(1, 65535)},
        {CPropertySheetLang::kEmail, "MailPortNumber", "1", ""},
        {CPropertySheetLang::kEmail, "MailPortNumber", "65535", ""},
        {CPropertySheetLang::kAlarms, "MaxAlarmlistItems", "99", Range(100, 5000)},
        {CPropertySheetLang::kAlarms, "MaxAlarmlistItems", "5001", Range(100, 5000)},
        {CPropertySheetLang::kAlarms, "MaxAlarmlistItems", "100", ""},
        {CPropertySheetLang::kAlarms, "MaxAlarmlistItems", "5000", ""},
        {CPropertySheetLang::kAlarms, "AlarmListRefreshInterval", "9", Range(10, 120)},
        {CPropertySheetLang::kAlarms, "AlarmListRefreshInterval", "121", Range(10, 120)},
        {CPropertySheetLang::kAlarms, "AlarmListRefreshInterval", "10", ""},
        {CPropertySheetLang::kAlarms, "AlarmListRefreshInterval", "120", ""},
        {CPropertySheetLang::kDatabase, "KeepAirMonths", "0", Range(1, 36)},
        {CPropertySheetLang::kDatabase, "KeepAirMonths", "37", Range(1, 36)},
        {CPropertySheetLang::kDatabase, "KeepAirMonths", "12", ""},
    };
    for (const auto& c : cases) {
        for (const bool byOk : {false, true}) {
            SCOPED_TRACE(std::string(c.field) + " \"" + c.text + "\"" + (byOk ? " by OK" : " by tab"));
            const SettingsValues before = values;
            auto sheet = Open();
            ASSERT_TRUE(sheet->SelectTab(c.tab));
            QLineEdit* field = Find<QLineEdit>(*sheet, c.field);
            field->setText(QString::fromLatin1(c.text));
            const int other =
                c.tab == CPropertySheetLang::kLang - 1 ? CPropertySheetLang::kComm : CPropertySheetLang::kLang;
            bool left = false;
            const std::vector<Box> boxes =
                BoxesOf([&] { left = byOk ? sheet->OnOk() : sheet->SelectTab(other); }, c.refusal.empty() ? 0 : 1);
            if (c.refusal.empty()) {
                EXPECT_TRUE(boxes.empty());
                EXPECT_TRUE(left);
                continue;
            }
            EXPECT_EQ(boxes, std::vector<Box>{Warning(c.refusal)});
            EXPECT_FALSE(left);
            EXPECT_EQ(sheet->CurrentTab(), c.tab);
            EXPECT_EQ(sheet->Tabs()->currentIndex(), c.tab);
            EXPECT_TRUE(sheet->isVisible());
            EXPECT_EQ(sheet->focusWidget(), field);
            EXPECT_EQ(field->selectedText(), field->text());
            EXPECT_EQ(values, before);
        }
    }
}

// Number fields take digits only, as many as their largest value has; text
// fields take their limit in characters, a character beyond the first plane
// counting as one.
TEST_F(SettingsSheetTest, FieldsTakeOnlyWhatFitsAsTyped)
{
    auto sheet = Open();
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const struct {
        int tab;
        const char* field;
        QString typed;
        QString kept;
    } cases[] = {
        {CPropertySheetLang::kComm, "TelRingSignals", "1a6x3", "16"},
        {CPropertySheetLang::kComm, "GsmPinCode", "12345", "1234"},
        {CPropertySheetLang::kEmail, "MailPortNumber", "2-5 2 5 99", "25259"},
        {CPropertySheetLang::kEmail, "SendMailServer", QString(81, QLatin1Char('s')), QString(80, QLatin1Char('s'))},
        {CPropertySheetLang::kEmail, "MailHeader2", QString(79, QLatin1Char('h')) + emoji + "h",
         QString(79, QLatin1Char('h')) + emoji},
        {CPropertySheetLang::kAlarms, "MaxAlarmlistItems", "123456", "1234"},
        {CPropertySheetLang::kAlarms, "AlarmListRefreshInterval", "1200", "120"},
        {CPropertySheetLang::kDatabase, "KeepAirMonths", "120", "12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        ASSERT_TRUE(sheet->SelectTab(c.tab));
        QLineEdit* field = Find<QLineEdit>(*sheet, c.field);
        field->clear();
        // One character after the other, as typed (a pair of surrogates is
        // one character).
        for (int i = 0; i < c.typed.size(); ++i) {
            const bool pair = c.typed.at(i).isHighSurrogate() && i + 1 < c.typed.size();
            field->insert(c.typed.mid(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
        }
        EXPECT_EQ(field->text(), c.kept);
    }
    // A paste into the middle keeps both ends and cuts the piece.
    ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kEmail));
    QLineEdit* header = Find<QLineEdit>(*sheet, "MailHeader1");
    header->setText(QString(78, QLatin1Char('a')) + "zz");
    header->setCursorPosition(78);
    header->insert("1234");
    EXPECT_EQ(header->text(), QString(78, QLatin1Char('a')) + "zz");
    header->setText(QString(76, QLatin1Char('a')) + "zz");
    header->setCursorPosition(76);
    header->insert("1234");
    EXPECT_EQ(header->text(), QString(76, QLatin1Char('a')) + "12zz");
}

// The PIN is empty or four digits; anything else keeps the page.
TEST_F(SettingsSheetTest, PinMustBeEmptyOrFourDigits)
{
    const struct {
        const char* pin;
        bool accepted;
    } cases[] = {
        {"", true}, {"1234", true}, {"0000", true}, {"123", false}, {"12a4", false}, {"abcd", false}, {"1 34", false},
    };
    for (const auto& c : cases) {
        for (const bool byOk : {false, true}) {
            SCOPED_TRACE(std::string("\"") + c.pin + "\"" + (byOk ? " by OK" : " by tab"));
            values = SettingsValues();
            auto sheet = Open();
            QLineEdit* pin = Find<QLineEdit>(*sheet, "GsmPinCode");
            pin->setText(QString::fromLatin1(c.pin));
            bool left = false;
            const std::vector<Box> boxes =
                BoxesOf([&] { left = byOk ? sheet->OnOk() : sheet->SelectTab(CPropertySheetLang::kEmail); },
                        c.accepted ? 0 : 1);
            EXPECT_EQ(left, c.accepted);
            if (c.accepted) {
                EXPECT_TRUE(boxes.empty());
                if (byOk)
                    EXPECT_EQ(values.GsmPinCode, c.pin);
                continue;
            }
            EXPECT_EQ(boxes, std::vector<Box>{Warning(kPinMessage)});
            EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kComm);
            EXPECT_EQ(sheet->focusWidget(), pin);
            EXPECT_EQ(pin->selectedText().toStdString(), c.pin);
            EXPECT_EQ(values.GsmPinCode, "");
        }
    }
}

// The ring signals are checked before the PIN: one message at a time.
TEST_F(SettingsSheetTest, RingSignalsAreCheckedBeforeThePin)
{
    auto sheet = Open();
    Find<QLineEdit>(*sheet, "TelRingSignals")->setText("20");
    Find<QLineEdit>(*sheet, "GsmPinCode")->setText("12");
    const std::vector<Box> boxes = BoxesOf([&] { sheet->SelectTab(CPropertySheetLang::kEmail); }, 1);
    EXPECT_EQ(boxes, std::vector<Box>{Warning(Range(0, 16))});
    EXPECT_EQ(sheet->focusWidget(), Find<QLineEdit>(*sheet, "TelRingSignals"));
}

// ---------------------------------------------------------------------------
// Months questions

TEST_F(SettingsSheetTest, LeavingTheDatabasePageAsksAboutTheMonths)
{
    using B = QMessageBox::StandardButton;
    const struct {
        const char* name;
        int from;
        const char* to;
        std::vector<B> answers;
        std::vector<std::string> asked;
        bool left;
    } cases[] = {
        {"12 to 6, OK", 12, "6", {B::Ok}, {kFewerMonths}, true},
        {"12 to 6, Cancel", 12, "6", {B::Cancel}, {kFewerMonths}, false},
        {"12 to 24, OK", 12, "24", {B::Ok}, {kManyMonths}, true},
        {"12 to 24, Cancel", 12, "24", {B::Cancel}, {kManyMonths}, false},
        {"30 to 20, OK both", 30, "20", {B::Ok, B::Ok}, {kFewerMonths, kManyMonths}, true},
        {"30 to 20, Cancel second", 30, "20", {B::Ok, B::Cancel}, {kFewerMonths, kManyMonths}, false},
        {"30 to 20, Cancel first", 30, "20", {B::Cancel}, {kFewerMonths}, false},
        {"24 to 24", 24, "24", {}, {}, true},
        {"6 to 12", 6, "12", {}, {}, true},
        {"12 to 13", 12, "13", {B::Ok}, {kManyMonths}, true},
    };
    for (const auto& c : cases) {
        for (const bool byOk : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (byOk ? " by OK" : " by tab"));
            values = SettingsValues();
            values.KeepAirMonths = c.from;
            auto sheet = Open();
            ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kDatabase));
            QLineEdit* months = Find<QLineEdit>(*sheet, "KeepAirMonths");
            months->setText(QString::fromLatin1(c.to));
            std::vector<Box> boxes;
            std::vector<ModalScript::Step> steps;
            for (B answer : c.answers)
                steps.push_back(Answer(boxes, answer));
            ModalScript script(steps);
            bool left = false;
            script.Run([&] { left = byOk ? sheet->OnOk() : sheet->SelectTab(CPropertySheetLang::kLang); });
            EXPECT_EQ(script.unexpected, 0);
            std::vector<Box> expected;
            for (const std::string& text : c.asked)
                expected.push_back(Warning(text));
            EXPECT_EQ(boxes, expected);
            EXPECT_EQ(left, c.left);
            if (!c.left) {
                EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kDatabase);
                EXPECT_EQ(sheet->focusWidget(), months);
                EXPECT_EQ(months->selectedText(), months->text());
                EXPECT_EQ(values.KeepAirMonths, c.from);
            } else if (byOk) {
                EXPECT_EQ(values.KeepAirMonths, std::atoi(c.to));
            }
        }
    }
}

// The months shown when the page last became current are the baseline.
TEST_F(SettingsSheetTest, ComingBackToTheDatabasePageMakesTheShownMonthsTheBaseline)
{
    values.KeepAirMonths = 12;
    auto sheet = Open();
    ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kDatabase));
    QLineEdit* months = Find<QLineEdit>(*sheet, "KeepAirMonths");
    months->setText("20");
    EXPECT_EQ(BoxesOf([&] { EXPECT_TRUE(sheet->SelectTab(CPropertySheetLang::kLang)); }, 1),
              std::vector<Box>{Warning(kManyMonths)});
    ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kDatabase));
    EXPECT_EQ(sheet->DatabasePage()->Baseline(), 20);
    // Against 20 nothing is asked; against the stored 12 it would be.
    EXPECT_TRUE(BoxesOf([&] { EXPECT_TRUE(sheet->OnOk()); }, 0).empty());
    EXPECT_EQ(values.KeepAirMonths, 20);
}

// ---------------------------------------------------------------------------
// Database folder

TEST_F(SettingsSheetTest, BrowseShowsTheChosenFolderWithItsNoteAndOkSavesIt)
{
    values.DatabasePath = "/srv/orva/";
    auto sheet = Open();
    ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kDatabase));
    QLineEdit* path = Find<QLineEdit>(*sheet, "DatabasePath");
    EXPECT_TRUE(path->isReadOnly());

    // Cancelled picker: nothing changes, nothing is said.
    EXPECT_TRUE(BoxesOf([&] { sheet->DatabasePage()->BrowseButton()->click(); }, 0).empty());
    EXPECT_EQ(path->text(), "/srv/orva/");

    chosenFolder = "/data/alarms";
    EXPECT_EQ(BoxesOf([&] { sheet->DatabasePage()->BrowseButton()->click(); }, 1),
              std::vector<Box>{Warning("NOTE! The program has to be restarted to use the new path")});
    EXPECT_EQ(browsedFrom, (std::vector<std::string>{"/srv/orva/", "/srv/orva/"}));
    EXPECT_EQ(path->text(), "/data/alarms/");
    EXPECT_EQ(values.DatabasePath, "/srv/orva/");
    EXPECT_TRUE(sheet->OnOk());
    EXPECT_EQ(values.DatabasePath, "/data/alarms/");
}

// ---------------------------------------------------------------------------
// Communication page lists

TEST_F(SettingsSheetTest, BaudRateListShows115200OnlyForThatValue)
{
    const struct {
        int32_t stored;
        int choose;  // -1: leave as shown
        int shown;
        int32_t saved;
    } cases[] = {
        {115200, -1, 1, 115200}, {9600, -1, 0, 9600},  {19200, -1, 0, 9600},
        {0, -1, 0, 9600},        {9600, 1, 0, 115200}, {115200, 0, 1, 9600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored) + " choose " + std::to_string(c.choose));
        values = SettingsValues();
        values.GsmBaudrate = c.stored;
        auto sheet = Open();
        QComboBox* list = Find<QComboBox>(*sheet, "GsmBaudrate");
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->itemText(0), "9600");
        EXPECT_EQ(list->itemText(1), "115200");
        EXPECT_EQ(list->currentIndex(), c.shown);
        if (c.choose >= 0)
            list->setCurrentIndex(c.choose);
        EXPECT_TRUE(sheet->OnOk());
        EXPECT_EQ(values.GsmBaudrate, c.saved);
    }
}

TEST_F(SettingsSheetTest, NetworkListsHoldTheSevenChoicesByPosition)
{
    values.WirelessNetSel = 3;
    values.GsmWirelessNetSel = 6;
    auto sheet = Open();
    const QStringList expected = {"2G + 3G + 4G", "2G + 3G", "2G + 4G", "3G + 4G", "2G", "3G", "4G"};
    for (const char* name : {"WirelessNetSel", "GsmWirelessNetSel"}) {
        QComboBox* list = Find<QComboBox>(*sheet, name);
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        EXPECT_EQ(texts, expected) << name;
    }
    EXPECT_EQ(Find<QComboBox>(*sheet, "WirelessNetSel")->currentText(), "3G + 4G");
    EXPECT_EQ(Find<QComboBox>(*sheet, "GsmWirelessNetSel")->currentText(), "4G");
    Find<QComboBox>(*sheet, "WirelessNetSel")->setCurrentIndex(0);
    Find<QComboBox>(*sheet, "GsmWirelessNetSel")->setCurrentIndex(4);
    EXPECT_TRUE(sheet->OnOk());
    EXPECT_EQ(values.WirelessNetSel, 0);
    EXPECT_EQ(values.GsmWirelessNetSel, 4);
}

// The port lists show the ports present; a configured port that has gone
// shows no selection and keeps its number unless the operator chooses one.
TEST_F(SettingsSheetTest, PortListsShowThePortsPresentAndKeepAPortThatHasGone)
{
    values.TelComPort = 3;
    values.GsmComPort = 7;
    auto sheet = Open();
    QComboBox* tel = Find<QComboBox>(*sheet, "TelComPort");
    QComboBox* gsm = Find<QComboBox>(*sheet, "GsmComPort");
    for (QComboBox* list : {tel, gsm}) {
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->itemText(0), "COM1");
        EXPECT_EQ(list->itemText(2), "COM12");
    }
    EXPECT_EQ(tel->currentText(), "COM3");
    EXPECT_EQ(gsm->currentIndex(), -1);

    // A port plugged in meanwhile is there when the drop-down opens.
    ports.push_back({20, "COM20"});
    gsm->setFocus();
    QTest::keyClick(gsm, Qt::Key_F4);
    gsm->hidePopup();
    EXPECT_EQ(gsm->findText("COM20"), 3);
    EXPECT_EQ(gsm->currentIndex(), -1);
    EXPECT_EQ(tel->count(), 3);

    // The operator's choice: the key moves the selection like a click.
    tel->setFocus();
    QTest::keyClick(tel, Qt::Key_Down);
    EXPECT_EQ(tel->currentText(), "COM12");
    EXPECT_TRUE(sheet->OnOk());
    EXPECT_EQ(values.TelComPort, 12);
    EXPECT_EQ(values.GsmComPort, 7);
}

// A port that another program holds is listed and can be chosen.
TEST_F(SettingsSheetTest, APortHeldByAnotherProgramIsListedAndCanBeChosen)
{
    TempDir dir;
    ScopedEnv comDir("ORVA_COM_DIR", dir.Path().string());
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ASSERT_EQ(symlink(slave.c_str(), (dir / "COM5").c_str()), 0);
    // The other program: the port open and locked, as a serial port holds it.
    const int holder = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ProbePort(5), 1);

    values.TelComPort = 1;
    SettingsSheetServices services = Services();
    services.listPorts = nullptr;  // the ports of this machine
    {
        CPropertySheetLang sheet(values, std::move(services));
        sheet.show();
        QComboBox* tel = Find<QComboBox>(sheet, "TelComPort");
        ASSERT_EQ(tel->count(), 1);
        EXPECT_EQ(tel->itemText(0), "COM5");
        EXPECT_EQ(tel->currentIndex(), -1);
        tel->setFocus();
        QTest::keyClick(tel, Qt::Key_Down);
        EXPECT_TRUE(sheet.OnOk());
    }
    EXPECT_EQ(values.TelComPort, 5);
    close(holder);
    close(master);
}

// ---------------------------------------------------------------------------
// Test mail

// The test mail uses the values typed on the page, saved or not, and goes
// only to an address the operator confirmed.
TEST_F(SettingsSheetTest, SendTestMailUsesTheValuesTypedOnThePage)
{
    const struct {
        const char* name;
        const char* port;
        const char* address;
        bool confirm;
        std::vector<Box> boxes;
        bool asked;
        std::vector<SentMail> mails;
    } cases[] = {
        {"confirmed",
         "2525",
         "ops@lift.test",
         true,
         {},
         true,
         {{"smtp.typed.test", 2525, "station-7", "orva@typed.test", "ops@lift.test"}}},
        {"cancelled", "2525", "ops@lift.test", false, {}, true, {}},
        {"empty address", "2525", "", true, {}, true, {}},
        {"port out of range", "0", "ops@lift.test", true, {Warning(Range(1, 65535))}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        values = SettingsValues();
        values.SendMailServer = "smtp.saved.test";
        values.MailPortNumber = 25;
        auto sheet = Open();
        ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kEmail));
        Find<QLineEdit>(*sheet, "SendMailServer")->setText("smtp.typed.test");
        Find<QLineEdit>(*sheet, "MailPortNumber")->setText(QString::fromLatin1(c.port));
        Find<QLineEdit>(*sheet, "MailAccountName")->setText("station-7");
        Find<QLineEdit>(*sheet, "MailSenderAddress")->setText("orva@typed.test");

        std::vector<Box> boxes;
        bool asked = false;
        std::vector<ModalScript::Step> steps;
        if (!c.boxes.empty())
            steps.push_back(Answer(boxes));
        else
            steps.push_back([&](QWidget* modal) {
                auto* dialog = dynamic_cast<CTestMailAddrDlg*>(modal);
                ASSERT_NE(dialog, nullptr);
                asked = true;
                dialog->AddressField()->setText(QString::fromLatin1(c.address));
                (c.confirm ? dialog->OkButton() : dialog->CancelButton())->click();
            });
        ModalScript script(steps);
        script.Run([&] { sheet->EmailPage()->SendTestMailButton()->click(); });
        EXPECT_EQ(script.unexpected, 0);
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(sent, c.mails);
        // Nothing is saved by a test mail.
        EXPECT_EQ(values.SendMailServer, "smtp.saved.test");
    }
}

// ---------------------------------------------------------------------------
// Language page

TEST_F(SettingsSheetTest, LanguageListShowsEveryLanguageOnceWithTheCurrentSelected)
{
    dictionary.SetLanguage("fr");
    auto sheet = Open();
    QComboBox* list = sheet->LangPage()->LanguageList();
    for (int visit = 0; visit < 2; ++visit) {
        ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kLang));
        QStringList codes;
        for (int i = 0; i < list->count(); ++i)
            codes << list->itemText(i);
        EXPECT_EQ(codes, (QStringList{"en", "de", "fr", "se"}));
        EXPECT_EQ(list->currentText(), "fr");
        EXPECT_LE(list->maxVisibleItems(), 5);
        ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kComm));
    }
}

TEST_F(SettingsSheetTest, LanguageButtonSwitchesAndStoresAtOnceOrSaysWhyNot)
{
    const struct {
        const char* name;
        const char* choice;
        bool storeFails;
        const char* told;
        const char* language;  // the dictionary's afterwards
        std::vector<std::string> stored;
    } cases[] = {
        {"accepted",
         "de",
         false,
         "Selected language set. The application must be restarted for changes to take effect",
         "de",
         {"de"}},
        {"unknown to the dictionary", "xx", false, "Unable to set selected language", "en", {}},
        {"not stored", "se", true, "Unable to set selected language", "en", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dictionary.SetLanguage("en");
        stored.clear();
        storeFails = c.storeFails;
        auto sheet = Open();
        ASSERT_TRUE(sheet->SelectTab(CPropertySheetLang::kLang));
        QComboBox* list = sheet->LangPage()->LanguageList();
        if (list->findText(c.choice) < 0)
            list->addItem(c.choice);
        list->setCurrentIndex(list->findText(c.choice));
        const std::vector<Box> boxes = BoxesOf([&] { sheet->LangPage()->ApplyButton()->click(); }, 1);
        EXPECT_EQ(boxes, (std::vector<Box>{{c.told, QMessageBox::NoIcon}}));
        EXPECT_EQ(dictionary.GetLanguage(), c.language);
        EXPECT_EQ(stored, c.stored);
    }
}

// By default the language goes to the settings store's "Language" value.
TEST_F(SettingsSheetTest, LanguageButtonWritesTheLanguageValueOfTheSettings)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
    RegistryValueStr language(RegistryRoot::CurrentUser, kSettingsKey, "Language");
    language.SetString("en");
    SettingsSheetServices services = Services();
    services.storeLanguage = nullptr;
    CPropertySheetLang sheet(values, std::move(services));
    sheet.show();
    ASSERT_TRUE(sheet.SelectTab(CPropertySheetLang::kLang));
    sheet.LangPage()->LanguageList()->setCurrentIndex(sheet.LangPage()->LanguageList()->findText("se"));
    BoxesOf([&] { sheet.LangPage()->ApplyButton()->click(); }, 1);
    EXPECT_EQ(language.GetString(), "se");
}

// ---------------------------------------------------------------------------
// OK and Cancel

// Every field of every page reaches the values on OK; Cancel leaves them as
// they were, except the language the Language page's button stored.
TEST_F(SettingsSheetTest, OkCopiesEveryFieldAndCancelNoneButTheStoredLanguage)
{
    values.KeepAirMonths = 12;
    values.DatabasePath = "/srv/orva/";
    chosenFolder = "/data/new/";
    const SettingsValues original = values;

    SettingsValues expected = original;
    expected.TelEnabled = 1;
    expected.TelComPort = 12;
    expected.TelRingSignals = 5;
    expected.CpcEnabled = 1;
    expected.WirelessNetSel = 2;
    expected.GsmEnabled = 1;
    expected.GsmComPort = 3;
    expected.GsmBaudrate = 115200;
    expected.GsmPinCode = "4711";
    expected.GsmWirelessNetSel = 5;
    expected.MailEnabled = 0;
    expected.SendMailServer = "smtp.example.test";
    expected.MailPortNumber = 587;
    expected.MailAccountName = "orva-station";
    expected.MailSenderAddress = "alarms@example.test";
    expected.MailHeader1 = "Lift alarm";
    expected.MailHeader2 = "Nordhafen Ost";
    expected.MaxAlarmlistItems = 1500;
    expected.ExtRelayCtrl = 0;
    expected.AlarmListAutRefreshEnabled = 1;
    expected.AlarmListRefreshInterval = 45;
    expected.AlarmPopUpEnabled = 0;
    expected.VoiceCallEnabled = 1;
    expected.VoiceCallAlertEnabled = 0;
    expected.SendMailAtTestAlarm = 1;
    expected.AcceptCallerIdTestAlarms = 1;
    expected.UseCidPhoneNumber = 1;
    expected.TestAlarmFilter = 1;
    expected.DatabasePath = "/data/new/";
    expected.KeepAirMonths = 6;

    auto edit = [&](CPropertySheetLang& sheet) {
        auto text = [&](const char* name, const char* value) { Find<QLineEdit>(sheet, name)->setText(value); };
        auto check = [&](const char* name, bool on) { Find<QCheckBox>(sheet, name)->setChecked(on); };
        auto pick = [&](const char* name, const char* entry) {
            QComboBox* list = Find<QComboBox>(sheet, name);
            list->setCurrentIndex(list->findText(entry));
            emit list->activated(list->currentIndex());
        };
        check("TelEnabled", true);
        pick("TelComPort", "COM12");
        text("TelRingSignals", "5");
        check("CpcEnabled", true);
        pick("WirelessNetSel", "2G + 4G");
        check("GsmEnabled", true);
        pick("GsmComPort", "COM3");
        pick("GsmBaudrate", "115200");
        text("GsmPinCode", "4711");
        pick("GsmWirelessNetSel", "3G");
        ASSERT_TRUE(sheet.SelectTab(CPropertySheetLang::kEmail));
        check("MailEnabled", false);
        text("SendMailServer", "smtp.example.test");
        text("MailPortNumber", "587");
        text("MailAccountName", "orva-station");
        text("MailSenderAddress", "alarms@example.test");
        text("MailHeader1", "Lift alarm");
        text("MailHeader2", "Nordhafen Ost");
        ASSERT_TRUE(sheet.SelectTab(CPropertySheetLang::kAlarms));
        text("MaxAlarmlistItems", "1500");
        check("ExtRelayCtrl", false);
        check("AlarmListAutRefreshEnabled", true);
        text("AlarmListRefreshInterval", "45");
        check("AlarmPopUpEnabled", false);
        check("VoiceCallEnabled", true);
        check("VoiceCallAlertEnabled", false);
        check("SendMailAtTestAlarm", true);
        check("AcceptCallerIdTestAlarms", true);
        check("UseCidPhoneNumber", true);
        check("TestAlarmFilter", true);
        ASSERT_TRUE(sheet.SelectTab(CPropertySheetLang::kDatabase));
        text("KeepAirMonths", "6");
        sheet.DatabasePage()->BrowseButton()->click();  // answered: the note
    };

    for (const bool confirm : {true, false}) {
        SCOPED_TRACE(confirm ? "OK" : "Cancel");
        values = original;
        stored.clear();
        dictionary.SetLanguage("en");
        CPropertySheetLang sheet(values, Services());
        // Every box is answered with OK: the note about the new folder, the
        // question about fewer months and the language set.
        BoxAnswerer answerer(QMessageBox::Ok);
        QTimer::singleShot(0, &sheet, [&] {
            edit(sheet);
            // Leaving the Database page asks about fewer months.
            ASSERT_TRUE(sheet.SelectTab(CPropertySheetLang::kLang));
            QComboBox* list = sheet.LangPage()->LanguageList();
            list->setCurrentIndex(list->findText("de"));
            sheet.LangPage()->ApplyButton()->click();
            (confirm ? sheet.OkButton() : sheet.CancelButton())->click();
        });
        const bool result = sheet.Run();
        EXPECT_EQ(answerer.asked,
                  (std::vector<std::string>{"NOTE! The program has to be restarted to use the new path", kFewerMonths,
                                            "Selected language set. The application must be restarted for "
                                            "changes to take effect"}));
        EXPECT_EQ(result, confirm);
        EXPECT_EQ(values, confirm ? expected : original);
        EXPECT_EQ(stored, std::vector<std::string>{"de"});
        EXPECT_EQ(dictionary.GetLanguage(), "de");
    }
}

// The keys of a tabbed dialog step through the pages, and the leaving
// checks hold them as they hold a click.
TEST_F(SettingsSheetTest, ControlTabStepsThroughThePagesUnlessAPageKeepsItself)
{
    auto sheet = Open();
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    QTest::keyClick(sheet.get(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kEmail);
    QTest::keyClick(sheet.get(), Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kComm);
    QTest::keyClick(sheet.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kLang);
    QTest::keyClick(sheet.get(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kComm);

    Find<QLineEdit>(*sheet, "GsmPinCode")->setText("1");
    EXPECT_EQ(BoxesOf([&] { QTest::keyClick(sheet.get(), Qt::Key_Tab, Qt::ControlModifier); }, 1),
              std::vector<Box>{Warning(kPinMessage)});
    EXPECT_EQ(sheet->CurrentTab(), CPropertySheetLang::kComm);
    EXPECT_EQ(sheet->Tabs()->currentIndex(), CPropertySheetLang::kComm);
}

// Escape is Cancel.
TEST_F(SettingsSheetTest, EscapeCancelsWithoutCopying)
{
    const SettingsValues original = values;
    CPropertySheetLang sheet(values, Services());
    ModalScript script({[&](QWidget* modal) {
        Find<QLineEdit>(sheet, "TelRingSignals")->setText("9");
        QTest::keyClick(modal, Qt::Key_Escape);
    }});
    bool result = true;
    script.Run([&] { result = sheet.Run(); });
    EXPECT_FALSE(result);
    EXPECT_EQ(values, original);
}

// Through the settings store: what OK changed decides what restarts.
class SheetForStore : public CSettingsSheet {
public:
    SheetForStore(SettingsSheetServices services, std::function<void(CPropertySheetLang&)> edit)
        : services(std::move(services)), edit(std::move(edit))
    {
    }
    bool Run(SettingsValues& values) override
    {
        CPropertySheetLang sheet(values, services);
        ModalScript script({[&](QWidget*) {
            edit(sheet);
            sheet.OkButton()->click();
        }});
        bool result = false;
        script.Run([&] { result = sheet.Run(); });
        return result;
    }

private:
    SettingsSheetServices services;
    std::function<void(CPropertySheetLang&)> edit;
};

TEST_F(SettingsSheetTest, EditSettingsReturnsTheRestartFlagsOfWhatOkChanged)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
    dir.WorkIn();
    const struct {
        const char* name;
        int tab;
        const char* field;
        const char* text;  // nullptr: toggle the check box
        int flags;
    } cases[] = {
        {"mail header", CPropertySheetLang::kEmail, "MailHeader1", "Header", 0},
        {"mail server", CPropertySheetLang::kEmail, "SendMailServer", "smtp.new.test", 0},
        {"voice calls", CPropertySheetLang::kAlarms, "VoiceCallEnabled", nullptr, SETTINGS_CHANGED_TEL},
        {"ring signals", CPropertySheetLang::kComm, "TelRingSignals", "4", SETTINGS_CHANGED_TEL},
        {"caller ID test alarms", CPropertySheetLang::kAlarms, "AcceptCallerIdTestAlarms", nullptr,
         SETTINGS_CHANGED_GSM},
        {"PIN", CPropertySheetLang::kComm, "GsmPinCode", "1234", SETTINGS_CHANGED_GSM},
        {"mail on/off", CPropertySheetLang::kEmail, "MailEnabled", nullptr, SETTINGS_CHANGED_MAIL},
        {"list length", CPropertySheetLang::kAlarms, "MaxAlarmlistItems", "300", SETTINGS_CHANGED_LIST},
        {"pop-up", CPropertySheetLang::kAlarms, "AlarmPopUpEnabled", nullptr, 0},
        {"unchanged text", CPropertySheetLang::kEmail, "MailPortNumber", "25", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSettings settings;
        settings.Load();
        SheetForStore sheet(Services(), [&](CPropertySheetLang& open) {
            ASSERT_TRUE(open.SelectTab(c.tab));
            if (c.text != nullptr) {
                Find<QLineEdit>(open, c.field)->setText(c.text);
            } else {
                QCheckBox* box = Find<QCheckBox>(open, c.field);
                box->setChecked(!box->isChecked());
            }
        });
        const SettingsValues before = settings.Values();
        EXPECT_EQ(settings.EditSettings(sheet), c.flags);
        EXPECT_EQ(settings.Values() == before, std::string(c.name) == "unchanged text");
        // Saved: a fresh load reads what OK left.
        CSettings reread;
        reread.Load();
        EXPECT_EQ(reread.Values(), settings.Values());
        // Back to the defaults for the next case.
        CSettings fresh;
        fresh.Values().DatabasePath = settings.Values().DatabasePath;
        ASSERT_TRUE(fresh.Save());
    }
}

}  // namespace
