// Keyboard mnemonics: within one window, and within one menu, no two controls
// answer to the same Alt+letter, in any of the dictionary's languages. Two
// buttons with the same letter make Alt+letter only move the focus between
// them, so the operator cannot press either by keyboard.
//
// Every window of the station is built offscreen in each language: the main
// window's menu bar and each of its menus, the alarm dialog in its normal and
// voice-call forms, the system information panel, the operator dialogs, the
// database manager dialog, the port selection, the P100 test window and the
// message boxes with more than one button; the register's windows (object
// window, open list, customer and recipient dialogs with their entry
// dialogs), the send-SMS window and the test mail address.

#include "db/DatabaseMgrHost.h"
#include "db/ObjectInfoMsg.h"
#include "dictionary/Dictionary.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/DatabaseMsg.h"
#include "settings/Settings.h"
#include "station/OrvaDoc.h"
#include "station/RecordingDocScreen.h"
#include "support/TempDir.h"
#include "ui/AboutDlg.h"
#include "ui/AddEditCustomerInfoDlg.h"
#include "ui/AddEditMailSmsNumDlg.h"
#include "ui/AddUserMsgItemDlg.h"
#include "ui/AlertSound.h"
#include "ui/CustomerInfoDlg.h"
#include "ui/DatabaseMgrDlg.h"
#include "ui/EventMsgDlg.h"
#include "ui/EventMsgDlgHost.h"
#include "ui/ExportObjectInfoDlg.h"
#include "ui/GenerateP100MsgDlg.h"
#include "ui/MailSmsNumInfoDlg.h"
#include "ui/MainFrame.h"
#include "ui/MessageBox.h"
#include "ui/ObjectInfoDlg.h"
#include "ui/OpenObjectInfoDlg.h"
#include "ui/OperatorsDlg.h"
#include "ui/PrintDlg.h"
#include "ui/PrintListSource.h"
#include "ui/SelectOperatorDlg.h"
#include "ui/SendSmsDlg.h"
#include "ui/SetComPort.h"
#include "ui/SettingsSheet.h"
#include "ui/SystemInformationDlg.h"
#include "ui/TestMailAddrDlg.h"
#include "ui/UserMsgEditDlg.h"
#include "ui/ViewCommands.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTabWidget>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// The letter a text answers to: the character after the first single "&"
// ("&&" shows an ampersand), case-folded; a null character when none.
QChar Mnemonic(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toCaseFolded();
    }
    return {};
}

// The texts of one window or menu that share a letter, as "a: &Abc, &Add".
std::vector<std::string> Clashes(const QStringList& texts)
{
    std::map<QChar, QStringList> byLetter;
    for (const QString& text : texts) {
        const QChar letter = Mnemonic(text);
        if (!letter.isNull())
            byLetter[letter] << text;
    }
    std::vector<std::string> clashes;
    for (const auto& [letter, sharing] : byLetter) {
        if (sharing.size() > 1)
            clashes.push_back(QString(letter).toStdString() + ": " + sharing.join(QStringLiteral(", ")).toStdString());
    }
    return clashes;
}

// The texts of the window's controls that can carry a mnemonic: buttons,
// labels that lead to a field, group titles and tabs. Controls the window
// hides in its present form do not answer to their letter and are left out.
QStringList ControlTexts(QWidget& window)
{
    QStringList texts;
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(&window))
            texts << button->text();
    }
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->buddy() != nullptr && label->isVisibleTo(&window))
            texts << label->text();
    }
    for (QGroupBox* group : window.findChildren<QGroupBox*>()) {
        if (group->isVisibleTo(&window))
            texts << group->title();
    }
    for (QTabWidget* tabs : window.findChildren<QTabWidget*>()) {
        for (int tab = 0; tab < tabs->count(); ++tab)
            texts << tabs->tabText(tab);
    }
    return texts;
}

QStringList ActionTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions) {
        if (!action->isSeparator() && action->isVisible())
            texts << action->text();
    }
    return texts;
}

// One window or menu, named for the failure message, with its texts.
struct Group {
    std::string name;
    QStringList texts;
};

// The menu and its submenus, each a group of its own.
void AddMenu(std::vector<Group>& groups, const std::string& name, QMenu& menu)
{
    groups.push_back({name, ActionTexts(menu.actions())});
    for (QAction* action : menu.actions()) {
        if (QMenu* sub = action->menu())
            AddMenu(groups, name + " > " + action->text().toStdString(), *sub);
    }
}

// --- What the windows need around them -------------------------------------

class QuietView : public CViewCommands {
public:
    void OnAlarmlistView() override {}
    void OnAlarmlistDelete() override {}
    void OnAlarmlistRefresh() override {}
    void OnAlarmlistFilter(int) override {}
    void OnAlarmlistSetStatus(AlarmStatusChange) override {}
    void OnOptionsUnattended() override {}
    uint8_t GetFilterMask() const override { return 15; }
    bool IsUnattended() const override { return false; }
    void SetContextMenu(QMenu* menu) override { contextMenu = menu; }
    QMenu* contextMenu = nullptr;
};

class QuietPrintList : public CPrintListSource {
public:
    int GetPrintRowCount() const override { return 3; }
    std::vector<uint32_t> GetPrintSelection() const override { return {1}; }
};

class QuietHost : public CEventMsgDlgHost {
public:
    const SettingsValues& Settings() override { return settings; }
    void SetAlarmStatus(uint32_t, uint8_t, uint8_t) override {}
    void VoiceCallEnded(bool) override {}
    void DisconnectVoiceCall() override {}
    void OpenObjectInfo(bool, const std::string&, bool) override {}
    void DialogClosed(CEventMsgDlg*) override {}
    SettingsValues settings;
};

std::unique_ptr<CAlarmInfoMsg> MakeAlarm(uint8_t type, uint8_t status)
{
    auto alarm = std::make_unique<CAlarmInfoMsg>();
    alarm->PrimaryKey = 17;
    alarm->IdCode = "0301234567";
    alarm->AlarmSource = ALARMSOURCE_TEL;
    alarm->AlarmType = type;
    alarm->AlarmStatus = status;
    alarm->CallerIdInfo = "+46301234567";
    alarm->IdInfo = "Lift 3";
    alarm->AlarmTime = COleDateTime(2026, 12, 10, 12, 20, 33);
    alarm->AckTime.SetStatus(COleDateTime::null);
    alarm->ExecTime.SetStatus(COleDateTime::null);
    alarm->Text.AddLine("Passenger trapped");
    return alarm;
}

class MnemonicTest : public ::testing::TestWithParam<const char*> {
protected:
    MnemonicTest() { dir.WorkIn(); }
    void SetUp() override { ASSERT_TRUE(CDictionary::Instance().SetLanguage(GetParam())); }
    void TearDown() override
    {
        CDictionary::Instance().SetLanguage("en");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Shows the window (so it takes the form it has on screen), collects its
    // controls' texts and closes it again.
    void AddWindow(const std::string& name, QWidget& window)
    {
        window.show();
        QCoreApplication::processEvents();
        groups.push_back({name, ControlTexts(window)});
        window.hide();
    }

    void ExpectNoClashes()
    {
        ASSERT_FALSE(groups.empty());
        for (const Group& group : groups) {
            for (const std::string& clash : Clashes(group.texts))
                ADD_FAILURE() << GetParam() << ", " << group.name << ": the letter " << clash;
        }
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    std::vector<Group> groups;
};

TEST_P(MnemonicTest, MainWindowMenus)
{
    RecordingDocScreen screen;
    COrvaDoc doc(screen);
    QuietView view;
    CMainFrame frame(doc, view, new QWidget);
    groups.push_back({"menu bar", ActionTexts(frame.menuBar()->actions())});
    for (QAction* entry : frame.menuBar()->actions()) {
        if (QMenu* menu = entry->menu())
            AddMenu(groups, "menu " + entry->text().toStdString(), *menu);
    }
    if (view.contextMenu != nullptr)
        AddMenu(groups, "alarm list's context menu", *view.contextMenu);
    ExpectNoClashes();
}

TEST_P(MnemonicTest, AlarmDialogInEachForm)
{
    const struct {
        const char* name;
        uint8_t type;
        uint8_t status;
        bool voiceCall;
    } forms[] = {
        {"alarm dialog, voice call", ALARMTYPE_VOICE, ALARMSTATUS_NEW, true},
        {"alarm dialog, new alarm", ALARMTYPE_P100, ALARMSTATUS_NEW, false},
        {"alarm dialog, acknowledged SMS alarm", ALARMTYPE_SMS, ALARMSTATUS_ACKNOWLEDGED, false},
        {"alarm dialog, finished voice alarm", ALARMTYPE_VOICE, ALARMSTATUS_FINISHED, false},
    };
    QuietHost host;
    CAlertSound sound([] {});
    for (const auto& form : forms) {
        QPointer<CEventMsgDlg> dialog =
            new CEventMsgDlg(*MakeAlarm(form.type, form.status), form.voiceCall, host, "Alarm", sound);
        AddWindow(form.name, *dialog);
        delete dialog.data();
    }
    ExpectNoClashes();
}

TEST_P(MnemonicTest, PanelsAndDialogs)
{
    CSystemInformationDlg systemInformation(nullptr, false);
    AddWindow("system information", systemInformation);

    CSettings settings;
    settings.Values().Operator[0] = "Olle";
    COperatorsDlg operators(settings.Values().Operator);
    AddWindow("operators", operators);
    for (int mode : {0, 1}) {
        CSelectOperatorDlg select(settings, mode);
        AddWindow("select operator, mode " + std::to_string(mode), select);
    }

    for (int reason : {DBMGRDLG_REASON_INVALID_PATH, DBMGRDLG_REASON_NO_DATABASE, DBMGRDLG_REASON_BAD_DATABASE,
                       DBMGRDLG_REASON_OLD_VERSION}) {
        CDatabaseMgrDlg database(reason, dir.Path().string() + "/", nullptr);
        AddWindow("database manager, reason " + std::to_string(reason), database);
    }

    CSetComPort port("Serial Port", 1);
    AddWindow("set COM port", port);

    QWidget owner;
    CGenerateP100MsgDlg p100(&owner);
    AddWindow("P100 test message generator", p100);

    QuietPrintList rows;
    CPrintDlg print(rows, [](std::unique_ptr<CMsg>) {});
    AddWindow("print", print);
    CAboutDlg about;
    AddWindow("about", about);

    CEditUserMsgDlg userMessages(nullptr, (dir / "UserMsg99.txt"));
    AddWindow("user message editor", userMessages);
    CAddUserMsgItemDlg userMessageCode;
    AddWindow("user message code", userMessageCode);
    CExportObjectInfoDlg exportWindow([](std::unique_ptr<CMsg>) {});
    AddWindow("object export", exportWindow);

    SettingsValues values = settings.Values();
    CPropertySheetLang settingsSheet(values, SettingsSheetServices{});
    for (int tab = 0; tab < CPropertySheetLang::kTabCount; ++tab) {
        settingsSheet.show();
        ASSERT_TRUE(settingsSheet.SelectTab(tab));
        AddWindow("settings sheet, page " + std::to_string(tab), settingsSheet);
    }
    ExpectNoClashes();
}

TEST_P(MnemonicTest, RegisterWindows)
{
    const DbRequestSink nowhere = [](std::unique_ptr<CMsg>) {};
    CObjectInfoDlg objectWindow(nowhere);
    objectWindow.OpenNewObject("");
    AddWindow("object window, new", objectWindow);
    auto found = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
    found->Result = DBRES_OBJECT_FOUND_ID;
    found->IdCode = "30020002";
    objectWindow.OnReply(std::move(found));
    AddWindow("object window, edit", objectWindow);

    QPointer<COpenObjectInfoDlg> openList = new COpenObjectInfoDlg(nowhere, [](bool) {});
    AddWindow("open list", *openList);
    delete openList.data();

    CCustomerInfoDlg customers(nowhere, "");
    AddWindow("customers", customers);
    for (bool edit : {false, true}) {
        CAddEditCustomerInfoDlg customer(edit, "City Rail", "");
        AddWindow(edit ? "customer, edit" : "customer, new", customer);
    }
    for (RecipientMode mode : {RecipientMode::Mail, RecipientMode::Sms}) {
        const std::string name = mode == RecipientMode::Mail ? "e-mail" : "SMS";
        CMailSmsNumInfoDlg recipients(nowhere, mode, DBMSG_SMS_NUM_INFO, "");
        AddWindow(name + " recipients", recipients);
        for (bool edit : {false, true}) {
            CAddEditMailSmsNumDlg entry(mode, edit, "Night shift", "+46700000001");
            AddWindow(name + (edit ? " entry, edit" : " entry, new"), entry);
        }
    }

    CSendSmsDlg sendSms([](const std::string&, const std::string&) {}, nowhere);
    AddWindow("send SMS", sendSms);
    CTestMailAddrDlg testMail;
    AddWindow("test mail address", testMail);
    ExpectNoClashes();
}

TEST_P(MnemonicTest, MessageBoxesWithSeveralButtons)
{
    const QMessageBox::StandardButtons sets[] = {
        QMessageBox::Yes | QMessageBox::No,
        QMessageBox::Ok | QMessageBox::Cancel,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
        QMessageBox::Retry | QMessageBox::Cancel,
    };
    for (QMessageBox::StandardButtons buttons : sets) {
        QMessageBox box(QMessageBox::Warning, orvabox::Caption(), QStringLiteral("?"), buttons);
        orvabox::RelabelButtons(box);
        AddWindow("message box " + std::to_string(static_cast<int>(buttons)), box);
    }
    ExpectNoClashes();
}

// The checker itself: it finds a clash regardless of case, and neither an
// escaped ampersand nor a text without a letter is one.
TEST(MnemonicCheck, FindsSharedLettersOnly)
{
    EXPECT_EQ(Clashes({"&Ignorieren", "&ignorieren", "&Ok"}).size(), 1u);
    EXPECT_TRUE(Clashes({"Save && &Close", "&Save", "Plain", "&&Not"}).empty());
    EXPECT_EQ(Mnemonic("A && &b"), QLatin1Char('b'));
    EXPECT_TRUE(Mnemonic("trailing &").isNull());
}

INSTANTIATE_TEST_SUITE_P(Languages, MnemonicTest, ::testing::Values("en", "de", "fr", "se"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
