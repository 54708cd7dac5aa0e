#pragma once
// The station's screen with windows: the main frame with the alarm list, the
// alarm dialogs, the system information panel and the dialogs the document
// and the managers ask their questions with. Everything runs on the
// user-interface thread.
//
// The document is created with this screen before the main window exists
// (the window needs the document); Attach then builds the windows. What the
// document shows before that (the title, status texts) is kept and shown
// when the window appears.
//
// An echo screen, when given, also receives everything that is shown or
// sounded (not the questions), so that the event lines of the station can
// still be read on standard output while the windows run.

#include "station/DocumentScreen.h"
#include "ui/AlarmDialogSet.h"
#include "ui/EventMsgDlg.h"
#include "ui/ExportObjectInfoDlg.h"
#include "ui/MainView.h"
#include "ui/ObjectInfoDlg.h"
#include "ui/PrintDlg.h"
#include "ui/SendSmsDlg.h"
#include "ui/SystemInformationDlg.h"
#include "ui/UserMsgEditDlg.h"

#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <string>

class COrvaDoc;
class CMainFrame;
class CMainView;

class CWindowScreen : public CDocumentScreen {
public:
    // writeSystemInfoLog: the system information panel keeps SystemInfo.log
    // in the current folder.
    explicit CWindowScreen(bool writeSystemInfoLog = true);
    ~CWindowScreen() override;
    CWindowScreen(const CWindowScreen&) = delete;
    CWindowScreen& operator=(const CWindowScreen&) = delete;

    void SetEcho(CDocumentScreen* screen) { echo = screen; }
    // Builds the main window and the alarm list for the document and shows
    // the window. Called once, right after the document was created.
    void Attach(COrvaDoc& doc);
    // Closes the alarm dialogs and destroys the main window (the alarm list
    // stores its column widths) while the document still exists; after the
    // managers have stopped.
    void Detach();
    // Runs when the operator confirmed the close question (or a failed
    // restart closed the window): the station stops.
    void SetCloseHandler(std::function<void()> handler) { onClose = std::move(handler); }

    CMainFrame* Frame() const { return frame.get(); }
    CMainView* View() const { return view; }
    CSystemInformationDlg& SystemInformation() { return systemInfo; }
    CAlarmDialogSet& AlarmDialogs() { return dialogs; }
    // The register's object window and the send-SMS window (after Attach).
    CObjectInfoDlg* ObjectWindow() const { return objectWindow.get(); }
    CSendSmsDlg* SendSmsWindow() const { return sendSmsWindow.get(); }
    CExportObjectInfoDlg* ExportWindow() const { return exportWindow.get(); }
    CPrintDlg* PrintWindow() const { return printWindow.get(); }
    CEditUserMsgDlg* UserMsgEditor() const { return userMsgEditor.data(); }

    // CStationScreen
    void SetStatusText(const std::string& text, int pane) override;
    void AddSystemInfo(const std::string& text, bool popUp) override;
    void ReportJob(const std::string& line) override;
    void Beep(BeepKind kind) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    std::optional<int16_t> SelectComPort(const std::string& message, int16_t current) override;

    // CDocumentScreen
    void SetTitle(const std::string& title) override;
    void ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp) override;
    void ShowAlarmList(const CAlarmInfoMsg* first) override;
    void ShowAlarmStatus(const CAlarmInfoMsg& edit) override;
    void OpenAlarmDialog(const CAlarmInfoMsg& alarm) override;
    void ShowCallProgress(int16_t state, int16_t secondsLeft) override;
    std::optional<std::string> SelectOperator(int mode, CSettings& settings) override;
    int RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter) override;
    bool BrowseDatabasePath(std::string& folder) override;
    bool RunSettingsSheet(SettingsValues& values) override;
    void OnObjectInfoReply(std::unique_ptr<CMsg> reply) override;
    void OnExportReply(std::unique_ptr<CMsg> reply) override;
    void OnPrintReply(std::unique_ptr<CMsg> reply) override;
    void CreatePrintWindow() override;
    void RequestClose() override;

private:
    void ShowAbout();
    // The object window and the send-SMS window with their commands.
    void AttachRegisterWindows(COrvaDoc& doc);
    // ID_OPTIONS_EDIT_USER_MSG_FILE: the editor, or the open one in front.
    void OpenUserMsgEditor();
    void OpenPrinterSetup();
    QWidget* DialogParent() const;

    CSystemInformationDlg systemInfo;
    CAlarmDialogSet dialogs;
    QPointer<CMainView> view;  // owned by the main window
    std::unique_ptr<CMainFrame> frame;
    // Owned here, with the main window as their owner on the screen; they
    // go before it.
    std::unique_ptr<CObjectInfoDlg> objectWindow;
    std::unique_ptr<CSendSmsDlg> sendSmsWindow;
    std::unique_ptr<CExportObjectInfoDlg> exportWindow;
    // Made by the last step of the start-up.
    std::unique_ptr<CPrintDlg> printWindow;
    // The user message editor while it is open (it deletes itself on close).
    QPointer<CEditUserMsgDlg> userMsgEditor;
    COrvaDoc* document = nullptr;
    CDocumentScreen* echo = nullptr;
    std::function<void()> onClose;
    std::string title;
    std::map<int, std::string> pendingPanes;
};
