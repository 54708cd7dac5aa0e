// The main window: which commands are enabled and checked, where each command
// goes, the menu translated once at creation (and the service pop-up gone),
// tooltips and prompts that follow the language at once, the hidden statuses
// and the lock keys in the status bar, the close question and the
// accelerators.

#include "station/RecordingDocScreen.h"

#include "core/TextLookup.h"
#include "dictionary/Dictionary.h"
#include "gsm/SendSmsWindow.h"
#include "messages/ComMsg.h"
#include "station/OrvaDoc.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"
#include "ui/Commands.h"
#include "ui/GenerateP100MsgDlg.h"
#include "ui/LockKeys.h"
#include "ui/MainFrame.h"
#include "ui/ViewCommands.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// The alarm list as the frame sees it: records the commands, and the filter
// commands flip their bit as the real list does.
class FakeView : public CViewCommands {
public:
    void OnAlarmlistView() override { calls.push_back("view"); }
    void OnAlarmlistDelete() override { calls.push_back("delete"); }
    void OnAlarmlistRefresh() override { calls.push_back("refresh"); }
    void OnAlarmlistFilter(int bit) override
    {
        calls.push_back("filter " + std::to_string(bit));
        mask ^= static_cast<uint8_t>(1u << bit);
    }
    void OnAlarmlistSetStatus(AlarmStatusChange change) override
    {
        calls.push_back("status " + std::to_string(StoredStatus(change)));
    }
    void OnOptionsUnattended() override
    {
        calls.push_back("unattended");
        unattended = !unattended;
    }
    uint8_t GetFilterMask() const override { return mask; }
    bool IsUnattended() const override { return unattended; }
    void SetContextMenu(QMenu* menu) override { contextMenu = menu; }

    std::vector<std::string> calls;
    uint8_t mask = 15;
    bool unattended = false;
    QMenu* contextMenu = nullptr;
};

class CountingSendSmsWindow : public CSendSmsWindow {
public:
    void SetDocument(CDocumentHost*) override {}
    void ShowWindow() override { ++shown; }
    void OnSendResult(const CGsmHandlerMsg&) override {}
    void OnSmsNumberReply(std::unique_ptr<CMsg>) override {}
    int shown = 0;
};

QString Tr(const char* key)
{
    return QString::fromStdString(LookupText(key));
}

// Answers the next message box with the given button and keeps what it showed.
struct BoxAnswer {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QAbstractButton* defaultButton = nullptr;
    QAbstractButton* noButton = nullptr;
    bool seen = false;
};

void AnswerNextBox(QMessageBox::StandardButton answer, BoxAnswer& seen)
{
    QTimer::singleShot(0, [answer, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            AnswerNextBox(answer, seen);  // not up yet
            return;
        }
        seen.seen = true;
        seen.text = box->text();
        seen.icon = box->icon();
        seen.defaultButton = box->defaultButton();
        seen.noButton = box->button(QMessageBox::No);
        box->button(answer)->click();
    });
}

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        doc = std::make_unique<COrvaDoc>(screen);
        doc->SetStopPause([](uint32_t) {});  // the close spends no real time
    }
    void TearDown() override
    {
        frame.reset();
        doc.reset();
    }

    CMainFrame& MakeFrame()
    {
        frame = std::make_unique<CMainFrame>(*doc, view, new QWidget);
        return *frame;
    }

    QMenu* TopMenu(const QString& title)
    {
        for (QAction* entry : frame->menuBar()->actions()) {
            if (entry->menu() && entry->text() == title)
                return entry->menu();
        }
        return nullptr;
    }

    QWidget* Button(int command) { return frame->ToolBar()->widgetForAction(frame->Action(command)); }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    RecordingDocScreen screen;
    std::unique_ptr<COrvaDoc> doc;
    FakeView view;
    std::unique_ptr<CMainFrame> frame;
};

// ---------------------------------------------------------------------------
// Enabled and checked

struct EnableCase {
    int gsm;
    int voice;
};

class MainFrameEnableTest : public MainFrameTest, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(MainFrameEnableTest, SendSmsFollowsGsmAndUnattendedFollowsVoiceCalls)
{
    const EnableCase c = GetParam();
    CMainFrame& f = MakeFrame();
    doc->Settings().GsmEnabled = c.gsm;
    doc->Settings().VoiceCallEnabled = c.voice;
    f.UpdateCommandStates();

    EXPECT_EQ(f.Action(ID_OPTIONS_SEND_SMS)->isEnabled(), c.gsm != 0);
    EXPECT_EQ(f.Action(ID_OPTIONS_UNATTENDED)->isEnabled(), c.voice != 0);
    EXPECT_EQ(Button(ID_OPTIONS_UNATTENDED)->isEnabled(), c.voice != 0);
    EXPECT_FALSE(f.Action(ID_FILE_PRINT_PREVIEW)->isEnabled());
    EXPECT_TRUE(f.Action(ID_OPTIONS_SETTINGS)->isEnabled());
    EXPECT_TRUE(Button(ID_ALARMLIST_REFRESH)->isEnabled());

    // An accelerator or a stale menu cannot get past a greyed command.
    f.OnCommand(ID_OPTIONS_UNATTENDED);
    EXPECT_EQ(view.calls.size(), c.voice != 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Settings, MainFrameEnableTest,
                         ::testing::Values(EnableCase{0, 0}, EnableCase{1, 0}, EnableCase{0, 1}, EnableCase{1, 1}));

TEST_F(MainFrameTest, FilterAndUnattendedMarksFollowTheList)
{
    CMainFrame& f = MakeFrame();
    const int filters[] = {ID_ALARMLIST_FILTER_NEW, ID_ALARMLIST_FILTER_ACKNOWLEDGED, ID_ALARMLIST_FILTER_FINISHED,
                           ID_ALARMLIST_FILTER_INFOALARMS};
    for (uint8_t mask : {0, 15, 5, 10, 8}) {
        view.mask = mask;
        f.UpdateCommandStates();
        for (int bit = 0; bit < 4; ++bit) {
            const bool listed = (mask >> bit) & 1;
            EXPECT_EQ(f.Action(filters[bit])->isChecked(), listed) << int(mask) << " bit " << bit;
            EXPECT_EQ(static_cast<QAbstractButton*>(Button(filters[bit]))->isChecked(), listed);
        }
    }

    // A click on a filter button: the list flips its bit and the button shows
    // the list's state, not merely its own toggle.
    view.mask = 15;
    f.UpdateCommandStates();
    QTest::mouseClick(Button(ID_ALARMLIST_FILTER_FINISHED), Qt::LeftButton);
    EXPECT_EQ(view.calls, std::vector<std::string>{"filter 2"});
    EXPECT_EQ(view.mask, 11);
    EXPECT_FALSE(f.Action(ID_ALARMLIST_FILTER_FINISHED)->isChecked());

    doc->Settings().VoiceCallEnabled = 1;
    view.unattended = true;
    f.UpdateCommandStates();
    EXPECT_TRUE(static_cast<QAbstractButton*>(Button(ID_OPTIONS_UNATTENDED))->isChecked());
    f.Action(ID_OPTIONS_UNATTENDED)->trigger();
    EXPECT_FALSE(view.unattended);
    EXPECT_FALSE(f.Action(ID_OPTIONS_UNATTENDED)->isChecked());
}

// ---------------------------------------------------------------------------
// Routing

struct RouteCase {
    int command;
    const char* call;
};

class MainFrameRouteTest : public MainFrameTest, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(MainFrameRouteTest, ViewCommandReachesTheList)
{
    CMainFrame& f = MakeFrame();
    doc->Settings().VoiceCallEnabled = 1;
    f.UpdateCommandStates();
    f.Action(GetParam().command)->trigger();
    EXPECT_EQ(view.calls, std::vector<std::string>{GetParam().call});
}

INSTANTIATE_TEST_SUITE_P(Commands, MainFrameRouteTest,
                         ::testing::Values(RouteCase{ID_ALARMLIST_VIEW, "view"},
                                           RouteCase{ID_ALARMLIST_DELETE, "delete"},
                                           RouteCase{ID_ALARMLIST_REFRESH, "refresh"},
                                           RouteCase{ID_ALARMLIST_FILTER_NEW, "filter 0"},
                                           RouteCase{ID_ALARMLIST_FILTER_ACKNOWLEDGED, "filter 1"},
                                           RouteCase{ID_ALARMLIST_FILTER_FINISHED, "filter 2"},
                                           RouteCase{ID_ALARMLIST_FILTER_INFOALARMS, "filter 3"},
                                           RouteCase{ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED, "status 2"},
                                           RouteCase{ID_ALARMLIST_SETSTATUS_FINISHED, "status 3"},
                                           RouteCase{ID_OPTIONS_UNATTENDED, "unattended"}));

TEST_F(MainFrameTest, DocumentCommandsAndInstalledHandlers)
{
    CMainFrame& f = MakeFrame();

    f.Action(ID_OPTIONS_CHANGE_OPERATOR)->trigger();
    EXPECT_EQ(screen.operatorModes, std::vector<int>{0});

    int sheets = 0;
    screen.settingsSheet = [&sheets](SettingsValues&) {
        ++sheets;
        return false;
    };
    f.Action(ID_OPTIONS_SETTINGS)->trigger();
    EXPECT_EQ(sheets, 1);

    CountingSendSmsWindow sendSms;
    doc->GetGsmMgr().SetSendSmsWindow(&sendSms);
    doc->Settings().GsmEnabled = 1;
    f.UpdateCommandStates();
    f.Action(ID_OPTIONS_SEND_SMS)->trigger();
    EXPECT_EQ(sendSms.shown, 1);
    doc->GetGsmMgr().SetSendSmsWindow(nullptr);

    // Windows other code owns: the installed handler, and only while installed.
    int shown = 0;
    f.SetCommandHandler(ID_OPTIONS_SYSTEMINFORMATION, [&shown] { ++shown; });
    f.Action(ID_OPTIONS_SYSTEMINFORMATION)->trigger();
    f.SetCommandHandler(ID_OPTIONS_SYSTEMINFORMATION, nullptr);
    ASSERT_TRUE(screen.base.beeps.empty());
    f.Action(ID_OPTIONS_SYSTEMINFORMATION)->trigger();
    EXPECT_EQ(shown, 1);
    // Nobody there to carry it out: the document's screen beeps.
    EXPECT_EQ(screen.base.beeps, std::vector<BeepKind>{BeepKind::Default});
    EXPECT_TRUE(view.calls.empty());
}

TEST_F(MainFrameTest, AcceleratorsReachTheirCommands)
{
    CMainFrame& f = MakeFrame();
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

    QTest::keyClick(&f, Qt::Key_F5);
    QTest::keyClick(&f, Qt::Key_Space);
    QTest::keyClick(&f, Qt::Key_Return);
    QTest::keyClick(&f, Qt::Key_Delete);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"refresh", "view", "view", "delete"}));

    // The P100 window has neither menu entry nor button, only its keys.
    ASSERT_NE(f.P100Window(), nullptr);
    EXPECT_FALSE(f.P100Window()->isVisible());
    QTest::keyClick(&f, Qt::Key_F1, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_TRUE(f.P100Window()->isVisible());
    EXPECT_TRUE(f.ToolBar()->widgetForAction(f.Action(ID_GENERATE_P100_MSG)) == nullptr);
}

// The document as the P100 generator reaches it: what goes to the
// telephone handler is kept.
class TelRecordingDoc : public COrvaDoc {
public:
    using COrvaDoc::COrvaDoc;
    void PostToTel(std::unique_ptr<CMsg> msg) override { toTel.push_back(std::move(msg)); }
    std::vector<std::unique_ptr<CMsg>> toTel;
};

TEST_F(MainFrameTest, TheP100GeneratorSendsItsFrameToTheTelephoneHandler)
{
    auto recording = std::make_unique<TelRecordingDoc>(screen);
    TelRecordingDoc* tel = recording.get();
    doc = std::move(recording);
    CMainFrame& f = MakeFrame();
    f.OnCommand(ID_GENERATE_P100_MSG);
    CGenerateP100MsgDlg* generator = f.P100Window();
    ASSERT_TRUE(generator->isVisible());
    generator->SendButton()->click();
    ASSERT_EQ(tel->toTel.size(), 1u);
    const auto* frame = dynamic_cast<const CComMsg*>(tel->toTel[0].get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetType(), TEL_SIMULATE_P100);
    EXPECT_EQ(frame->GetCommand(), CMD_P100_DATA);
    EXPECT_EQ(frame->GetPayload(0), 3);  // the preset: a test message of 12345678
    EXPECT_EQ(frame->GetPayload(1), 8);
    EXPECT_EQ(frame->GetPayload(2), 1);
    // Close hides the window; it stays for the next time.
    generator->reject();
    EXPECT_FALSE(generator->isVisible());
    f.OnCommand(ID_GENERATE_P100_MSG);
    EXPECT_EQ(f.P100Window(), generator);
    EXPECT_TRUE(generator->isVisible());
}

// ---------------------------------------------------------------------------
// Menu, tooltips and prompts

TEST_F(MainFrameTest, MenuIsTranslatedOnceAtCreationWithoutTheServicePopup)
{
    QString file, filter, refresh, exitText;
    {
        ScopedLanguage german("de");
        file = Tr("IDC_MENU_POPUP_FILE");
        filter = Tr("IDC_MENU_POPUP_FILTER");
        refresh = Tr("IDC_MENU_ID_ALARMLIST_REFRESH");
        exitText = Tr("IDC_MENU_ID_APP_EXIT");
        MakeFrame();
    }
    ASSERT_NE(file, QStringLiteral("&File"));

    // Back in English: the menu keeps the texts it was built with.
    const QList<QAction*> top = frame->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);  // File, Options, Alarmlist, Help; no service tests
    EXPECT_EQ(top[0]->text(), file);
    EXPECT_EQ(frame->Action(ID_APP_EXIT)->text(), exitText);
    EXPECT_EQ(frame->Action(ID_ALARMLIST_REFRESH)->text(), refresh);

    // The Alarmlist pop-up, as the list's context menu too.
    QMenu* alarmlist = frame->AlarmlistMenu();
    ASSERT_NE(alarmlist, nullptr);
    EXPECT_EQ(view.contextMenu, alarmlist);
    EXPECT_EQ(top[2]->menu(), alarmlist);
    const QList<QAction*> entries = alarmlist->actions();
    ASSERT_EQ(entries.size(), 6);
    EXPECT_EQ(entries[3]->text(), filter);
    EXPECT_EQ(entries[5], frame->Action(ID_FILE_PRINT));

    // Tooltips and prompts follow the language at once.
    frame->Action(ID_ALARMLIST_REFRESH)->hover();
    EXPECT_EQ(frame->PaneText(CMainFrame::kPanePrompt), QStringLiteral("Refresh the alarmlist"));
}

TEST_F(MainFrameTest, EmptyTranslationKeepsTheTemplateAndAMissingOneShowsTheMarker)
{
    SetTextLookup([](const std::string& key) -> std::string {
        if (key == "IDC_MENU_POPUP_HELP" || key == "IDC_MENU_ID_ALARMLIST_VIEW")
            return "";
        if (key == "IDC_MENU_ID_APP_EXIT")
            return kMissingText;
        return CDictionary::Instance().Translate(key);
    });
    MakeFrame();
    CDictionary::Instance().InstallAsTextLookup();

    EXPECT_NE(TopMenu(QStringLiteral("&Help")), nullptr);
    EXPECT_EQ(frame->Action(ID_ALARMLIST_VIEW)->text(), QStringLiteral("&View        \tSPACE/RETURN"));
    EXPECT_EQ(frame->Action(ID_APP_EXIT)->text(), QStringLiteral("*NA*"));
}

TEST_F(MainFrameTest, RefreshButtonShowsTooltipAndPromptThenReady)
{
    CMainFrame& f = MakeFrame();
    f.show();
    QWidget* button = Button(ID_ALARMLIST_REFRESH);
    ASSERT_NE(button, nullptr);

    // The pointer enters the button and leaves it again.
    const QPointF inside(4, 4);
    QEnterEvent enter(inside, inside, button->mapToGlobal(inside));
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Refresh"));
    EXPECT_EQ(f.PaneText(CMainFrame::kPanePrompt), QStringLiteral("Refresh the alarmlist"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(f.PaneText(CMainFrame::kPanePrompt), QStringLiteral("Ready"));

    // After a language change the next hover speaks the new language; the
    // status prompt of a menu entry arrives the same way.
    {
        ScopedLanguage german("de");
        f.Action(ID_ALARMLIST_REFRESH)->hover();
        EXPECT_EQ(button->toolTip(), Tr("IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_REFRESH"));
        EXPECT_EQ(f.PaneText(CMainFrame::kPanePrompt), Tr("IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_REFRESH"));
        EXPECT_NE(f.PaneText(CMainFrame::kPanePrompt), QStringLiteral("Refresh the alarmlist"));
        QStatusTipEvent idle{QString()};
        QApplication::sendEvent(f.menuBar(), &idle);
        EXPECT_EQ(f.PaneText(CMainFrame::kPanePrompt), Tr("AFX_IDS_IDLEMESSAGE"));
    }
}

TEST_F(MainFrameTest, PanesKeepTheirTexts)
{
    CMainFrame& f = MakeFrame();
    EXPECT_EQ(f.PaneText(0), QStringLiteral("Ready"));
    for (int pane = 0; pane < CMainFrame::kPaneCount; ++pane)
        f.SetPaneText(pane, QStringLiteral("text %1").arg(pane));
    f.SetPaneText(7, QStringLiteral("nowhere"));
    f.SetPaneText(-1, QStringLiteral("nowhere"));
    for (int pane = 0; pane < CMainFrame::kPaneCount; ++pane)
        EXPECT_EQ(f.PaneText(pane), QStringLiteral("text %1").arg(pane));
    EXPECT_TRUE(f.PaneText(7).isEmpty());
}

// ---------------------------------------------------------------------------
// Hidden statuses and lock keys

struct FilterCase {
    uint8_t mask;
    const char* shown;  // empty: the label is hidden
};

TEST_F(MainFrameTest, HiddenStatusesAreNamedBesideThePrompt)
{
    CMainFrame& f = MakeFrame();
    const FilterCase cases[] = {
        {15, ""},
        {14, "Filter on - hidden: New"},
        {11, "Filter on - hidden: Finished"},
        {5, "Filter on - hidden: Acknowledged, Info Alarms"},
        {0, "Filter on - hidden: New, Acknowledged, Finished, Info Alarms"},
        {15, ""},
    };
    for (const FilterCase& c : cases) {
        view.mask = c.mask;
        f.UpdateCommandStates();
        EXPECT_EQ(f.FilterPane()->text(), QString::fromUtf8(c.shown)) << int(c.mask);
        EXPECT_EQ(f.FilterPane()->isHidden(), *c.shown == '\0') << int(c.mask);
    }

    // A click on a filter button shows it at once, in the language of the
    // moment, and a second click takes it away again.
    ScopedLanguage inGerman("de");
    QTest::mouseClick(Button(ID_ALARMLIST_FILTER_FINISHED), Qt::LeftButton);
    QString german = Tr("IDS_MAINFRM_FILTER_HIDDEN");
    german.replace(QStringLiteral("%s"), Tr("IDC_MENU_ID_ALARMLIST_FILTER_FINISHED"));
    EXPECT_EQ(f.FilterPane()->text(), german);
    EXPECT_NE(f.FilterPane()->text(), QStringLiteral("Filter on - hidden: Finished"));
    EXPECT_FALSE(f.FilterPane()->isHidden());
    QTest::mouseClick(Button(ID_ALARMLIST_FILTER_FINISHED), Qt::LeftButton);
    EXPECT_TRUE(f.FilterPane()->isHidden());
}

struct LockCase {
    LockKeyStates states;
    const char* caps;
    const char* num;
    const char* scroll;
};

TEST_F(MainFrameTest, LockPanesShowTheKeyboardsIndicators)
{
    CMainFrame& f = MakeFrame();
    // Without an X11 display nobody can tell: the panes stay empty.
    EXPECT_FALSE(CLockKeys::Read().has_value());
    for (int pane : {CMainFrame::kPaneCaps, CMainFrame::kPaneNum, CMainFrame::kPaneScroll})
        EXPECT_TRUE(f.PaneText(pane).isEmpty());

    std::optional<LockKeyStates> now;
    f.SetLockKeyReader([&now] { return now; });
    const LockCase cases[] = {
        {{true, false, false}, "CAP", "", ""},  {{false, true, false}, "", "NUM", ""},
        {{false, false, true}, "", "", "SCRL"}, {{true, true, true}, "CAP", "NUM", "SCRL"},
        {{false, false, false}, "", "", ""},
    };
    for (const LockCase& c : cases) {
        now = c.states;
        f.UpdateLockPanes();
        EXPECT_EQ(f.PaneText(CMainFrame::kPaneCaps), QString::fromLatin1(c.caps));
        EXPECT_EQ(f.PaneText(CMainFrame::kPaneNum), QString::fromLatin1(c.num));
        EXPECT_EQ(f.PaneText(CMainFrame::kPaneScroll), QString::fromLatin1(c.scroll));
    }
    // A reader that cannot tell any more leaves the last states standing.
    now = LockKeyStates{true, false, false};
    f.UpdateLockPanes();
    now.reset();
    f.UpdateLockPanes();
    EXPECT_EQ(f.PaneText(CMainFrame::kPaneCaps), QStringLiteral("CAP"));
}

// ---------------------------------------------------------------------------
// Closing

TEST_F(MainFrameTest, CloseQuestionNoKeepsTheWindowYesClosesIt)
{
    CMainFrame& f = MakeFrame();
    f.show();

    BoxAnswer no;
    AnswerNextBox(QMessageBox::No, no);
    EXPECT_FALSE(f.close());
    ASSERT_TRUE(no.seen);
    EXPECT_EQ(no.text, QStringLiteral("Really Quit?"));
    EXPECT_EQ(no.icon, QMessageBox::Warning);
    EXPECT_EQ(no.defaultButton, no.noButton);
    EXPECT_TRUE(f.isVisible());

    // Exit asks the same question.
    BoxAnswer yes;
    AnswerNextBox(QMessageBox::Yes, yes);
    f.Action(ID_APP_EXIT)->trigger();
    EXPECT_TRUE(yes.seen);
    EXPECT_FALSE(f.isVisible());
}

}  // namespace
