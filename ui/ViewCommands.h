#pragma once
// The commands of the main window that the alarm list carries out, and the
// states the menu and toolbar show for them.

#include "station/AlarmList.h"

#include <cstdint>

class QMenu;

class CViewCommands {
public:
    virtual ~CViewCommands() = default;

    virtual void OnAlarmlistView() = 0;
    virtual void OnAlarmlistDelete() = 0;
    virtual void OnAlarmlistRefresh() = 0;
    // bit: 0 New, 1 Acknowledged, 2 Finished, 3 Info.
    virtual void OnAlarmlistFilter(int bit) = 0;
    virtual void OnAlarmlistSetStatus(AlarmStatusChange change) = 0;
    virtual void OnOptionsUnattended() = 0;

    virtual uint8_t GetFilterMask() const = 0;
    virtual bool IsUnattended() const = 0;
    // The Alarmlist pop-up of the main menu, shown as the list's context menu.
    virtual void SetContextMenu(QMenu* menu) = 0;
};
