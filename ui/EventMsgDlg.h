#pragma once
// The alarm dialog: one alarm with its texts and status, opened by the alarm
// list for every alarm that pops up and for every alarm the operator opens
// from the list. Modeless and without an owner window, so that several alarms
// can stay open side by side; it frees itself when closed.
//
// The dialog of a waiting voice call is in voice-call mode: its Voice Call
// group shows the call states that the telephone side sends every second
// (ringing the operator's handset, talking, finished, aborted, timed out),
// blinks while the handset rings and sounds the alert every time the ringing
// is reported, until the operator answers or presses Silent.

#include "messages/AlarmInfoMsg.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <string>

class CAlertSound;
class CEventMsgDlgHost;
class CMessagePanel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class CEventMsgDlg : public QDialog {
public:
    CEventMsgDlg(const CAlarmInfoMsg& alarm, bool voiceCall, CEventMsgDlgHost& host, const std::string& headerText,
                 CAlertSound& sound);
    ~CEventMsgDlg() override;

    // One call-state message (VC_* state, seconds left of the call).
    void OnCallState(int16_t state, int16_t secondsLeft);
    // The 100 ms tick: the panel shows 700 ms and hides 300 ms while blinking.
    void OnBlinkTimer();
    // The call is gone without a final call state (for example a newer voice
    // dialog took over): the dialog becomes a normal one without telling anyone.
    void EndVoiceCallMode();

    // The alarm's status changed elsewhere (another dialog, the list, the
    // station itself): a record of the same alarm further on than what the
    // dialog shows replaces its status fields and buttons. A status never
    // goes back; a record without acknowledgement keeps the one shown, or
    // takes the finish's when none is shown (finished straight from new).
    void ShowNewStatus(const CAlarmInfoMsg& record);
    uint8_t Status() const { return status; }
    // The first action button that can be pressed (Acknowledge, Finish or
    // Ignore) takes the keyboard focus with a visible focus frame, so that
    // a keyboard user sees what Space would press.
    void FocusFirstAction();
    // The height from the dialog's top to the bottom of its banner: the
    // band a later dialog must leave free.
    int BannerBottom() const;

    bool IsVoiceCallMode() const { return voiceCallMode; }
    bool IsBlinking() const { return blinking; }
    bool IsSilenced() const { return silenced; }
    bool IsCallPanelVisible() const;
    int BlinkCounter() const { return blinkCounter; }
    uint32_t AlarmKey() const { return key; }

    // What the dialog shows.
    QString AlarmText() const { return alarmText; }  // lines end in CR LF
    QString ShownAlarmText() const;
    QString BannerText() const;
    QColor BannerColor() const;
    QString SourceText() const;
    QString IncomingNumberText() const;
    QString IdCodeText() const;
    QString IdInfoText() const;
    QString DateText() const;
    QString TimeText() const;
    QString StatusText() const;
    QColor StatusTextColor() const;
    QColor StatusBkColor() const;
    QString AckText() const;
    QString AckTimeText() const;
    QString FinishText() const;
    QString FinishTimeText() const;
    QString TimeLeftText() const;
    QString CallPanelText() const;
    QColor CallPanelColor() const;
    bool IsTimeLeftEnabled() const;
    bool IsVoiceGroupEnabled() const;

    QPushButton* ObjectInfoButton() const { return objectButton; }
    QPushButton* SilentButton() const { return silentButton; }
    QPushButton* VoiceIgnoreButton() const { return voiceIgnoreButton; }
    QPushButton* AlarmIgnoreButton() const { return alarmIgnoreButton; }
    QPushButton* AcknowledgeButton() const { return ackButton; }
    QPushButton* FinishButton() const { return finishButton; }

public:
    // The buttons (connected to their clicks; tests may call them).
    void OnAcknowledge();
    void OnFinish();
    void OnAlarmIgnore();
    void OnSilent();
    void OnVoiceIgnore();
    void OnObjectInfo();
    // Escape, the close box and every button that closes come here.
    void reject() override;

protected:
    void done(int result) override;

private:
    void BuildLayout();
    void Translate();
    void Fill(const CAlarmInfoMsg& alarm, const std::string& headerText);
    void ComposeText(const CAlarmInfoMsg& alarm, const std::string& headerText);
    void ApplyStatus(const CAlarmInfoMsg& alarm);
    void ApplyMode();
    void SetCallPanel(const char* key, const QColor& color);
    void StartBlinking();
    void StopBlinking();
    void DisableVoiceButtons();
    // States 4 to 6: the call is over; the list hears it once.
    void CallEnded(bool forward);
    // The close check: true when the dialog may close.
    bool MayClose();
    void CloseDialog();

    CEventMsgDlgHost& host;
    CAlertSound& sound;

    uint32_t key = 0;
    uint8_t status = 0;
    std::string ackOperator;
    COleDateTime ackTime;
    bool objectKnown = false;
    uint8_t source = 0;
    std::string idCode;

    bool voiceCallMode = false;
    bool blinking = false;
    bool silenced = false;
    bool closeReported = false;
    int blinkCounter = 0;
    int16_t lastState = 0;
    QString alarmText;

    CMessagePanel* banner = nullptr;
    QGroupBox* infoGroup = nullptr;
    QLabel* sourceLabel = nullptr;
    QLineEdit* sourceField = nullptr;
    QLabel* numberLabel = nullptr;
    QLineEdit* numberField = nullptr;
    QLabel* idCodeLabel = nullptr;
    QLineEdit* idCodeField = nullptr;
    QPushButton* objectButton = nullptr;
    QLabel* idInfoLabel = nullptr;
    QLineEdit* idInfoField = nullptr;
    QLabel* dateLabel = nullptr;
    QLineEdit* dateField = nullptr;
    QLabel* timeLabel = nullptr;
    QLineEdit* timeField = nullptr;
    QPlainTextEdit* textField = nullptr;

    QGroupBox* voiceGroup = nullptr;
    CMessagePanel* callPanel = nullptr;
    QLabel* timeLeftLabel = nullptr;
    QLineEdit* timeLeftField = nullptr;
    QPushButton* silentButton = nullptr;
    QPushButton* voiceIgnoreButton = nullptr;

    QGroupBox* statusGroup = nullptr;
    QLineEdit* statusField = nullptr;
    QPushButton* alarmIgnoreButton = nullptr;
    QPushButton* ackButton = nullptr;
    QLineEdit* ackField = nullptr;
    QLabel* ackTimeLabel = nullptr;
    QLineEdit* ackTimeField = nullptr;
    QPushButton* finishButton = nullptr;
    QLineEdit* finishField = nullptr;
    QLabel* finishTimeLabel = nullptr;
    QLineEdit* finishTimeField = nullptr;

    QTimer* blinkTimer = nullptr;
};
