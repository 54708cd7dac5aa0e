#pragma once
// The screen as the application document sees it: everything the managers
// show (CStationScreen) plus the alarm list, the alarm dialogs, the title and
// the questions the document itself asks the operator. The windows implement
// it; a headless station writes the same events to standard output and
// answers every question as nobody being there would; tests record it.

#include "core/Msg.h"
#include "core/SettingsValues.h"
#include "core/StationScreen.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CAlarmInfoMsg;
class CDbConvert;
class CSettings;

// How a new alarm is brought to the operator's attention.
enum class AlarmPopUp {
    None,       // listed only
    Normal,     // listed, and the alarm dialog opens
    VoiceCall,  // listed, and the alarm dialog opens as the console of the waiting voice call
};

class CDocumentScreen : public CStationScreen {
public:
    // The main window's title.
    virtual void SetTitle(const std::string& title) = 0;

    // A new alarm for the top of the list, with the dialog that opens for it.
    // The record is only lent for the call; for a voice call the alarm list
    // keeps it until the call ends and reports the call through ShowCallProgress.
    virtual void ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp) = 0;
    // The list as read from the database: a chain in database order, or
    // nullptr when nothing was found. Lent for the call.
    virtual void ShowAlarmList(const CAlarmInfoMsg* first) = 0;
    // A listed alarm took a new status at this desk: the edit as it goes to
    // the database (key, status, and the operators and times it sets).
    virtual void ShowAlarmStatus(const CAlarmInfoMsg& edit) = 0;
    // One alarm read by key for the operator: open the alarm dialog for it.
    virtual void OpenAlarmDialog(const CAlarmInfoMsg& alarm) = 0;
    // One step of the waiting voice call (VC_* state, seconds left) for the
    // dialog that was opened in voice-call mode.
    virtual void ShowCallProgress(int16_t state, int16_t secondsLeft) = 0;

    // The operator selection (mode 1 at start-up, 0 for a change). It may
    // edit and save the operator names of the settings. The chosen name, or
    // nothing when the operator cancelled.
    virtual std::optional<std::string> SelectOperator(int mode, CSettings& settings) = 0;
    // The database manager dialog (DBMGRDLG_REASON_*; the converter for
    // reasons 2 and 4). Returns DBMGRDLG_*.
    virtual int RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter) = 0;
    // The folder picker for the database. True with the folder chosen.
    virtual bool BrowseDatabasePath(std::string& folder) = 0;
    // The settings sheet on a copy of the values; true when confirmed with OK.
    virtual bool RunSettingsSheet(SettingsValues& values) = 0;

    // Database replies for the windows that asked for them; the screen takes
    // them: object information window (29, 32, 33, 34), object export (30),
    // alarm-list printing (31 with results 7 and 8).
    virtual void OnObjectInfoReply(std::unique_ptr<CMsg> reply) = 0;
    virtual void OnExportReply(std::unique_ptr<CMsg> reply) = 0;
    virtual void OnPrintReply(std::unique_ptr<CMsg> reply) = 0;
    // The last step of the start-up: the print window of the alarm list.
    virtual void CreatePrintWindow() = 0;
    // A restart after a settings change failed: close the main window (the
    // station then stops as after the operator's close).
    virtual void RequestClose() = 0;
};
