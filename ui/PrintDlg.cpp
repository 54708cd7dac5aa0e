#include "ui/PrintDlg.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "ui/MessageBox.h"
#include "ui/PrintListSource.h"
#include "ui/QueuedReply.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Time stamps of the print-out: one blank in the alarm time, two in the
// acknowledge and finish lines.
constexpr const char* kAlarmTimeFormat = "%y-%m-%d %H:%M:%S";
constexpr const char* kOperatorTimeFormat = "%y-%m-%d  %H:%M:%S";
// How often the answer's time-out is looked at while a request waits.
constexpr int kReplyPollMs = 200;

const char* StatusKey(uint8_t status)
{
    switch (status) {
    case ALARMSTATUS_NEW:
        return "IDS_PRINTDLG_MSG_6";
    case ALARMSTATUS_ACKNOWLEDGED:
        return "IDS_PRINTDLG_MSG_7";
    case ALARMSTATUS_FINISHED:
        return "IDS_PRINTDLG_MSG_8";
    case ALARMSTATUS_INFO:
        return "IDS_PRINTDLG_MSG_9";
    default:
        return nullptr;
    }
}

const char* OpFailKey(uint8_t opFailType)
{
    switch (opFailType) {
    case OPFAILTYPE_INPUTS:
        return "IDS_PRINTDLG_MSG_20";
    case OPFAILTYPE_BATTERY:
        return "IDS_PRINTDLG_MSG_21";
    case OPFAILTYPE_MIC_SPEAKER:
        return "IDS_PRINTDLG_MSG_22";
    case OPFAILTYPE_MAINS_POWER:
        return "IDS_PRINTDLG_MSG_23";
    case OPFAILTYPE_STUCK_BUTTON:
        return "IDS_PRINTDLG_MSG_24";
    // The bus unit and bus communication failures have no text of their
    // own: they print as undefined.
    default:
        return "IDS_PRINTDLG_MSG_25";
    }
}

const char* TypeKey(uint8_t alarmType, uint8_t opFailType)
{
    switch (alarmType) {
    case ALARMTYPE_P100:
        return "IDS_PRINTDLG_MSG_10";
    case ALARMTYPE_SMS:
        return "IDS_PRINTDLG_MSG_11";
    case ALARMTYPE_VOICE:
        return "IDS_PRINTDLG_MSG_12";
    case ALARMTYPE_OPFAIL:
        return OpFailKey(opFailType);
    case ALARMTYPE_LIFT_MONITORING:
        return "IDS_PRINTDLG_MSG_16";
    case ALARMTYPE_TEST:
        return "IDS_PRINTDLG_MSG_14";
    case ALARMTYPE_TEST_FAIL:
        return "IDS_PRINTDLG_MSG_15";
    case ALARMTYPE_EMERGENCY_CALL:
        return "IDS_PRINTDLG_MSG_17";
    case ALARMTYPE_END_OF_ALARM:
        return "IDS_PRINTDLG_MSG_18";
    case ALARMTYPE_MAINTENANCE:
        return "IDS_PRINTDLG_MSG_19";
    case ALARMTYPE_VOICE_REDIRECTED:
        return "IDS_PRINTDLG_MSG_13";
    default:
        return "IDS_PRINTDLG_MSG_25";
    }
}

const char* SourceKey(uint8_t source)
{
    switch (source) {
    case ALARMSOURCE_TEL:
        return "IDS_PRINTDLG_MSG_26";
    case ALARMSOURCE_SMS:
        return "IDS_PRINTDLG_MSG_27";
    case ALARMSOURCE_INTERNAL:
        return "IDS_PRINTDLG_MSG_28";
    case ALARMSOURCE_CALLER_ID:
        return "IDS_PRINTDLG_MSG_29";
    default:
        return nullptr;
    }
}

QString WithCount(const char* key, int count)
{
    return QString::fromStdString(FormatKey(key, {static_cast<long long>(count)}));
}

}  // namespace

CPrintDlg::CPrintDlg(CPrintListSource& source, DbRequestSink dbRequests, QWidget* parent)
    : QDialog(parent), list(source), requests(std::move(dbRequests)),
      printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setModal(false);
    setObjectName(QStringLiteral("IDC_PRINT_CAPTION"));

    group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("IDC_PRINT_ALARMLIST"));
    allChoice = new QRadioButton(group);
    allChoice->setObjectName(QStringLiteral("IDC_PRINT_ALARMLIST_SEL_ALL"));
    selectionChoice = new QRadioButton(group);
    selectionChoice->setObjectName(QStringLiteral("IDC_PRINT_ALARMLIST_SEL_SELECTION"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(allChoice);
    groupLayout->addWidget(selectionChoice);

    printButton = new QPushButton(this);
    printButton->setObjectName(QStringLiteral("IDC_PRINT"));
    previewButton = new QPushButton(this);
    previewButton->setObjectName(QStringLiteral("IDC_PRINT_PREVIEW"));
    closeButton = new QPushButton(this);
    closeButton->setObjectName(QStringLiteral("IDC_PRINT_CLOSE"));
    printButton->setDefault(true);
    previewButton->setAutoDefault(false);
    closeButton->setAutoDefault(false);
    connect(printButton, &QPushButton::clicked, this, [this] { OnPrint(); });
    connect(previewButton, &QPushButton::clicked, this, [this] { OnPreview(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { OnClose(); });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(printButton);
    buttons->addWidget(previewButton);
    buttons->addWidget(closeButton);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    // Reading order: the choices, then the buttons top to bottom.
    setTabOrder(allChoice, selectionChoice);
    setTabOrder(selectionChoice, printButton);
    setTabOrder(printButton, previewButton);
    setTabOrder(previewButton, closeButton);

    choosePrinter = [this](QPrinter& target, int pageCount) {
        QPrintDialog dialog(&target, this);
        dialog.setMinMax(1, pageCount);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        return dialog.exec() == QDialog::Accepted;
    };
    runPreview = [](QPrintPreviewDialog& preview) { preview.exec(); };
    beep = [] { QApplication::beep(); };
    replyPoll.setInterval(kReplyPollMs);
    connect(&replyPoll, &QTimer::timeout, this, [this] { OnReplyTimer(); });

    Translate();
    Update();
}

CPrintDlg::~CPrintDlg()
{
    StopWaiting();
}

void CPrintDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDC_PRINT_CAPTION"));
    group->setTitle(orvabox::Text("IDC_PRINT_ALARMLIST"));
    allChoice->setToolTip(orvabox::Text("IDS_PRINTDLG_MSG_39"));
    printButton->setText(orvabox::Text("IDC_PRINT"));
    previewButton->setText(orvabox::Text("IDC_PRINT_PREVIEW"));
    closeButton->setText(orvabox::Text("IDC_PRINT_CLOSE"));
    // The widest labels the choices take, so that the window keeps its size
    // while the counts change.
    const QFontMetrics metrics(allChoice->font());
    int widest = 0;
    for (const QString& label : {WithCount("IDS_PRINTDLG_MSG_1", 99999), WithCount("IDS_PRINTDLG_MSG_2", 99999)})
        widest = std::max(widest, metrics.horizontalAdvance(label));
    group->setMinimumWidth(widest + style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) * 3);
}

void CPrintDlg::ShowWindow()
{
    // The window lives for the whole run: it follows a language change the
    // next time it is shown.
    Translate();
    Update();
    adjustSize();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}

void CPrintDlg::Update()
{
    const int rows = list.GetPrintRowCount();
    int choice = kChoiceNone;
    if (rows > 0) {
        const int selected = static_cast<int>(list.GetPrintSelection().size());
        allChoice->setEnabled(true);
        allChoice->setText(WithCount("IDS_PRINTDLG_MSG_1", rows));
        if (selected == 0) {
            selectionChoice->setEnabled(false);
            selectionChoice->setText(orvabox::Text("IDS_PRINTDLG_MSG_3"));
            choice = kChoiceAll;
        } else {
            selectionChoice->setEnabled(true);
            selectionChoice->setText(WithCount("IDS_PRINTDLG_MSG_2", selected));
            choice = kChoiceSelection;
        }
    } else {
        allChoice->setEnabled(false);
        selectionChoice->setEnabled(false);
        allChoice->setText(orvabox::Text("IDS_PRINTDLG_MSG_4"));
        selectionChoice->setText(orvabox::Text("IDS_PRINTDLG_MSG_3"));
    }
    // While a request waits for its answer the buttons stay off, so that a
    // second press cannot start a second print job.
    printButton->setEnabled(rows > 0 && !waiting);
    previewButton->setEnabled(rows > 0 && !waiting);

    // Neither choice shown: the exclusive group would keep one checked.
    allChoice->setAutoExclusive(false);
    selectionChoice->setAutoExclusive(false);
    allChoice->setChecked(choice == kChoiceAll);
    selectionChoice->setChecked(choice == kChoiceSelection);
    allChoice->setAutoExclusive(true);
    selectionChoice->setAutoExclusive(true);
}

int CPrintDlg::GetChoice() const
{
    if (allChoice->isChecked())
        return kChoiceAll;
    if (selectionChoice->isChecked())
        return kChoiceSelection;
    return kChoiceNone;
}

void CPrintDlg::OnPrint()
{
    Request(Mode::Print);
}

void CPrintDlg::OnPreview()
{
    Request(Mode::Preview);
}

void CPrintDlg::OnClose()
{
    hide();
}

void CPrintDlg::reject()
{
    // Escape and the close box hide the window like Close.
    OnClose();
}

void CPrintDlg::Request(Mode requestMode)
{
    if (waiting)
        return;
    const int choice = GetChoice();
    std::unique_ptr<CAlarmInfoReqMsg> request;
    if (choice == kChoiceSelection) {
        // One key request per selected row, top to bottom, sent as one chain.
        CMsg* last = nullptr;
        for (uint32_t key : list.GetPrintSelection()) {
            auto each = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
            each->Kind = ALARM_KIND_PRINT_KEYS;
            each->PrimaryKey = key;
            CMsg* added = each.get();
            if (!request)
                request = std::move(each);
            else
                last->Next = std::move(each);
            last = added;
        }
    } else if (choice == kChoiceAll) {
        request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
        request->Kind = ALARM_KIND_PRINT_LIST;
        request->MaxCount = static_cast<uint32_t>(std::max(0, list.GetPrintRowCount()));
        request->StatusMask = 15;
    }
    if (!request || !requests) {
        beep();
        return;
    }
    mode = requestMode;
    waiting = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    replyTimer.Start(kReplyTimeoutMs);
    replyPoll.start();
    printButton->setEnabled(false);
    previewButton->setEnabled(false);
    requests(std::move(request));
}

void CPrintDlg::OnReplyTimer()
{
    if (!waiting || !replyTimer.Expired())
        return;
    // No answer: the operator gets the window back; a late answer is dropped.
    StopWaiting();
    Update();
}

void CPrintDlg::StopWaiting()
{
    replyPoll.stop();
    if (waiting) {
        waiting = false;
        QApplication::restoreOverrideCursor();
    }
}

void CPrintDlg::OnReply(std::unique_ptr<CMsg> reply)
{
    queuedreply::Post(this, std::move(reply), [this](std::unique_ptr<CMsg> msg) { HandleReply(std::move(msg)); });
}

void CPrintDlg::HandleReply(std::unique_ptr<CMsg> reply)
{
    auto* alarm = dynamic_cast<CAlarmInfoMsg*>(reply.get());
    // An answer nobody waits for (the window was asked twice, or the
    // answer is late) prints nothing.
    if (alarm == nullptr || !waiting)
        return;
    StopWaiting();
    reply.release();
    records.reset(alarm);
    pages.RemoveAll();
    Update();
    if (mode == Mode::Print)
        RunPrint();
    else
        RunPreview();
}

int CPrintDlg::PreparePrinting(QPrinter& target)
{
    pages.RemoveAll();
    for (const CAlarmInfoMsg* alarm = records.get(); alarm != nullptr; alarm = alarm->NextAlarm()) {
        // A search that found nothing answers with an empty record: it is
        // no alarm and prints no block.
        if (alarm->PrimaryKey == 0)
            continue;
        for (std::string& line : AlarmLines(*alarm))
            pages.AddLine(std::move(line));
    }
    records.reset();
    const int count = pages.GetPageCount();
    if (count > 0)
        target.setFromTo(1, count);
    return count;
}

void CPrintDlg::PrintPage(QPainter& painter, int number)
{
    const CPrintPage* page = pages.GetPage(number);
    if (page == nullptr)
        return;
    // A page always takes its 50 lines: where the font is too tall for the
    // paper, it is made smaller rather than let lines run off the page.
    const int lines = static_cast<int>(CPrintObject::kLinesPerPage);
    const int room = std::max(1, painter.device()->height() / lines - kLineGap);
    QFont font = painter.font();
    for (int tries = 0; tries < 8 && QFontMetrics(font, painter.device()).height() > room; ++tries) {
        const double scale = static_cast<double>(room) / QFontMetrics(font, painter.device()).height();
        if (font.pointSizeF() > 0)
            font.setPointSizeF(std::max(1.0, font.pointSizeF() * scale * 0.98));
        else
            font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale * 0.98)));
    }
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    const int step = metrics.height() + kLineGap;
    int top = 0;
    for (const CPrintLine& line : page->GetLines()) {
        painter.drawText(QPoint(0, top + metrics.ascent()), QString::fromStdString(line.GetText()));
        top += step;
    }
}

void CPrintDlg::EndPrinting()
{
    pages.RemoveAll();
    if (afterPrinting)
        afterPrinting();
}

void CPrintDlg::PrintDocument(QPrinter& target)
{
    QPainter painter(&target);
    if (!painter.isActive())
        return;
    const int count = pages.GetPageCount();
    int from = target.fromPage() > 0 ? target.fromPage() : 1;
    int to = target.toPage() > 0 ? std::min(target.toPage(), count) : count;
    for (int number = from; number <= to; ++number) {
        if (number > from)
            target.newPage();
        PrintPage(painter, number);
    }
}

void CPrintDlg::RunPrint()
{
    QPrinter& job = *printer;
    const int count = PreparePrinting(job);
    if (count == 0) {
        beep();
        EndPrinting();
        return;
    }
    // A cancelled printer choice prints nothing.
    if (choosePrinter(job, count))
        PrintDocument(job);
    EndPrinting();
}

void CPrintDlg::RunPreview()
{
    QPrinter& job = *printer;
    const int count = PreparePrinting(job);
    if (count == 0) {
        beep();
        EndPrinting();
        return;
    }
    // The preview shows every page, whatever range a print dialog chose last.
    job.setFromTo(0, 0);
    QPrintPreviewDialog preview(&job, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) { PrintDocument(*target); });
    runPreview(preview);
    EndPrinting();
}

std::vector<std::string> CPrintDlg::AlarmLines(const CAlarmInfoMsg& alarm)
{
    std::vector<std::string> lines;
    lines.emplace_back(70, '*');
    if (const char* key = StatusKey(alarm.AlarmStatus))
        lines.push_back(LookupText(key));
    lines.push_back(LookupText(TypeKey(alarm.AlarmType, alarm.OpFailType)));
    if (const char* key = SourceKey(alarm.AlarmSource))
        lines.push_back(LookupText(key));
    lines.push_back(FormatKey("IDS_PRINTDLG_MSG_30", {alarm.IdCode}));
    lines.push_back(FormatKey("IDS_PRINTDLG_MSG_31", {alarm.IdInfo}));
    lines.push_back(FormatKey("IDS_PRINTDLG_MSG_32", {alarm.AlarmTime.Format(kAlarmTimeFormat)}));

    CMsgText text = alarm.Text;
    text.Rewind();
    const std::size_t count = text.GetLineCount();
    for (std::size_t i = 0; i < count; ++i)
        lines.push_back(text.GetNextLine(CMsgText::kMaxChars));

    const bool acknowledged = alarm.AlarmStatus == ALARMSTATUS_ACKNOWLEDGED;
    const bool finished = alarm.AlarmStatus == ALARMSTATUS_FINISHED;
    if ((acknowledged || finished) && alarm.AckTime.IsValid())
        lines.push_back(
            FormatKey("IDS_PRINTDLG_MSG_34", {alarm.AckOperator, alarm.AckTime.Format(kOperatorTimeFormat)}));
    if (finished && alarm.ExecTime.IsValid())
        lines.push_back(
            FormatKey("IDS_PRINTDLG_MSG_38", {alarm.ExecOperator, alarm.ExecTime.Format(kOperatorTimeFormat)}));
    return lines;
}
