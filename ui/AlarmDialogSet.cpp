#include "ui/AlarmDialogSet.h"

#include "ui/AlertSound.h"
#include "ui/EventMsgDlg.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

CAlarmDialogSet::CAlarmDialogSet() : ownSound(std::make_unique<CAlertSound>()), sound(*ownSound)
{
}

CAlarmDialogSet::CAlarmDialogSet(CAlertSound& sharedSound) : sound(sharedSound)
{
}

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
    // Owned by the main window, the dialog stays above it when a new alarm
    // brings the main window forward.
    if (owner)
        dialog->setParent(owner, dialog->windowFlags() | Qt::Dialog);
    dialogs.emplace_back(dialog);
    if (voiceCall) {
        // With one line a new voice call means the earlier one is gone; its
        // dialog must not drop the new call when it is closed.
        if (voiceDialog)
            voiceDialog->EndVoiceCallMode();
        voiceDialog = dialog;
    }
    Place(*dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->FocusFirstAction();
}

QPoint CAlarmDialogSet::CascadePosition(int index, QSize size, int bannerBottom, const QRect& area)
{
    // Room for the window manager's title bar above the banner.
    const int titleBar = 32;
    const QPoint step(40, bannerBottom + titleBar);
    const QPoint start = area.topLeft() + QPoint(24, 24);
    const int fitX = step.x() > 0 ? (area.width() - size.width() - 24) / step.x() : 0;
    const int fitY = step.y() > 0 ? (area.height() - size.height() - 24) / step.y() : 0;
    const int perRound = std::max(1, std::min(fitX, fitY) + 1);
    const int round = index / perRound;
    const int inRound = index % perRound;
    // A new round starts a little to the right, so that it does not hide
    // the first round's banners exactly.
    QPoint pos = start + step * inRound + QPoint(round * titleBar, 0);
    pos.setX(std::min(pos.x(), std::max(area.left(), area.right() - size.width())));
    pos.setY(std::min(pos.y(), std::max(area.top(), area.bottom() - size.height())));
    return pos;
}

void CAlarmDialogSet::Place(CEventMsgDlg& dialog)
{
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    if (dialog.layout() != nullptr)
        dialog.layout()->activate();
    dialog.adjustSize();
    // With no other dialog open the cascade starts again at the top.
    if (Dialogs().size() <= 1)
        nextSlot = 0;
    dialog.move(
        CascadePosition(nextSlot++, dialog.frameGeometry().size(), dialog.BannerBottom(), screen->availableGeometry()));
}

void CAlarmDialogSet::CallProgress(int16_t state, int16_t secondsLeft)
{
    if (!voiceDialog)
        return;
    // The voice dialog comes up (over the main window and the older
    // dialogs); the alarms that came in while it rang stay over it in the
    // order they came, so that their banners are not hidden for the whole
    // ring. Nothing here takes the keyboard.
    CEventMsgDlg* const voice = voiceDialog.data();
    voice->OnCallState(state, secondsLeft);
    bool newer = false;
    for (CEventMsgDlg* dialog : Dialogs()) {
        if (newer && dialog->isVisible())
            dialog->raise();
        newer = newer || dialog == voice;
    }
}

void CAlarmDialogSet::ForgetVoiceDialog()
{
    if (voiceDialog)
        voiceDialog->EndVoiceCallMode();
    voiceDialog = nullptr;
}

void CAlarmDialogSet::ShowNewStatus(const CAlarmInfoMsg& record)
{
    for (CEventMsgDlg* dialog : Dialogs())
        dialog->ShowNewStatus(record);
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
