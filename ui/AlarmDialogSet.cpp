#include "ui/AlarmDialogSet.h"

#include "ui/AlertSound.h"
#include "ui/EventMsgDlg.h"

#include <algorithm>

CAlarmDialogSet::CAlarmDialogSet() : ownSound(std::make_unique<CAlertSound>()), sound(*ownSound) {}

CAlarmDialogSet::CAlarmDialogSet(CAlertSound& sound) : sound(sound) {}

CAlarmDialogSet::~CAlarmDialogSet()
{
    // The dialogs refer to the sound; they go first.
    CloseAll();
}

void CAlarmDialogSet::CloseAll()
{
    for (const auto& dialog : dialogs)
        delete dialog.data();
    dialogs.clear();
}

void CAlarmDialogSet::Open(const CAlarmInfoMsg& alarm, bool voiceCall, CEventMsgDlgHost& host,
                           const std::string& headerText)
{
    std::erase_if(dialogs, [](const QPointer<CEventMsgDlg>& dialog) { return dialog.isNull(); });

    auto* dialog = new CEventMsgDlg(alarm, voiceCall, host, headerText, sound);
    dialogs.emplace_back(dialog);
    if (voiceCall) {
        // With one line a new voice call means the earlier one is gone; its
        // dialog must not drop the new call when it is closed.
        if (voiceDialog)
            voiceDialog->EndVoiceCallMode();
        voiceDialog = dialog;
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void CAlarmDialogSet::CallProgress(int16_t state, int16_t secondsLeft)
{
    if (voiceDialog)
        voiceDialog->OnCallState(state, secondsLeft);
}

void CAlarmDialogSet::ForgetVoiceDialog()
{
    if (voiceDialog)
        voiceDialog->EndVoiceCallMode();
    voiceDialog = nullptr;
}

std::vector<CEventMsgDlg*> CAlarmDialogSet::Dialogs() const
{
    std::vector<CEventMsgDlg*> open;
    for (const auto& dialog : dialogs) {
        if (dialog)
            open.push_back(dialog.data());
    }
    return open;
}
