#include "ui/SendSmsDlg.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "gsm/GsmMgr.h"
#include "ui/CharLimit.h"
#include "ui/ColumnFit.h"
#include "ui/MailSmsNumInfoDlg.h"
#include "ui/MessageBox.h"
#include "ui/QueuedReply.h"
#include "ui/RecipientRules.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextCursor>
#include <QTime>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace {

// The caption is the window's own name in every language.
const char* const kCaption = "Send SMS Message";
constexpr int kStatusWidth = 270;
constexpr int kTimeWidth = 80;
// How often the send timer is looked at while a send waits for its result.
constexpr int kSendTimerPollMs = 100;

// Limits a line edit to a number of code points. Typing or pasting beyond the
// limit is refused. A longer text the program puts in (with the limit taken
// off meanwhile) may be shortened by hand but not lengthened.
class CodePointLimit : public QValidator {
public:
    CodePointLimit(int limit, QLineEdit* edit) : QValidator(edit), maximum(limit)
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { current = charlimit::Count(text); });
    }

    State validate(QString& input, int&) const override
    {
        const int count = charlimit::Count(input);
        return count <= maximum || count <= current ? Acceptable : Invalid;
    }

private:
    int maximum;
    int current = 0;
};

}  // namespace

CSendSmsDlg::CSendSmsDlg(SendFunction sendSms, DbRequestSink dbRequests, QWidget* parent)
    : QDialog(parent), send(std::move(sendSms)), requests(std::move(dbRequests))
{
    setModal(false);

    messageGroup = new QGroupBox(this);
    messageGroup->setObjectName("IDC_SEND_SMS_SMS_MESSAGE");
    numbersLabel = new QLabel(messageGroup);
    numbersLabel->setObjectName("IDC_SEND_SMS_SMS_NO");
    recipients = new QLineEdit(messageGroup);
    recipients->setObjectName("Recipients");
    recipientsLimit = new CodePointLimit(kMaxRecipientsChars, recipients);
    recipients->setValidator(recipientsLimit);
    chooseButton = new QPushButton(QStringLiteral("..."), messageGroup);
    chooseButton->setObjectName("RecipientsButton");
    chooseButton->setMaximumWidth(chooseButton->fontMetrics().horizontalAdvance(chooseButton->text()) * 3 + 24);
    messageLabel = new QLabel(messageGroup);
    messageLabel->setObjectName("IDC_SEND_SMS_MESSAGE");
    message = new QPlainTextEdit(messageGroup);
    message->setObjectName("Message");
    // Enter makes a line break in the SMS; Tab leaves the field.
    message->setTabChangesFocus(true);
    message->setMinimumHeight(message->fontMetrics().lineSpacing() * 5);
    numbersLabel->setBuddy(recipients);
    messageLabel->setBuddy(message);
    sendButton = new QPushButton(messageGroup);
    sendButton->setObjectName("IDC_SEND_SMS_SEND");
    clearButton = new QPushButton(messageGroup);
    clearButton->setObjectName("IDC_SEND_SMS_CLEAR");

    statusGroup = new QGroupBox(this);
    statusGroup->setObjectName("IDC_SEND_SMS_SEND_STATUS");
    statusList = new QTreeWidget(statusGroup);
    statusList->setObjectName("StatusList");
    statusList->setColumnCount(2);
    statusList->setRootIsDecorated(false);
    statusList->setItemsExpandable(false);
    statusList->setUniformRowHeights(true);
    statusList->setSelectionBehavior(QAbstractItemView::SelectRows);
    statusList->setSelectionMode(QAbstractItemView::SingleSelection);
    statusList->header()->setSectionsClickable(false);
    statusList->header()->setSectionsMovable(false);
    statusList->header()->setStretchLastSection(false);

    closeButton = new QPushButton(this);
    closeButton->setObjectName("IDC_SEND_SMS_CLOSE");
    for (QPushButton* button : {chooseButton, sendButton, clearButton, closeButton})
        button->setAutoDefault(false);

    connect(chooseButton, &QPushButton::clicked, this, [this] { OnChooseNumbers(); });
    connect(sendButton, &QPushButton::clicked, this, [this] { OnSend(); });
    connect(clearButton, &QPushButton::clicked, this, [this] { OnClear(); });
    // Escape and the close box reject the dialog, which hides it as well.
    connect(closeButton, &QPushButton::clicked, this, [this] { OnClose(); });
    connect(message, &QPlainTextEdit::textChanged, this, [this] { LimitMessage(); });
    sendTimerPoll.setInterval(kSendTimerPollMs);
    connect(&sendTimerPoll, &QTimer::timeout, this, [this] { OnSendTimer(); });

    auto* messageLayout = new QGridLayout(messageGroup);
    messageLayout->addWidget(numbersLabel, 0, 0);
    messageLayout->addWidget(recipients, 0, 1);
    messageLayout->addWidget(chooseButton, 0, 2);
    messageLayout->addWidget(messageLabel, 1, 0, Qt::AlignTop);
    messageLayout->addWidget(message, 1, 1, 1, 2);
    auto* messageButtons = new QHBoxLayout;
    messageButtons->addStretch(1);
    messageButtons->addWidget(sendButton);
    messageButtons->addWidget(clearButton);
    messageLayout->addLayout(messageButtons, 2, 1, 1, 2);
    messageLayout->setColumnStretch(1, 1);

    auto* statusLayout = new QVBoxLayout(statusGroup);
    statusLayout->addWidget(statusList);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(messageGroup);
    layout->addWidget(statusGroup, 1);
    layout->addLayout(closeRow);

    // Reading order: numbers, "...", message, Send, Clear, status list, Close.
    setTabOrder(recipients, chooseButton);
    setTabOrder(chooseButton, message);
    setTabOrder(message, sendButton);
    setTabOrder(sendButton, clearButton);
    setTabOrder(clearButton, statusList);
    setTabOrder(statusList, closeButton);

    Translate();
    recipients->setFocus();
}

CSendSmsDlg::~CSendSmsDlg() = default;

void CSendSmsDlg::Translate()
{
    setWindowTitle(QString::fromLatin1(kCaption));
    messageGroup->setTitle(orvabox::Text("IDC_SEND_SMS_SMS_MESSAGE"));
    numbersLabel->setText(orvabox::Text("IDC_SEND_SMS_SMS_NO"));
    messageLabel->setText(orvabox::Text("IDC_SEND_SMS_MESSAGE"));
    sendButton->setText(orvabox::Text("IDC_SEND_SMS_SEND"));
    clearButton->setText(orvabox::Text("IDC_SEND_SMS_CLEAR"));
    statusGroup->setTitle(orvabox::Text("IDC_SEND_SMS_SEND_STATUS"));
    closeButton->setText(orvabox::Text("IDC_SEND_SMS_CLOSE"));
    statusList->setHeaderLabels({orvabox::Text("IDS_SENDSMSDLG_MSG_1"), orvabox::Text("IDS_SENDSMSDLG_MSG_2")});
    FitColumns();
}

void CSendSmsDlg::FitColumns()
{
    // The usual widths, or what the font needs for the titles, a whole time
    // and the rows the window writes (with a number of the usual length) when
    // that is more, so that a result neither is cut short nor pushes the time
    // out of sight.
    QStringList rows;
    const std::string number = "+46701234567";
    for (const std::string& row : {LookupText("IDS_SENDSMSDLG_MSG_3"), FormatKey("IDS_SENDSMSDLG_MSG_6", {number}),
                                   FormatKey("IDS_SENDSMSDLG_MSG_7", {number}), LookupText("IDS_SENDSMSDLG_MSG_8")})
        rows.push_back(QString::fromStdString(row));
    for (int i = 0; i < statusList->topLevelItemCount(); ++i)
        rows.push_back(statusList->topLevelItem(i)->text(0));
    const QString longestTime = columnfit::WidestDigits(FormatTime(QTime(0, 0)), statusList->fontMetrics());
    statusList->setColumnWidth(0, std::max(kStatusWidth, columnfit::FittedColumnWidth(*statusList, 0, rows)));
    statusList->setColumnWidth(1, std::max(kTimeWidth, columnfit::FittedColumnWidth(*statusList, 1, {longestTime})));
    FitListWidth();
}

void CSendSmsDlg::FitListWidth()
{
    // Both columns in sight, as far as the screen allows; beyond that the
    // list scrolls sideways.
    const int frame = statusList->frameWidth() * 2 + statusList->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    const QScreen* shown = screen();
    const int screenWidth = shown != nullptr ? shown->availableGeometry().width() : 1600;
    statusList->setMinimumWidth(
        std::min(statusList->columnWidth(0) + statusList->columnWidth(1) + frame, std::max(screenWidth - 80, 200)));
    if (width() < minimumSizeHint().width())
        resize(minimumSizeHint().width(), height());
}

QString CSendSmsDlg::FormatTime(const QTime& time)
{
    return QString::asprintf("%02d:%02d:%02d:%03d", time.hour(), time.minute(), time.second(), time.msec());
}

void CSendSmsDlg::SetDocument(CDocumentHost*)
{
    // The window sends through the function and the request sink it was
    // built with; it needs nothing else of the document.
}

void CSendSmsDlg::ShowWindow()
{
    Translate();
    show();
    raise();
    activateWindow();
    recipients->setFocus();
}

void CSendSmsDlg::SetBeep(std::function<void()> beepFunction)
{
    if (beepFunction)
        beep = [beepFunction = std::move(beepFunction)](BeepKind) { beepFunction(); };
    else
        beep = nullptr;
}

void CSendSmsDlg::SetBeep(std::function<void(BeepKind)> beepFunction)
{
    beep = std::move(beepFunction);
}

void CSendSmsDlg::Beep(BeepKind kind)
{
    if (beep)
        beep(kind);
    else
        QApplication::beep();  // the toolkit has one beep for both kinds
}

void CSendSmsDlg::AddStatusRow(const std::string& text)
{
    auto* row = new QTreeWidgetItem;
    row->setText(0, QString::fromStdString(text));
    row->setText(1, FormatTime(QTime::currentTime()));
    row->setToolTip(0, row->text(0));
    statusList->insertTopLevelItem(0, row);
    statusList->scrollToTop();
    // A row that is cut short cannot be read: the column grows to it.
    if (statusList->fontMetrics().horizontalAdvance(row->text(0)) + 24 >= statusList->columnWidth(0)) {
        statusList->setColumnWidth(
            0, std::max(statusList->columnWidth(0), columnfit::FittedColumnWidth(*statusList, 0, {row->text(0)})));
        FitListWidth();
    }
}

void CSendSmsDlg::OnChooseNumbers()
{
    CMailSmsNumInfoDlg dialog(requests, RecipientMode::Sms, GSMMGR_MSG_SMS_NUM_REPLY, recipients->text().toStdString(),
                              this);
    recipientDlg = &dialog;
    const bool ok = runRecipientDlg ? runRecipientDlg(dialog) : orvabox::ExecInWindow(dialog) == QDialog::Accepted;
    recipientDlg = nullptr;
    if (ok)
        SetRecipients(dialog.GetList());
}

void CSendSmsDlg::SetRecipients(const std::string& list)
{
    // Taken whole, also beyond what may be typed: the limit only holds it
    // from growing further (a cut list would send to a wrong number).
    recipients->setValidator(nullptr);
    recipients->setText(QString::fromStdString(list));
    recipients->setValidator(recipientsLimit);
}

void CSendSmsDlg::OnSend()
{
    const std::string numbers = recipients->text().toStdString();
    // A text of blanks holds no number either: sent, it would reach nobody
    // and end in the time-out.
    if (recipients::SplitList(numbers).empty() && numbers.find_first_of(",;") == std::string::npos) {
        orvabox::AskInWindow(this, LookupText("IDS_SENDSMSDLG_MSG_5"), QMessageBox::Warning, QMessageBox::Ok,
                             QMessageBox::Ok);
        recipients->setFocus();
        return;
    }
    if (!recipients::IsValidSmsList(numbers)) {
        orvabox::AskInWindow(this, LookupText("IDS_SENDSMSDLG_MSG_4"), QMessageBox::Warning, QMessageBox::Ok,
                             QMessageBox::Ok);
        recipients->setFocus();
        return;
    }
    sendButton->setEnabled(false);
    if (send)
        send(message->toPlainText().toStdString(), numbers);
    AddStatusRow(LookupText("IDS_SENDSMSDLG_MSG_3"));
    sendTimer.Start(kSendTimeoutMs);
    waiting = true;
    sendTimerPoll.start();
}

void CSendSmsDlg::StopSendTimer()
{
    waiting = false;
    sendTimerPoll.stop();
}

void CSendSmsDlg::OnSendTimer()
{
    if (!waiting || !sendTimer.Expired())
        return;
    AddStatusRow(LookupText("IDS_SENDSMSDLG_MSG_8"));
    sendButton->setEnabled(true);
    StopSendTimer();
    Beep(BeepKind::Exclamation);
    // The operator may have turned to other windows meanwhile.
    show();
    raise();
    activateWindow();
}

void CSendSmsDlg::OnSendResult(const CGsmHandlerMsg& result)
{
    // Every result adds its row, also while the window is hidden and after
    // the time-out; the first one ends the wait.
    if (result.code == GHM_STATUS_SMS_SENT) {
        AddStatusRow(FormatKey("IDS_SENDSMSDLG_MSG_6", {result.recipients}));
    } else if (result.code == GHM_STATUS_SMS_FAILED) {
        AddStatusRow(FormatKey("IDS_SENDSMSDLG_MSG_7", {result.recipients}));
    } else {
        return;
    }
    sendButton->setEnabled(true);
    StopSendTimer();
    Beep(result.code == GHM_STATUS_SMS_SENT ? BeepKind::Default : BeepKind::Exclamation);
}

void CSendSmsDlg::OnSmsNumberReply(std::unique_ptr<CMsg> reply)
{
    // The answer reaches the recipient dialog after the document's dispatch
    // has returned: a message box it opens then does not hold back the
    // alarms that arrive meanwhile. A dialog closed by then drops it.
    queuedreply::Post(this, std::move(reply), [this](std::unique_ptr<CMsg> msg) {
        if (recipientDlg)
            recipientDlg->OnReply(std::move(msg));
    });
}

void CSendSmsDlg::OnClear()
{
    message->clear();
    message->setFocus();
}

void CSendSmsDlg::OnClose()
{
    hide();
}

void CSendSmsDlg::LimitMessage()
{
    if (limiting)
        return;
    const QString text = message->toPlainText();
    if (charlimit::Count(text) <= kMaxMessageChars) {
        acceptedMessage = text;
        return;
    }
    // What the edit added lies between the part it kept in front and the
    // part it kept behind; as much of it as fits stays, whole characters only.
    const QString& before = acceptedMessage;
    const charlimit::Difference change = charlimit::Differ(before, text);
    const qsizetype front = change.front;
    const qsizetype back = change.back;
    const QString added = text.mid(front, text.size() - front - back);
    const int room = std::max(0, kMaxMessageChars - (charlimit::Count(text) - charlimit::Count(added)));
    const qsizetype kept = charlimit::UnitsOf(added, room);

    limiting = true;
    charlimit::TrimInsertion(*message, front, added.size(), kept);
    limiting = false;
    acceptedMessage = message->toPlainText();
}

void CSendSmsDlg::keyPressEvent(QKeyEvent* event)
{
    // Return presses the button that has the focus and nothing else: the
    // window has no default button, so nothing is sent or opened by surprise.
    // In the numbers field it goes on to the message (in the message it is a
    // line break); Escape hides the window like Close.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled())
                button->click();
        } else if (focusWidget() == recipients) {
            message->setFocus();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
