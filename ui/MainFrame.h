#pragma once
// The station's main window: menu bar, dockable toolbar, the status bar with
// its seven panes, and the alarm list as its only view.
//
// Commands from the menu, the toolbar and the accelerators arrive here and
// go to the alarm list (CViewCommands), to the document, or to a handler the
// application installed for a window that other code owns (system
// information, object windows, print, export, user message editor, about).
// A command without anyone to carry it out answers with the document's
// default beep.
//
// Next to the prompt the status bar says which statuses the alarm list hides
// while any is hidden; panes 4 to 6 show the lock keys where the platform
// tells their states.
//
// The menu texts are translated once, when the window is built; tooltips and
// status prompts are looked up each time they are shown, so they follow a
// language change at once.

#include "ui/LockKeys.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <map>
#include <optional>

class COrvaDoc;
class CViewCommands;
class CGenerateP100MsgDlg;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;

class CMainFrame : public QMainWindow {
public:
    // Status-bar panes.
    static constexpr int kPanePrompt = 0;  // prompts and the idle text, no border
    static constexpr int kPaneMail = 1;
    static constexpr int kPaneGsm = 2;
    static constexpr int kPaneTel = 3;
    static constexpr int kPaneCaps = 4;
    static constexpr int kPaneNum = 5;
    static constexpr int kPaneScroll = 6;
    static constexpr int kPaneCount = 7;

    // How often the enabled and checked states are brought up to date while
    // nothing else asks for it (a setting or the unattended mode may change
    // behind the toolbar's back).
    static constexpr int kUpdateIntervalMs = 250;

    // viewWidget (may be null in tests) becomes the central widget and is
    // owned by the frame from then on.
    CMainFrame(COrvaDoc& doc, CViewCommands& view, QWidget* viewWidget, QWidget* parent = nullptr);
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // Panes 0 to 6; any other number is ignored.
    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;

    // Installs the handler that carries out the command, in place of the
    // frame's own routing (nullptr removes it again).
    void SetCommandHandler(int command, std::function<void()> handler);
    // The action of a command; nullptr for a number that is no command.
    QAction* Action(int command);
    // Carries out the command as if chosen in the menu; a command that is
    // disabled right now does nothing.
    void OnCommand(int command);

    // Enabled and checked states from the settings and the alarm list, and
    // the hidden statuses beside the prompt.
    void UpdateCommandStates();
    // The text that names the hidden statuses, empty while every status is
    // listed (the label is hidden then).
    QString FilterText() const;
    QLabel* FilterPane() const { return filterPane; }

    // Replaces the reader of the lock keys (tests); the panes are brought up
    // to date with the other states.
    void SetLockKeyReader(std::function<std::optional<LockKeyStates>()> reader);
    void UpdateLockPanes();
    // "Really Quit?": true when the operator answered Yes.
    bool ConfirmClose();
    // Closes the window without the question (a restart of the station
    // failed after a settings change).
    void CloseWithoutQuestion();

    QToolBar* ToolBar() const { return toolBar; }
    QMenu* AlarmlistMenu() const { return alarmlistMenu; }
    CGenerateP100MsgDlg* P100Window() const { return p100Window; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenu();
    void CreateToolBar();
    void CreateStatusBar();
    void TranslateMenu(QWidget* menu);
    void OnHovered(int command);
    void ShowIdlePrompt();
    bool IsCommandEnabled(int command) const;
    void UpdateFilterPane();

    COrvaDoc& doc;
    CViewCommands& view;
    std::map<int, QAction*> actions;
    std::map<int, std::function<void()>> handlers;
    QToolBar* toolBar = nullptr;
    QMenu* alarmlistMenu = nullptr;
    QLabel* panes[kPaneCount] = {};
    QLabel* filterPane = nullptr;
    std::function<std::optional<LockKeyStates>()> readLockKeys;
    QTimer* updateTimer = nullptr;
    CGenerateP100MsgDlg* p100Window = nullptr;
    bool closeWithoutQuestion = false;
};
