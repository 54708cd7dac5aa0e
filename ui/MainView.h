#pragma once
// The alarm list that fills the main window: one row per alarm, six columns,
// filtered by status and sorted by any column. The window-free part (what a
// new alarm brings up, the voice call's record, the relays, the refresh and
// the database requests) is the document's CAlarmList; this window shows what
// it decides and hands the operator's commands back to it. It also opens the
// alarm dialogs and keeps the header texts they show (AlarmTypeText.ini).
// User-interface thread only.

#include "station/DocumentScreen.h"
#include "ui/AlarmTypeTextFile.h"
#include "ui/EventMsgDlgHost.h"
#include "ui/PrintListSource.h"
#include "ui/ViewCommands.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CAlarmDialogs;
class CAlarmInfoMsg;
class COrvaDoc;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

class CMainView : public QWidget, public CViewCommands, public CEventMsgDlgHost, public CPrintListSource {
public:
    static constexpr int kColumnCount = 6;
    enum Column { ColStatus = 0, ColType, ColIdCode, ColIdInfo, ColCallerId, ColDateTime };
    // The date column's format: text order is then time order.
    static constexpr const char* kDateFormat = "%y-%m-%d     %H:%M:%S";

    CMainView(COrvaDoc& doc, CAlarmDialogs& dialogs, QWidget* parent = nullptr);
    // Stores the six column widths into the settings and saves them.
    ~CMainView() override;
    CMainView(const CMainView&) = delete;
    CMainView& operator=(const CMainView&) = delete;

    // Columns with their titles and widths, the status icons, and the header
    // texts from AlarmTypeText.ini in the folder (empty: the current folder).
    void Initialise(const std::string& headerFolder = {});

    // --- What the document shows (forwarded by the screen) -------------------
    // Inserted as the first row, then sorted; Normal and VoiceCall bring the
    // main window forward and open an alarm dialog.
    void ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp);
    // The list as read (a chain in database order; nullptr: nothing found).
    // The selected rows stay selected when they are still listed.
    void ShowAlarmList(const CAlarmInfoMsg* first);
    void ShowAlarmStatus(uint32_t key, uint8_t status);
    // An alarm read by key: the alarm dialog in normal mode.
    void OpenAlarmDialog(const CAlarmInfoMsg& alarm);
    void ShowCallProgress(int16_t state, int16_t secondsLeft);

    // --- The list --------------------------------------------------------------
    QTreeWidget* List() { return list; }
    // A click on the column's header: flips that column's direction and sorts.
    void SortByColumn(int column);
    // Sorts by the current sort column and direction.
    void SortList();
    // The least width that shows the column's title and its longest text in
    // the list's font; a narrower stored width is not used.
    int FittedWidth(int column) const;
    // The keys of the selected rows in list order.
    std::vector<uint32_t> SelectedKeys() const;

    // --- CPrintListSource ----------------------------------------------------
    int GetPrintRowCount() const override;
    std::vector<uint32_t> GetPrintSelection() const override { return SelectedKeys(); }
    std::string HeaderText(uint8_t alarmType) const { return headerTexts.HeaderText(alarmType); }

    // The object window's two ways in from an alarm dialog: Add Object Info
    // for an object nobody registered yet (the ID code to fill in), and Edit
    // Object Info for a registered one (the key, and whether it is the phone
    // number). Without them (the default) both buttons beep.
    void SetNewObjectHandler(std::function<void(const std::string& idCode)> handler)
    {
        newObjectHandler = std::move(handler);
    }
    void SetFindObjectHandler(std::function<void(const std::string& key, bool byPhoneNumber)> handler)
    {
        findObjectHandler = std::move(handler);
    }

    // --- CViewCommands -----------------------------------------------------------
    void OnAlarmlistView() override;
    void OnAlarmlistDelete() override;
    void OnAlarmlistRefresh() override;
    void OnAlarmlistFilter(int bit) override;
    void OnAlarmlistSetStatus(AlarmStatusChange change) override;
    void OnOptionsUnattended() override;
    uint8_t GetFilterMask() const override;
    bool IsUnattended() const override;
    void SetContextMenu(QMenu* menu) override { contextMenu = menu; }

    // --- CEventMsgDlgHost --------------------------------------------------------
    const SettingsValues& Settings() override;
    void SetAlarmStatus(uint32_t key, uint8_t currentStatus, uint8_t newStatus) override;
    void VoiceCallEnded(bool forward) override;
    void DisconnectVoiceCall() override;
    void OpenObjectInfo(bool known, const std::string& idCode, bool byPhoneNumber) override;
    void DialogClosed(class CEventMsgDlg* dialog) override;

    // The status texts ("  1" to "  4", "Undef") and the type texts of the rows.
    static std::string StatusText(uint8_t status);
    static std::string TypeText(uint8_t alarmType);
    // The status a row shows, read back from its text (0 for "Undef").
    static uint8_t StatusOfText(const std::string& text);

private:
    void AddRow(const CAlarmInfoMsg& alarm, int index);
    void SetRowStatus(QTreeWidgetItem& item, uint8_t status);
    QTreeWidgetItem* FindRow(uint32_t key) const;
    QTreeWidgetItem* FirstSelectedRow() const;
    void Reselect(const std::vector<uint32_t>& keys);
    void OpenDialog(const CAlarmInfoMsg& alarm, bool voiceCall);
    void BringMainWindowForward();
    void SetListBackground(const QColor& color);
    void ShowPaneText(const char* key);
    void Beep();

    COrvaDoc& doc;
    CAlarmDialogs& dialogs;
    QTreeWidget* list = nullptr;
    QMenu* contextMenu = nullptr;
    CAlarmTypeTextFile headerTexts;  // dictionary texts, looked up now
    int sortColumn = ColStatus;
    std::array<bool, kColumnCount> sortDescending{};
    bool initialised = false;
    std::function<void(const std::string&)> newObjectHandler;
    std::function<void(const std::string&, bool)> findObjectHandler;
};
