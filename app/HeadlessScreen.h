#pragma once
// The station's screen when nobody sits at it: everything the windows would
// show is written to standard output, one time-stamped line per event, and
// every question is answered as a station without an operator must.
//
// Line format (one event per line, flushed at once):
//
//   <YYYY-MM-DD HH:MM:SS> <KIND> <payload>
//
//   STATUS <pane> <text>      a status-bar pane changed: 1 mail, 2 GSM,
//                             3 telephone (the same text again is no change)
//   INFO <popup> <text>       a system-information line; popup 1 when the
//                             panel would come to the front with a beep
//   ALARM <popup> key=<n> type=<n> source=<n> status=<n> id="<IdCode>"
//         cid="<CallerIdInfo>" info="<IdInfo>" text="<alarm text>"
//                             a new alarm (one line); popup is none, normal
//                             or voice (the dialog that would open)
//   CALL <state> <name> <seconds left>
//                             one step of the waiting voice call, e.g.
//                             "CALL 2 VC_PICK_UP 295"
//   LIST <rows>               the alarm list was read from the database
//   TITLE <title>             the main window's title
//   MESSAGE <text>            a message box (errors, a serial port that did
//                             not open)
//   DATABASE <text>           the database manager: what it found and the
//                             progress of creating or converting the database
//   READY                     the start-up has completed
//   STOPPED                   the managers are stopped; the program ends
//
// Texts are UTF-8. A backslash, carriage return, line feed and tab in a text
// are written as \\, \r, \n and \t, so an event never spans two lines; inside
// the quoted values of ALARM a double quote is written as \". The lines of an
// alarm text are joined with \n.
//
// Answers: the operator selection is never shown (the start-up operator comes
// from the command line or LastOperator); a missing database is created, and
// an older installation's data converted; a database folder that does not
// exist or a file that is not a database ends the start-up; a serial port
// that does not open is not replaced, so that subsystem stays stopped; the
// settings sheet and folder picker are cancelled; a voice call rings until it
// times out, as if nobody answered, and the alarm is then forwarded.

#include "core/LogFile.h"
#include "db/DbProgressList.h"
#include "station/DocumentScreen.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

class CHeadlessScreen : public CDocumentScreen, public CDbProgressList {
public:
    // The time stamp of each line; the local time by default.
    using Clock = std::function<std::string()>;

    explicit CHeadlessScreen(std::ostream& out, Clock clock = {});
    ~CHeadlessScreen() override;

    // Writes the system information lines also to SystemInfo.log in the
    // current folder, with the start-up and shutdown lines.
    void OpenSystemInfoLog();
    // What RequestClose does (quit the event loop).
    void SetCloseHandler(std::function<void()> handler) { onClose = std::move(handler); }
    // The reason of the last database manager dialog (DBMGRDLG_REASON_*), or
    // 0 when none was asked for; tells why the database did not open.
    int GetLastDatabaseReason() const { return lastDatabaseReason; }

    // One event line.
    void WriteEvent(const std::string& kind, const std::string& payload);

    // A text as it appears in a line; quoted also escapes double quotes.
    static std::string Escape(const std::string& text, bool quoted = false);
    // "YYYY-MM-DD HH:MM:SS" of the local time.
    static std::string LocalTimeStamp();
    // The name of a voice-call state, "VC_PICK_UP"; the number for others.
    static std::string CallStateName(int16_t state);
    // The ALARM payload of an alarm record.
    static std::string AlarmPayload(const CAlarmInfoMsg& alarm, AlarmPopUp popUp);

    // CStationScreen
    void SetStatusText(const std::string& text, int pane) override;
    void AddSystemInfo(const std::string& text, bool popUp) override;
    void ReportJob(const std::string& line) override;
    void Beep(BeepKind kind) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    std::optional<int16_t> SelectComPort(const std::string& message, int16_t current) override;

    // CDocumentScreen
    void SetTitle(const std::string& title) override;
    void ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp) override;
    void ShowAlarmList(const CAlarmInfoMsg* first) override;
    void ShowAlarmStatus(const CAlarmInfoMsg& edit) override;
    void OpenAlarmDialog(const CAlarmInfoMsg& alarm) override;
    void ShowCallProgress(int16_t state, int16_t secondsLeft) override;
    std::optional<std::string> SelectOperator(int mode, CSettings& settings) override;
    int RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter) override;
    bool BrowseDatabasePath(std::string& folder) override;
    bool RunSettingsSheet(SettingsValues& values) override;
    void OnObjectInfoReply(std::unique_ptr<CMsg> reply) override;
    void OnExportReply(std::unique_ptr<CMsg> reply) override;
    void OnPrintReply(std::unique_ptr<CMsg> reply) override;
    void CreatePrintWindow() override;
    void RequestClose() override;

    // CDbProgressList
    void AddProgressLine(const std::string& text) override;

private:
    std::ostream& out;
    Clock clock;
    std::mutex writeLock;
    std::unique_ptr<CLogFile> systemInfoLog;
    std::function<void()> onClose;
    int lastDatabaseReason = 0;
    std::map<int, std::string> paneTexts;  // the text last written per pane
};
