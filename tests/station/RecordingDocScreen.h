#pragma once
// The document's screen for tests: records what the station shows, in order,
// and answers the operator's questions from a script. The database manager
// dialog answers as a station without an operator does, unless a test
// scripts it: it creates a missing database and gives up on anything else.

#include "db/DatabaseMgrHost.h"
#include "db/DbConvert.h"
#include "messages/AlarmInfoMsg.h"
#include "settings/Settings.h"
#include "station/DocumentScreen.h"
#include "support/RecordingScreen.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class RecordingDocScreen : public CDocumentScreen {
public:
    struct ShownAlarm {
        uint32_t key;
        uint8_t type;
        uint8_t status;
        std::string idCode;
        AlarmPopUp popUp;
    };

    // CStationScreen: kept by the manager tests' recorder, and in order here.
    void SetStatusText(const std::string& text, int pane) override
    {
        base.SetStatusText(text, pane);
        events.push_back("STATUS " + std::to_string(pane) + " " + text);
    }
    void AddSystemInfo(const std::string& text, bool popUp) override
    {
        base.AddSystemInfo(text, popUp);
        events.push_back("INFO " + text);
    }
    void Beep(BeepKind kind) override { base.Beep(kind); }
    void ShowMessage(const std::string& text, MessageIcon icon) override
    {
        base.ShowMessage(text, icon);
        events.push_back("MESSAGE " + text);
        // What happens while a box waits for the operator.
        if (onMessage)
            onMessage(text);
    }
    std::optional<int16_t> SelectComPort(const std::string& message, int16_t current) override
    {
        return base.SelectComPort(message, current);
    }
    void ReportJob(const std::string& line) override
    {
        base.ReportJob(line);
        events.push_back("JOB " + line);
    }

    void SetTitle(const std::string& text) override
    {
        title = text;
        events.push_back("TITLE " + text);
    }
    void ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp) override
    {
        alarms.push_back({alarm.PrimaryKey, alarm.AlarmType, alarm.AlarmStatus, alarm.IdCode, popUp});
        events.push_back("ALARM " + alarm.IdCode);
    }
    void ShowAlarmList(const CAlarmInfoMsg* first) override
    {
        std::vector<uint32_t> keys;
        for (const CAlarmInfoMsg* alarm = first; alarm != nullptr; alarm = alarm->NextAlarm())
            keys.push_back(alarm->PrimaryKey);
        lists.push_back(keys);
        events.push_back("LIST");
    }
    void ShowAlarmStatus(const CAlarmInfoMsg& edit) override
    {
        statusChanges.emplace_back(edit.PrimaryKey, edit.AlarmStatus);
    }
    void OpenAlarmDialog(const CAlarmInfoMsg& alarm) override
    {
        dialogs.push_back({alarm.PrimaryKey, alarm.AlarmType, alarm.AlarmStatus, alarm.IdCode, AlarmPopUp::Normal});
    }
    void ShowCallProgress(int16_t state, int16_t secondsLeft) override
    {
        calls.emplace_back(state, secondsLeft);
        if (onCallProgress)
            onCallProgress(state);
    }

    std::optional<std::string> SelectOperator(int mode, CSettings&) override
    {
        operatorModes.push_back(mode);
        events.push_back("OPERATOR " + std::to_string(mode));
        return operatorAnswer;
    }
    int RunDatabaseMgrDlg(int reason, const std::string&, CDbConvert* converter) override
    {
        dbReasons.push_back(reason);
        events.push_back("DATABASE " + std::to_string(reason));
        if (databaseDialog)
            return databaseDialog(reason, converter);
        if (reason == DBMGRDLG_REASON_NO_DATABASE && converter != nullptr && converter->CreateDatabase() == 1)
            return DBMGRDLG_START;
        return DBMGRDLG_CANCEL;
    }
    bool BrowseDatabasePath(std::string& folder) override
    {
        if (!browseAnswer)
            return false;
        folder = *browseAnswer;
        return true;
    }
    bool RunSettingsSheet(SettingsValues& values) override
    {
        if (!settingsSheet)
            return false;
        return settingsSheet(values);
    }
    void OnObjectInfoReply(std::unique_ptr<CMsg> reply) override { objectReplies.push_back(reply->GetType()); }
    void OnExportReply(std::unique_ptr<CMsg> reply) override { exportReplies.push_back(reply->GetType()); }
    void OnPrintReply(std::unique_ptr<CMsg> reply) override { printReplies.push_back(reply->GetType()); }
    void CreatePrintWindow() override { events.push_back("PRINT WINDOW"); }
    void RequestClose() override { ++closeRequests; }

    RecordingScreen base;
    std::vector<std::string> events;
    std::string title;
    std::vector<ShownAlarm> alarms;
    std::vector<ShownAlarm> dialogs;
    std::vector<std::vector<uint32_t>> lists;
    std::vector<std::pair<uint32_t, uint8_t>> statusChanges;
    std::vector<std::pair<int16_t, int16_t>> calls;
    std::optional<std::string> operatorAnswer = std::string("Olle");
    std::vector<int> operatorModes;
    std::vector<int> dbReasons;
    std::function<bool(SettingsValues&)> settingsSheet;
    // When set, the operator's answer to the database manager dialog (what
    // else happens while it waits may be done here too).
    std::function<int(int reason, CDbConvert* converter)> databaseDialog;
    // The folder the picker returns; nothing: the operator cancels it.
    std::optional<std::string> browseAnswer;
    // What the voice dialog does with a call step (it reports the end of the
    // call back to the list, as the window does).
    std::function<void(int16_t)> onCallProgress;
    std::function<void(const std::string&)> onMessage;
    std::vector<uint16_t> objectReplies;
    std::vector<uint16_t> exportReplies;
    std::vector<uint16_t> printReplies;
    int closeRequests = 0;
};
