#pragma once
// The alarm dialogs that are open: any number of normal ones and at most one
// in voice-call mode (the station has one telephone line), which receives the
// call-state messages. The set owns the alert sound the dialogs play, unless
// it is given one.

#include "ui/AlarmDialogs.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <memory>
#include <vector>

class CAlertSound;
class CEventMsgDlg;
class QWidget;

class CAlarmDialogSet : public CAlarmDialogs {
public:
    CAlarmDialogSet();
    explicit CAlarmDialogSet(CAlertSound& sound);
    // Dialogs still open are deleted (the station is ending).
    ~CAlarmDialogSet() override;
    CAlarmDialogSet(const CAlarmDialogSet&) = delete;
    CAlarmDialogSet& operator=(const CAlarmDialogSet&) = delete;

    // The main window: the dialogs' owner, so that they stay above it, and
    // the screen they cascade on.
    void SetOwner(QWidget* window) { owner = window; }
    // Where the n-th dialog (from 0) of the given size goes within the
    // area: each one lower and further right than the one before by its
    // banner and a title bar, starting again at the top when the area ends.
    static QPoint CascadePosition(int index, QSize size, int bannerBottom, const QRect& area);

    void Open(const CAlarmInfoMsg& alarm, bool voiceCall, CEventMsgDlgHost& host,
              const std::string& headerText) override;
    // The voice dialog comes to the top below the dialogs opened after it,
    // without taking the keyboard.
    void CallProgress(int16_t state, int16_t secondsLeft) override;
    void ForgetVoiceDialog() override;
    // Deletes every open dialog without telling its host (the station is
    // closing and the host may go next).
    void CloseAll();

    // Every open dialog of the record's alarm shows its new status (see
    // CEventMsgDlg::ShowNewStatus).
    void ShowNewStatus(const CAlarmInfoMsg& record);

    // The dialog in voice-call mode, or nullptr.
    CEventMsgDlg* VoiceDialog() const { return voiceDialog.data(); }
    // The dialogs open now, oldest first.
    std::vector<CEventMsgDlg*> Dialogs() const;
    CAlertSound& Sound() { return sound; }

private:
    void Place(CEventMsgDlg& dialog);

    std::unique_ptr<CAlertSound> ownSound;
    CAlertSound& sound;
    std::vector<QPointer<CEventMsgDlg>> dialogs;
    QPointer<CEventMsgDlg> voiceDialog;
    QPointer<QWidget> owner;
    int nextSlot = 0;
};
