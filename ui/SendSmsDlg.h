#pragma once
// The send-SMS window: a free-form SMS to one or more numbers, sent through
// the GSM manager, with the results listed newest first. Modeless; it lives
// as long as the GSM manager and keeps its fields and rows when hidden.
//
// The message holds at most 160 characters counted as Unicode code points:
// the modem link turns every code point into exactly one character of the
// GSM alphabet (a character it lacks becomes one blank), so 160 code points
// are one SMS, whatever the characters are; a line break counts as one.

#include "core/IntervalTimer.h"
#include "core/StationScreen.h"
#include "gsm/SendSmsWindow.h"
#include "ui/DbRequestSink.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class CMailSmsNumInfoDlg;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QValidator;

class CSendSmsDlg : public QDialog, public CSendSmsWindow {
public:
    static constexpr int kMaxRecipientsChars = 255;
    static constexpr int kMaxMessageChars = 160;
    static constexpr uint32_t kSendTimeoutMs = 15000;

    // send(message, numbers): the GSM manager's free-form SMS with the
    // window's request id. requests: the database, for the recipient dialog.
    using SendFunction = std::function<void(const std::string& message, const std::string& numbers)>;
    CSendSmsDlg(SendFunction send, DbRequestSink requests, QWidget* parent = nullptr);
    ~CSendSmsDlg() override;

    // CSendSmsWindow
    void SetDocument(CDocumentHost* doc) override;
    void ShowWindow() override;
    void OnSendResult(const CGsmHandlerMsg& result) override;
    void OnSmsNumberReply(std::unique_ptr<CMsg> reply) override;

    // How the window beeps (tests count the beeps). The first form hears
    // both kinds alike; the second is told which one.
    void SetBeep(std::function<void()> beep);
    void SetBeep(std::function<void(BeepKind)> beep);

    // The buttons; tests call them as the operator would.
    void OnChooseNumbers();
    void OnSend();
    void OnClear();
    void OnClose();
    // Checks the send timer against the tick source; the window's poll calls
    // it, tests call it after moving the fake clock.
    void OnSendTimer();
    bool IsSendTimerRunning() const { return waiting; }

    // The recipient dialog while one is open from this window, else nullptr.
    CMailSmsNumInfoDlg* RecipientDialog() const { return recipientDlg; }
    // Runs the recipient dialog; tests replace it to answer without a modal
    // loop (returns true for OK).
    using RecipientRunner = std::function<bool(CMailSmsNumInfoDlg& dialog)>;
    void SetRecipientRunner(RecipientRunner runner) { runRecipientDlg = std::move(runner); }
    // The numbers field takes a list chosen in the recipient dialog.
    void SetRecipients(const std::string& list);

    QLineEdit* RecipientsField() const { return recipients; }
    QPlainTextEdit* MessageField() const { return message; }
    QTreeWidget* StatusList() const { return statusList; }
    QPushButton* SendButton() const { return sendButton; }

    // "hh:mm:ss:zzz" of the local time.
    static QString FormatTime(const QTime& time);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Translate();
    void FitColumns();
    void FitListWidth();
    void AddStatusRow(const std::string& text);
    void StopSendTimer();
    void Beep(BeepKind kind);
    void LimitMessage();

    SendFunction send;
    DbRequestSink requests;
    std::function<void(BeepKind)> beep;
    RecipientRunner runRecipientDlg;
    CMailSmsNumInfoDlg* recipientDlg = nullptr;

    CIntervalTimer sendTimer;
    bool waiting = false;
    QTimer sendTimerPoll;

    // The message as it was before the last edit, to take back what a
    // keystroke or a paste adds beyond the limit.
    QString acceptedMessage;
    bool limiting = false;

    QGroupBox* messageGroup = nullptr;
    QLabel* numbersLabel = nullptr;
    QLineEdit* recipients = nullptr;
    QValidator* recipientsLimit = nullptr;
    QPushButton* chooseButton = nullptr;
    QLabel* messageLabel = nullptr;
    QPlainTextEdit* message = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* clearButton = nullptr;
    QGroupBox* statusGroup = nullptr;
    QTreeWidget* statusList = nullptr;
    QPushButton* closeButton = nullptr;
};
