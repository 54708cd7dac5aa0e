#include "ui/WindowScreen.h"

#include "core/TextLookup.h"
#include "db/DbConvert.h"
#include "station/OrvaDoc.h"
#include "ui/AboutDlg.h"
#include "ui/AlertSound.h"
#include "ui/Commands.h"
#include "ui/DatabaseMgrDlg.h"
#include "ui/MainFrame.h"
#include "ui/MainView.h"
#include "ui/MessageBox.h"
#include "ui/SelectOperatorDlg.h"
#include "ui/SetComPort.h"
#include "ui/SettingsSheet.h"

#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>

#include <QEvent>
#include <QFileDialog>
#include <QObject>
#include <QPageSetupDialog>
#include <algorithm>

namespace {

// Tells when the main window has really closed: a hide that the program
// asked for (minimising hides the window spontaneously).
class CloseWatcher : public QObject {
public:
    explicit CloseWatcher(std::function<void()> closed) : onClosed(std::move(closed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous() && onClosed)
            onClosed();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClosed;
};

QMessageBox::Icon BoxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Error:
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    }
    return QMessageBox::Information;
}

}  // namespace

CWindowScreen::CWindowScreen(bool writeSystemInfoLog) : systemInfo(nullptr, writeSystemInfoLog)
{
}

CWindowScreen::~CWindowScreen()
{
    Detach();
}

void CWindowScreen::Detach()
{
    // The dialogs call back into the alarm list.
    dialogs.CloseAll();
    if (document != nullptr)
        document->GetGsmMgr().SetSendSmsWindow(nullptr);
    // Detach runs again from the destructor, when the document may be gone.
    document = nullptr;
    printWindow.reset();
    sendSmsWindow.reset();
    objectWindow.reset();
    exportWindow.reset();
    delete userMsgEditor.data();
    frame.reset();  // with the alarm list inside it
}

void CWindowScreen::Attach(COrvaDoc& doc)
{
    document = &doc;
    view = new CMainView(doc, dialogs);
    frame = std::make_unique<CMainFrame>(doc, *view, view);
    dialogs.SetOwner(frame.get());
    frame->SetCommandHandler(ID_OPTIONS_SYSTEMINFORMATION, [this] { systemInfo.ShowPanel(); });
    AttachRegisterWindows(doc);
    frame->SetCommandHandler(ID_APP_ABOUT, [this] { ShowAbout(); });
    auto* watcher = new CloseWatcher([this] {
        if (onClose)
            onClose();
    });
    watcher->setParent(frame.get());
    frame->installEventFilter(watcher);

    for (const auto& [pane, text] : pendingPanes)
        frame->SetPaneText(pane, QString::fromStdString(text));
    pendingPanes.clear();
    frame->setWindowTitle(QString::fromStdString(title));
    view->Initialise();
    // Wide enough that every column, the alarm's time at the right end
    // included, is seen without scrolling, as far as the screen allows.
    const int columns = view->List()->header()->length() + view->List()->frameWidth() * 2 +
                        view->List()->verticalScrollBar()->sizeHint().width() + 8;
    const QScreen* shown = frame->screen();
    const int screenWidth = shown != nullptr ? shown->availableGeometry().width() : 1000;
    frame->resize(std::max(1000, std::min(columns, screenWidth - 40)), 600);
    frame->show();
    // A chime nobody can hear is worse than none: the operator is told at once.
    const std::string noSound = dialogs.Sound().MissingOutputLine();
    if (!noSound.empty())
        AddSystemInfo(noSound, true);
}

void CWindowScreen::AttachRegisterWindows(COrvaDoc& doc)
{
    auto requests = [&doc](std::unique_ptr<CMsg> request) { doc.DatabaseRequest(std::move(request)); };
    // The register's windows are windows of their own, not owned by the main
    // window: while a dialog of theirs waits for the operator, only they are
    // blocked, and the alarm dialogs (owned by the main window) still answer.
    objectWindow = std::make_unique<CObjectInfoDlg>(requests, nullptr);
    objectWindow->SetBeep([this] { Beep(BeepKind::Default); });
    view->SetNewObjectHandler([this](const std::string& idCode) { objectWindow->OpenNewObject(idCode); });
    view->SetFindObjectHandler(
        [this](const std::string& key, bool byPhoneNumber) { objectWindow->FindObject(key, byPhoneNumber); });
    frame->SetCommandHandler(ID_FILE_NEW, [this] { objectWindow->OpenNewObject(std::string()); });
    frame->SetCommandHandler(ID_FILE_OPEN, [this] { objectWindow->OpenFromList(); });
    frame->SetCommandHandler(ID_FILE_SAVE, [this] { objectWindow->SaveCommand(); });

    // The menu command reaches it through the document and the GSM manager,
    // which sends its SMS and hands it the results.
    CGsmMgr& gsm = doc.GetGsmMgr();
    sendSmsWindow = std::make_unique<CSendSmsDlg>(
        [&gsm](const std::string& message, const std::string& numbers) {
            gsm.SendFreeformSms(message, numbers, SENDSMS_REQUEST_ID);
        },
        requests, nullptr);
    sendSmsWindow->SetBeep(std::function<void(BeepKind)>([this](BeepKind kind) { Beep(kind); }));
    gsm.SetSendSmsWindow(sendSmsWindow.get());

    // The export stays open beside the main window, a window of its own too.
    exportWindow = std::make_unique<CExportObjectInfoDlg>(requests, nullptr);
    frame->SetCommandHandler(ID_OPTIONS_EXPORT_OBJECTINFO, [this] { exportWindow->ShowWindow(); });
    frame->SetCommandHandler(ID_OPTIONS_EDIT_USER_MSG_FILE, [this] { OpenUserMsgEditor(); });
    frame->SetCommandHandler(ID_FILE_PRINT_SETUP, [this] { OpenPrinterSetup(); });
    // Until the start-up has made the print window there is nothing to print with.
    frame->SetCommandHandler(ID_FILE_PRINT, [this] {
        if (printWindow)
            printWindow->ShowWindow();
        else
            Beep(BeepKind::Default);
    });
}

void CWindowScreen::OpenPrinterSetup()
{
    if (!printWindow) {
        Beep(BeepKind::Default);
        return;
    }
    QPageSetupDialog setup(&printWindow->Printer(), DialogParent());
    setup.exec();
}

void CWindowScreen::OpenUserMsgEditor()
{
    // One editor at a time: two would write the same file over each other.
    if (userMsgEditor) {
        Beep(BeepKind::Default);
        userMsgEditor->raise();
        userMsgEditor->activateWindow();
        return;
    }
    // Not modal to the station: an alarm that comes in while the operator
    // writes a message is answered at once.
    userMsgEditor = new CEditUserMsgDlg(nullptr);
    userMsgEditor->setAttribute(Qt::WA_DeleteOnClose);
    userMsgEditor->show();
    userMsgEditor->raise();
    userMsgEditor->activateWindow();
}

QWidget* CWindowScreen::DialogParent() const
{
    return frame && frame->isVisible() ? frame.get() : nullptr;
}

void CWindowScreen::ShowAbout()
{
    CAboutDlg box(DialogParent());
    box.exec();
}

// ---------------------------------------------------------------------------
// What the managers show

void CWindowScreen::SetStatusText(const std::string& text, int pane)
{
    if (frame)
        frame->SetPaneText(pane, QString::fromStdString(text));
    else
        pendingPanes[pane] = text;
    // The prompt pane is the window's own business; the managers' panes are
    // the station's state.
    if (echo && pane != 0)
        echo->SetStatusText(text, pane);
}

void CWindowScreen::AddSystemInfo(const std::string& text, bool popUp)
{
    systemInfo.AddSystemInfo(text, popUp);
    if (echo)
        echo->AddSystemInfo(text, popUp);
}

void CWindowScreen::ReportJob(const std::string& line)
{
    // The windows show the outbox through the panes and the system
    // information panel; the line goes to the terminal only.
    if (echo)
        echo->ReportJob(line);
}

void CWindowScreen::Beep(BeepKind kind)
{
    QApplication::beep();
    if (echo)
        echo->Beep(kind);
}

void CWindowScreen::ShowMessage(const std::string& text, MessageIcon icon)
{
    if (echo)
        echo->ShowMessage(text, icon);
    orvabox::Ask(DialogParent(), text, BoxIcon(icon), QMessageBox::Ok, QMessageBox::Ok);
}

std::optional<int16_t> CWindowScreen::SelectComPort(const std::string& message, int16_t current)
{
    if (echo)
        echo->ShowMessage(message, MessageIcon::Exclamation);
    CSetComPort dialog(QString::fromStdString(message), current, DialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.GetPort();
}

// ---------------------------------------------------------------------------
// What the document shows

void CWindowScreen::SetTitle(const std::string& text)
{
    title = text;
    if (frame)
        frame->setWindowTitle(QString::fromStdString(text));
    if (echo)
        echo->SetTitle(text);
}

void CWindowScreen::ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp)
{
    if (echo)
        echo->ShowNewAlarm(alarm, popUp);
    if (view)
        view->ShowNewAlarm(alarm, popUp);
}

void CWindowScreen::ShowAlarmList(const CAlarmInfoMsg* first)
{
    if (echo)
        echo->ShowAlarmList(first);
    if (view)
        view->ShowAlarmList(first);
    // What the database holds now, for dialogs opened before a change.
    for (const CAlarmInfoMsg* record = first; record != nullptr; record = record->NextAlarm())
        dialogs.ShowNewStatus(*record);
}

void CWindowScreen::ShowAlarmStatus(const CAlarmInfoMsg& edit)
{
    if (view)
        view->ShowAlarmStatus(edit.PrimaryKey, edit.AlarmStatus);
    // The edit carries the operator and the times the database stores.
    dialogs.ShowNewStatus(edit);
}

void CWindowScreen::OpenAlarmDialog(const CAlarmInfoMsg& alarm)
{
    if (view)
        view->OpenAlarmDialog(alarm);
}

void CWindowScreen::ShowCallProgress(int16_t state, int16_t secondsLeft)
{
    if (echo)
        echo->ShowCallProgress(state, secondsLeft);
    if (view)
        view->ShowCallProgress(state, secondsLeft);
}

// ---------------------------------------------------------------------------
// Questions

std::optional<std::string> CWindowScreen::SelectOperator(int mode, CSettings& settings)
{
    CSelectOperatorDlg dialog(settings, mode, DialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.GetChosenName();
}

int CWindowScreen::RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter)
{
    CDatabaseMgrDlg dialog(reason, folder, converter, DialogParent());
    return dialog.Run();
}

bool CWindowScreen::BrowseDatabasePath(std::string& folder)
{
    const QString chosen = QFileDialog::getExistingDirectory(
        DialogParent(), QString::fromStdString(LookupText("IDS_SETTINGS_MSG_1")), QString::fromStdString(folder));
    if (chosen.isEmpty())
        return false;
    folder = chosen.toStdString();
    if (folder.back() != '/')
        folder += '/';
    return true;
}

bool CWindowScreen::RunSettingsSheet(SettingsValues& values)
{
    SettingsSheetServices services;
    if (document != nullptr) {
        CMailMgr& mail = document->GetMailMgr();
        services.sendTestMail = [&mail](const std::string& server, uint16_t port, const std::string& heloName,
                                        const std::string& sender, const std::string& recipient) {
            mail.SendTestMail(server, port, heloName, sender, recipient);
        };
    }
    services.browseDatabasePath = [this](std::string& folder) { return BrowseDatabasePath(folder); };
    CPropertySheetLang sheet(values, std::move(services), DialogParent());
    return sheet.Run();
}

void CWindowScreen::OnObjectInfoReply(std::unique_ptr<CMsg> reply)
{
    // The window takes its answers after the dispatch.
    if (objectWindow)
        objectWindow->PostReply(std::move(reply));
}

void CWindowScreen::OnExportReply(std::unique_ptr<CMsg> reply)
{
    // The window takes its answers after the dispatch.
    if (exportWindow)
        exportWindow->OnReply(std::move(reply));
}

void CWindowScreen::OnPrintReply(std::unique_ptr<CMsg> reply)
{
    // The window takes its answers after the dispatch.
    if (printWindow)
        printWindow->OnReply(std::move(reply));
}

void CWindowScreen::CreatePrintWindow()
{
    if (!view || !document || printWindow)
        return;
    COrvaDoc& doc = *document;
    printWindow = std::make_unique<CPrintDlg>(
        *view, [&doc](std::unique_ptr<CMsg> request) { doc.DatabaseRequest(std::move(request)); }, nullptr);
    printWindow->SetBeep([this] { Beep(BeepKind::Default); });
    printWindow->SetAfterPrinting([&doc] { doc.UpdateTitle(); });
    // The window's choices follow the list's rows and selection.
    QTreeWidget* list = view->List();
    auto update = [this] {
        if (printWindow)
            printWindow->Update();
    };
    QObject::connect(list, &QTreeWidget::itemSelectionChanged, printWindow.get(), update);
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, printWindow.get(), update);
    QObject::connect(list->model(), &QAbstractItemModel::rowsRemoved, printWindow.get(), update);
    QObject::connect(list->model(), &QAbstractItemModel::modelReset, printWindow.get(), update);
}

void CWindowScreen::RequestClose()
{
    if (frame)
        frame->CloseWithoutQuestion();
    else if (onClose)
        onClose();
}
