#pragma once
// The commands of the main window that the alarm list carries out, and the
// states the menu and toolbar show for them.

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
    // status: 2 Acknowledged, 3 Finished.
    virtual void OnAlarmlistSetStatus(uint8_t status) = 0;
    virtual void OnOptionsUnattended() = 0;

    virtual uint8_t GetFilterMask() const = 0;
    virtual bool IsUnattended() const = 0;
    // The Alarmlist pop-up of the main menu, shown as the list's context menu.
    virtual void SetContextMenu(QMenu* menu) = 0;
};
