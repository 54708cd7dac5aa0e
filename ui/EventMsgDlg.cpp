#include "ui/EventMsgDlg.h"

#include "core/TextLookup.h"
#include "messages/TelHandlerMsg.h"
#include "ui/AlertSound.h"
#include "ui/EventMsgDlgHost.h"
#include "ui/MessageBox.h"
#include "ui/MessagePanel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <memory>

namespace {

constexpr int kBlinkIntervalMs = 100;
constexpr int kBlinkShownTicks = 7;  // of every 10: 700 ms shown, 300 ms hidden
constexpr int kBlinkCycleTicks = 10;

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);
const QColor kSilver(192, 192, 192);
const QColor kAborted(153, 51, 153);
const QColor kTimedOut(0, 148, 148);

const char* const kDateTimeFormat = "%y-%m-%d  %H:%M:%S";
const char* const kCrLf = "\r\n";

QString Tr(const char* key)
{
    return QString::fromStdString(LookupText(key));
}

const char* BannerKey(uint8_t alarmType)
{
    switch (alarmType) {
    case ALARMTYPE_P100:
        return "IDS_EVENTMSGDLG_MSG_8";
    case ALARMTYPE_SMS:
        return "IDS_EVENTMSGDLG_MSG_9";
    case ALARMTYPE_VOICE:
        return "IDS_EVENTMSGDLG_MSG_10";
    case ALARMTYPE_OPFAIL:
        return "IDS_EVENTMSGDLG_MSG_11";
    case ALARMTYPE_LIFT_MONITORING:
        return "IDS_EVENTMSGDLG_MSG_12";
    case ALARMTYPE_TEST:
        return "IDS_EVENTMSGDLG_MSG_13";
    case ALARMTYPE_TEST_FAIL:
        return "IDS_EVENTMSGDLG_MSG_14";
    case ALARMTYPE_EMERGENCY_CALL:
        return "IDS_EVENTMSGDLG_MSG_15";
    case ALARMTYPE_END_OF_ALARM:
        return "IDS_EVENTMSGDLG_MSG_16";
    case ALARMTYPE_MAINTENANCE:
        return "IDS_EVENTMSGDLG_MSG_17";
    case ALARMTYPE_VOICE_REDIRECTED:
        return "IDS_EVENTMSGDLG_MSG_18";
    default:
        return nullptr;
    }
}

const char* SourceKey(uint8_t alarmSource)
{
    switch (alarmSource) {
    case ALARMSOURCE_TEL:
        return "IDS_EVENTMSGDLG_MSG_19";
    case ALARMSOURCE_SMS:
        return "IDS_EVENTMSGDLG_MSG_20";
    case ALARMSOURCE_INTERNAL:
        return "IDS_EVENTMSGDLG_MSG_21";
    case ALARMSOURCE_CALLER_ID:
        return "IDS_EVENTMSGDLG_MSG_22";
    default:
        return nullptr;
    }
}

const char* OpFailKey(uint8_t opFailType)
{
    switch (opFailType) {
    case OPFAILTYPE_INPUTS:
        return "IDS_EVENTMSGDLG_MSG_25";
    case OPFAILTYPE_BATTERY:
        return "IDS_EVENTMSGDLG_MSG_26";
    case OPFAILTYPE_MIC_SPEAKER:
        return "IDS_EVENTMSGDLG_MSG_27";
    case OPFAILTYPE_MAINS_POWER:
        return "IDS_EVENTMSGDLG_MSG_28";
    case OPFAILTYPE_STUCK_BUTTON:
        return "IDS_EVENTMSGDLG_MSG_29";
    case OPFAILTYPE_BUS_UNIT:
        return "IDS_EVENTMSGDLG_MSG_37";
    case OPFAILTYPE_BUS_COMMUNICATION:
        return "IDS_EVENTMSGDLG_MSG_38";
    default:
        return "IDS_EVENTMSGDLG_MSG_30";
    }
}

// A stored alarm without acknowledgement has no date there (a database null);
// a record that never went through the database carries the zero date.
bool HoldsDate(const COleDateTime& time)
{
    return time.IsValid() && time.m_dt != 0.0;
}

QString FormatTime(const COleDateTime& time)
{
    return HoldsDate(time) ? QString::fromStdString(time.Format(kDateTimeFormat)) : QString();
}

QString FormatTimeLeft(int16_t secondsLeft)
{
    const int seconds = secondsLeft < 0 ? 0 : secondsLeft;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60, seconds % 60);
    return QString::fromLatin1(text);
}

// Text and background of a field, in the active and inactive window alike.
void SetColours(QWidget* field, const QColor& text, const QColor& background)
{
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Base, background);
    }
    field->setPalette(palette);
}

QLineEdit* ReadOnlyField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::ClickFocus);
    return field;
}

QPushButton* Button(QWidget* parent)
{
    auto* button = new QPushButton(parent);
    // Enter must not act on an alarm by accident; every button is pressed
    // deliberately (mouse, space or its mnemonic).
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CEventMsgDlg::CEventMsgDlg(const CAlarmInfoMsg& alarm, bool voiceCall, CEventMsgDlgHost& dialogHost,
                           const std::string& headerText, CAlertSound& alertSound)
    : QDialog(nullptr), host(dialogHost), sound(alertSound), voiceCallMode(voiceCall)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    BuildLayout();
    Translate();
    Fill(alarm, headerText);
    ApplyMode();
}

CEventMsgDlg::~CEventMsgDlg() = default;

void CEventMsgDlg::BuildLayout()
{
    banner = new CMessagePanel(this);
    QFont bannerFont = banner->font();
    bannerFont.setPointSizeF(bannerFont.pointSizeF() * 1.6);
    banner->setFont(bannerFont);
    banner->setMinimumHeight(QFontMetrics(bannerFont).height() + 16);

    infoGroup = new QGroupBox(this);
    sourceLabel = new QLabel(infoGroup);
    sourceField = ReadOnlyField(infoGroup);
    numberLabel = new QLabel(infoGroup);
    numberField = ReadOnlyField(infoGroup);
    idCodeLabel = new QLabel(infoGroup);
    idCodeField = ReadOnlyField(infoGroup);
    objectButton = Button(infoGroup);
    idInfoLabel = new QLabel(infoGroup);
    idInfoField = ReadOnlyField(infoGroup);
    dateLabel = new QLabel(infoGroup);
    dateField = ReadOnlyField(infoGroup);
    timeLabel = new QLabel(infoGroup);
    timeField = ReadOnlyField(infoGroup);
    textField = new QPlainTextEdit(infoGroup);
    textField->setReadOnly(true);
    textField->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    textField->setMinimumHeight(textField->fontMetrics().lineSpacing() * 9);
    SetColours(textField, Qt::black, Qt::white);

    auto* info = new QGridLayout(infoGroup);
    info->addWidget(sourceLabel, 0, 0);
    info->addWidget(sourceField, 0, 1);
    info->addWidget(numberLabel, 0, 2);
    info->addWidget(numberField, 0, 3);
    info->addWidget(idCodeLabel, 1, 0);
    info->addWidget(idCodeField, 1, 1);
    info->addWidget(objectButton, 1, 2, 1, 2);
    info->addWidget(idInfoLabel, 2, 0);
    info->addWidget(idInfoField, 2, 1, 1, 3);
    info->addWidget(dateLabel, 3, 0);
    info->addWidget(dateField, 3, 1);
    info->addWidget(timeLabel, 3, 2);
    info->addWidget(timeField, 3, 3);
    info->addWidget(textField, 4, 0, 1, 4);
    info->setColumnStretch(1, 1);
    info->setColumnStretch(3, 1);

    voiceGroup = new QGroupBox(this);
    callPanel = new CMessagePanel(voiceGroup);
    callPanel->SetBkColor(kSilver);
    callPanel->SetText(QString());
    // The panel keeps its place while it blinks.
    QSizePolicy keepSpace = callPanel->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    callPanel->setSizePolicy(keepSpace);
    timeLeftLabel = new QLabel(voiceGroup);
    timeLeftField = ReadOnlyField(voiceGroup);
    timeLeftField->setAlignment(Qt::AlignCenter);
    SetColours(timeLeftField, Qt::white, kBlue);
    silentButton = Button(voiceGroup);
    voiceIgnoreButton = Button(voiceGroup);

    auto* voice = new QGridLayout(voiceGroup);
    voice->addWidget(callPanel, 0, 0, 1, 2);
    voice->addWidget(timeLeftLabel, 1, 0);
    voice->addWidget(timeLeftField, 1, 1);
    voice->addWidget(silentButton, 2, 0);
    voice->addWidget(voiceIgnoreButton, 2, 1);
    voice->setRowStretch(3, 1);

    statusGroup = new QGroupBox(this);
    statusField = ReadOnlyField(statusGroup);
    statusField->setAlignment(Qt::AlignCenter);
    alarmIgnoreButton = Button(statusGroup);
    ackButton = Button(statusGroup);
    ackField = ReadOnlyField(statusGroup);
    ackTimeLabel = new QLabel(statusGroup);
    ackTimeField = ReadOnlyField(statusGroup);
    finishButton = Button(statusGroup);
    finishField = ReadOnlyField(statusGroup);
    finishTimeLabel = new QLabel(statusGroup);
    finishTimeField = ReadOnlyField(statusGroup);

    auto* statusLayout = new QGridLayout(statusGroup);
    statusLayout->addWidget(statusField, 0, 0, 1, 3);
    statusLayout->addWidget(alarmIgnoreButton, 0, 3);
    statusLayout->addWidget(ackButton, 1, 0);
    statusLayout->addWidget(ackField, 1, 1, 1, 3);
    statusLayout->addWidget(ackTimeLabel, 2, 0);
    statusLayout->addWidget(ackTimeField, 2, 1, 1, 3);
    statusLayout->addWidget(finishButton, 3, 0);
    statusLayout->addWidget(finishField, 3, 1, 1, 3);
    statusLayout->addWidget(finishTimeLabel, 4, 0);
    statusLayout->addWidget(finishTimeField, 4, 1, 1, 3);
    statusLayout->setColumnStretch(1, 1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(voiceGroup, 2);
    lower->addWidget(statusGroup, 3);

    auto* main = new QVBoxLayout(this);
    main->addWidget(banner);
    main->addWidget(infoGroup, 1);
    main->addLayout(lower);

    blinkTimer = new QTimer(this);
    blinkTimer->setInterval(kBlinkIntervalMs);
    connect(blinkTimer, &QTimer::timeout, this, [this] { OnBlinkTimer(); });

    connect(objectButton, &QPushButton::clicked, this, [this] { OnObjectInfo(); });
    connect(silentButton, &QPushButton::clicked, this, [this] { OnSilent(); });
    connect(voiceIgnoreButton, &QPushButton::clicked, this, [this] { OnVoiceIgnore(); });
    connect(alarmIgnoreButton, &QPushButton::clicked, this, [this] { OnAlarmIgnore(); });
    connect(ackButton, &QPushButton::clicked, this, [this] { OnAcknowledge(); });
    connect(finishButton, &QPushButton::clicked, this, [this] { OnFinish(); });

    resize(640, 560);
}

void CEventMsgDlg::Translate()
{
    setWindowTitle(Tr("IDC_EVENTMSG_CAPTION"));
    infoGroup->setTitle(Tr("IDC_EVENTMSG_ALARM_INFORMATION"));
    sourceLabel->setText(Tr("IDC_EVENTMSG_SOURCE"));
    numberLabel->setText(Tr("IDC_EVENTMSG_INCOMING_NUMBER"));
    idCodeLabel->setText(Tr("IDC_EVENTMSG_ID_CODE"));
    objectButton->setText(Tr("IDC_EVENTMSG_ADD_EDIT_OBJECTINFO"));
    idInfoLabel->setText(Tr("IDC_EVENTMSG_ID_INFO"));
    dateLabel->setText(Tr("IDC_EVENTMSG_DATE"));
    timeLabel->setText(Tr("IDC_EVENTMSG_TIME"));
    voiceGroup->setTitle(Tr("IDC_EVENTMSG_GROUP_BOX_VOICE_CALL"));
    timeLeftLabel->setText(Tr("IDC_EVENTMSG_LABEL_TIME_LEFT"));
    silentButton->setText(Tr("IDC_EVENTMSG_SILENT"));
    voiceIgnoreButton->setText(Tr("IDC_EVENTMSG_IGNORE"));
    statusGroup->setTitle(Tr("IDC_EVENTMSG_ALARM_STATUS"));
    alarmIgnoreButton->setText(Tr("IDC_EVENTMSG_ALARM_IGNORE"));
    ackButton->setText(Tr("IDC_EVENTMSG_ALARM_ACK"));
    ackTimeLabel->setText(Tr("IDC_EVENTMSG_TIME1"));
    finishButton->setText(Tr("IDC_EVENTMSG_ALARM_FINISH"));
    finishTimeLabel->setText(Tr("IDC_EVENTMSG_TIME2"));
}

void CEventMsgDlg::Fill(const CAlarmInfoMsg& alarm, const std::string& headerText)
{
    banner->SetBkColor(alarm.AlarmType == ALARMTYPE_TEST ? kBlue : kRed);
    const char* bannerKey = BannerKey(alarm.AlarmType);
    banner->SetText(bannerKey ? Tr(bannerKey) : QString());

    const char* sourceKey = SourceKey(alarm.AlarmSource);
    sourceField->setText(sourceKey ? Tr(sourceKey) : QString());
    numberField->setText(QString::fromStdString(alarm.CallerIdInfo));
    idCodeField->setText(QString::fromStdString(alarm.IdCode));
    idInfoField->setText(QString::fromStdString(alarm.IdInfo));
    dateField->setText(QString::fromStdString(alarm.AlarmTime.Format("%y-%m-%d")));
    timeField->setText(QString::fromStdString(alarm.AlarmTime.Format("%H:%M:%S")));

    ComposeText(alarm, headerText);
    ApplyStatus(alarm);

    key = alarm.PrimaryKey;
    status = alarm.AlarmStatus;
    ackOperator = alarm.AckOperator;
    ackTime = alarm.AckTime;
    objectKnown = alarm.ObjectKnown != 0;
    source = alarm.AlarmSource;
    idCode = alarm.IdCode;
}

void CEventMsgDlg::ComposeText(const CAlarmInfoMsg& alarm, const std::string& headerText)
{
    std::string text = headerText + kCrLf;
    if (alarm.AlarmType == ALARMTYPE_OPFAIL)
        text += LookupText("IDS_EVENTMSGDLG_MSG_24") + LookupText(OpFailKey(alarm.OpFailType)) + kCrLf;

    // The stored text separates its lines with a line feed; every line,
    // an empty one too, becomes a line of the dialog.
    const std::string& lines = alarm.Text.GetText();
    if (!lines.empty()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = lines.find('\n', start);
            text += lines.substr(start, end == std::string::npos ? std::string::npos : end - start);
            text += kCrLf;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    if (alarm.Text.IsTruncated())
        text += LookupText("IDS_EVENTMSGDLG_MSG_31") + kCrLf;
    if (!alarm.ObjectNotes.empty()) {
        text += kCrLf;
        text += LookupText("IDS_EVENTMSGDLG_MSG_32") + kCrLf;
        text += alarm.ObjectNotes + kCrLf;
    }

    alarmText = QString::fromStdString(text);
    QString shown = alarmText;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);  // the last line ends the text; no empty line below it
    textField->setPlainText(shown);
}

void CEventMsgDlg::ApplyStatus(const CAlarmInfoMsg& alarm)
{
    const char* statusKey = nullptr;
    bool ackEnabled = true;
    bool finishEnabled = true;
    const char* ignoreKey = "IDC_EVENTMSG_ALARM_IGNORE";
    switch (alarm.AlarmStatus) {
    case ALARMSTATUS_NEW:
        statusKey = "IDS_EVENTMSGDLG_MSG_1";
        SetColours(statusField, Qt::white, kRed);
        break;
    case ALARMSTATUS_ACKNOWLEDGED:
        statusKey = "IDS_EVENTMSGDLG_MSG_2";
        SetColours(statusField, Qt::black, kYellow);
        ackEnabled = false;
        break;
    case ALARMSTATUS_FINISHED:
        statusKey = "IDS_EVENTMSGDLG_MSG_3";
        SetColours(statusField, Qt::black, kGreen);
        ackEnabled = finishEnabled = false;
        ignoreKey = "IDS_EVENTMSGDLG_MSG_4";
        break;
    case ALARMSTATUS_INFO:
        statusKey = "IDS_EVENTMSGDLG_MSG_5";
        SetColours(statusField, Qt::white, kBlue);
        ackEnabled = finishEnabled = false;
        ignoreKey = "IDS_EVENTMSGDLG_MSG_6";
        break;
    default:
        break;
    }
    statusField->setText(statusKey ? Tr(statusKey) : QString());
    ackButton->setEnabled(ackEnabled);
    finishButton->setEnabled(finishEnabled);
    alarmIgnoreButton->setText(Tr(ignoreKey));

    if (alarm.AlarmStatus == ALARMSTATUS_ACKNOWLEDGED) {
        ackField->setText(Tr("IDS_EVENTMSGDLG_MSG_33") + QString::fromStdString(alarm.AckOperator));
        ackTimeField->setText(FormatTime(alarm.AckTime));
    } else if (alarm.AlarmStatus == ALARMSTATUS_FINISHED) {
        ackField->setText(Tr("IDS_EVENTMSGDLG_MSG_34") + QString::fromStdString(alarm.AckOperator));
        ackTimeField->setText(FormatTime(alarm.AckTime));
        finishField->setText(Tr("IDS_EVENTMSGDLG_MSG_35") + QString::fromStdString(alarm.ExecOperator));
        finishTimeField->setText(FormatTime(alarm.ExecTime));
    }
}

void CEventMsgDlg::ShowNewStatus(const CAlarmInfoMsg& record)
{
    if (record.PrimaryKey != key || key == 0 || status == ALARMSTATUS_INFO || record.AlarmStatus <= status)
        return;
    std::unique_ptr<CAlarmInfoMsg> shown = record.CloneRecord();
    if (shown->AckOperator.empty()) {
        shown->AckOperator = ackOperator.empty() ? shown->ExecOperator : ackOperator;
        shown->AckTime = ackOperator.empty() ? shown->ExecTime : ackTime;
    }
    ApplyStatus(*shown);
    status = shown->AlarmStatus;
    ackOperator = shown->AckOperator;
    ackTime = shown->AckTime;
}

void CEventMsgDlg::ApplyMode()
{
    voiceGroup->setEnabled(voiceCallMode);
    timeLeftLabel->setEnabled(voiceCallMode);
    timeLeftField->setEnabled(voiceCallMode);
    voiceIgnoreButton->setEnabled(voiceCallMode);
    silentButton->setEnabled(voiceCallMode && host.Settings().VoiceCallAlertEnabled != 0);
    if (voiceCallMode)
        blinkTimer->start();
    if (objectKnown)
        objectButton->setText(Tr("IDS_EVENTMSGDLG_MSG_7"));
}

void CEventMsgDlg::OnCallState(int16_t state, int16_t secondsLeft)
{
    // On top, but the keyboard stays where the operator is: a call that
    // rings for minutes must not take it every second.
    raise();

    if (state >= VC_PICK_UP && state <= VC_TIMEOUT && state != lastState) {
        callPanel->setVisible(true);
        switch (state) {
        case VC_PICK_UP:
            SetCallPanel("IDS_EVENTMSGDLG_PICK_UP_PHONE", kRed);
            StartBlinking();
            if (host.Settings().VoiceCallAlertEnabled != 0 && !silenced)
                sound.Play();
            break;
        case VC_TALK_TICK:
            SetCallPanel("IDS_EVENTMSGDLG_CALL_IN_PROGRESS", kGreen);
            StopBlinking();
            DisableVoiceButtons();
            break;
        case VC_ON_HOOK:
            SetCallPanel("IDS_EVENTMSGDLG_CALL_FINISHED", kBlue);
            StopBlinking();
            DisableVoiceButtons();
            CallEnded(false);
            break;
        case VC_ABORTED:
            SetCallPanel("IDS_EVENTMSGDLG_CALL_ABORTED", kAborted);
            StopBlinking();
            DisableVoiceButtons();
            CallEnded(false);
            break;
        case VC_TIMEOUT:
            SetCallPanel("IDS_EVENTMSGDLG_CALL_TIMEOUT", kTimedOut);
            StopBlinking();
            DisableVoiceButtons();
            CallEnded(true);
            break;
        default:
            break;
        }
    }
    lastState = state;
    timeLeftField->setText(FormatTimeLeft(secondsLeft));
}

void CEventMsgDlg::OnBlinkTimer()
{
    if (!blinking) {
        blinkCounter = 0;
        return;
    }
    callPanel->setVisible(blinkCounter < kBlinkShownTicks);
    blinkCounter = (blinkCounter + 1) % kBlinkCycleTicks;
}

void CEventMsgDlg::SetCallPanel(const char* textKey, const QColor& color)
{
    callPanel->SetBkColor(color);
    callPanel->SetText(Tr(textKey));
    callPanel->repaint();
}

void CEventMsgDlg::StartBlinking()
{
    blinking = true;
    blinkCounter = 0;
    if (!blinkTimer->isActive())
        blinkTimer->start();
}

void CEventMsgDlg::StopBlinking()
{
    blinking = false;
    blinkCounter = 0;
    blinkTimer->stop();
    callPanel->setVisible(true);
}

void CEventMsgDlg::DisableVoiceButtons()
{
    silentButton->setEnabled(false);
    voiceIgnoreButton->setEnabled(false);
}

void CEventMsgDlg::CallEnded(bool forward)
{
    // A late or repeated final state must not forward the alarm a second
    // time, nor undo the forwarding of a timed-out call.
    if (!voiceCallMode)
        return;
    voiceCallMode = false;
    host.VoiceCallEnded(forward);
}

void CEventMsgDlg::EndVoiceCallMode()
{
    if (!voiceCallMode)
        return;
    voiceCallMode = false;
    StopBlinking();
    DisableVoiceButtons();
}

void CEventMsgDlg::OnSilent()
{
    silenced = true;
    silentButton->setEnabled(false);
}

void CEventMsgDlg::OnVoiceIgnore()
{
    // Only a running call can be dropped; once it has ended the telephone
    // may already be busy with the next alarm.
    if (voiceCallMode)
        host.DisconnectVoiceCall();
}

void CEventMsgDlg::OnObjectInfo()
{
    const bool byPhoneNumber = source == ALARMSOURCE_CALLER_ID && host.Settings().UseCidPhoneNumber != 0;
    host.OpenObjectInfo(objectKnown, idCode, byPhoneNumber);
}

void CEventMsgDlg::OnAcknowledge()
{
    host.SetAlarmStatus(key, status, ALARMSTATUS_ACKNOWLEDGED);
    CloseDialog();
}

void CEventMsgDlg::OnFinish()
{
    host.SetAlarmStatus(key, status, ALARMSTATUS_FINISHED);
    CloseDialog();
}

void CEventMsgDlg::OnAlarmIgnore()
{
    CloseDialog();
}

void CEventMsgDlg::reject()
{
    // The close box (through QDialog::closeEvent) and Escape arrive here.
    CloseDialog();
}

void CEventMsgDlg::CloseDialog()
{
    if (MayClose())
        QDialog::reject();
}

bool CEventMsgDlg::MayClose()
{
    if (!voiceCallMode)
        return true;
    QPointer<CEventMsgDlg> self(this);
    const auto answer = orvabox::Ask(this, LookupText("IDS_EVENTMSGDLG_MSG_36"), QMessageBox::Warning,
                                     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (!self)
        return false;
    if (answer != QMessageBox::Ok)
        return false;
    // The call may have ended while the question was open; then there is
    // nothing left to drop and the list has already heard the outcome.
    if (voiceCallMode) {
        host.DisconnectVoiceCall();
        CallEnded(false);
    }
    return true;
}

void CEventMsgDlg::done(int result)
{
    blinkTimer->stop();
    if (!closeReported) {
        closeReported = true;
        host.DialogClosed(this);
    }
    QDialog::done(result);
}

void CEventMsgDlg::FocusFirstAction()
{
    for (QPushButton* button : {ackButton, finishButton, alarmIgnoreButton}) {
        if (button->isEnabled()) {
            // The style draws the focus frame once the keyboard has moved
            // the focus in this window; the dialog may not be active yet.
            setAttribute(Qt::WA_KeyboardFocusChange);
            button->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

int CEventMsgDlg::BannerBottom() const
{
    return banner->geometry().bottom() + 1;
}

bool CEventMsgDlg::IsCallPanelVisible() const
{
    return !callPanel->isHidden();
}
QString CEventMsgDlg::ShownAlarmText() const
{
    return textField->toPlainText();
}
QString CEventMsgDlg::BannerText() const
{
    return banner->Text();
}
QColor CEventMsgDlg::BannerColor() const
{
    return banner->BkColor();
}
QString CEventMsgDlg::SourceText() const
{
    return sourceField->text();
}
QString CEventMsgDlg::IncomingNumberText() const
{
    return numberField->text();
}
QString CEventMsgDlg::IdCodeText() const
{
    return idCodeField->text();
}
QString CEventMsgDlg::IdInfoText() const
{
    return idInfoField->text();
}
QString CEventMsgDlg::DateText() const
{
    return dateField->text();
}
QString CEventMsgDlg::TimeText() const
{
    return timeField->text();
}
QString CEventMsgDlg::StatusText() const
{
    return statusField->text();
}
QColor CEventMsgDlg::StatusTextColor() const
{
    return statusField->palette().color(QPalette::Active, QPalette::Text);
}
QColor CEventMsgDlg::StatusBkColor() const
{
    return statusField->palette().color(QPalette::Active, QPalette::Base);
}
QString CEventMsgDlg::AckText() const
{
    return ackField->text();
}
QString CEventMsgDlg::AckTimeText() const
{
    return ackTimeField->text();
}
QString CEventMsgDlg::FinishText() const
{
    return finishField->text();
}
QString CEventMsgDlg::FinishTimeText() const
{
    return finishTimeField->text();
}
QString CEventMsgDlg::TimeLeftText() const
{
    return timeLeftField->text();
}
QString CEventMsgDlg::CallPanelText() const
{
    return callPanel->Text();
}
QColor CEventMsgDlg::CallPanelColor() const
{
    return callPanel->BkColor();
}
bool CEventMsgDlg::IsTimeLeftEnabled() const
{
    return timeLeftField->isEnabled();
}
bool CEventMsgDlg::IsVoiceGroupEnabled() const
{
    return voiceGroup->isEnabled();
}
