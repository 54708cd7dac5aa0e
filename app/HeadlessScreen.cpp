#include "app/HeadlessScreen.h"

#include "core/TextLookup.h"
#include "core/Version.h"
#include "db/DatabaseMgrHost.h"
#include "db/DbConvert.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/TelHandlerMsg.h"

#include <ctime>

namespace {

constexpr int16_t kSystemInfoLogLines = 1000;

const char* PopUpName(AlarmPopUp popUp)
{
    switch (popUp) {
    case AlarmPopUp::Normal:
        return "normal";
    case AlarmPopUp::VoiceCall:
        return "voice";
    case AlarmPopUp::None:
        break;
    }
    return "none";
}

// The alarm text with its lines joined by single line feeds.
std::string AlarmText(const CAlarmInfoMsg& alarm)
{
    std::string text;
    for (char c : alarm.Text.GetText()) {
        if (c != '\r')
            text += c;
    }
    return text;
}

}  // namespace

CHeadlessScreen::CHeadlessScreen(std::ostream& output, Clock lineClock)
    : out(output), clock(lineClock ? std::move(lineClock) : Clock(&CHeadlessScreen::LocalTimeStamp))
{
}

CHeadlessScreen::~CHeadlessScreen()
{
    if (systemInfoLog)
        systemInfoLog->Log("SysInfo", "Shutdown");
}

void CHeadlessScreen::OpenSystemInfoLog()
{
    systemInfoLog = std::make_unique<CLogFile>("SystemInfo", kSystemInfoLogLines);
    systemInfoLog->Log("SysInfo", std::string("Startup - Ver. ") + kProductVersion);
}

std::string CHeadlessScreen::LocalTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

std::string CHeadlessScreen::Escape(const std::string& text, bool quoted)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '"':
            escaped += quoted ? "\\\"" : "\"";
            break;
        default:
            escaped += c;
            break;
        }
    }
    return escaped;
}

std::string CHeadlessScreen::CallStateName(int16_t state)
{
    switch (state) {
    case VC_NOTIFY_TICK:
        return "VC_NOTIFY_TICK";
    case VC_PICK_UP:
        return "VC_PICK_UP";
    case VC_TALK_TICK:
        return "VC_TALK_TICK";
    case VC_ON_HOOK:
        return "VC_ON_HOOK";
    case VC_ABORTED:
        return "VC_ABORTED";
    case VC_TIMEOUT:
        return "VC_TIMEOUT";
    default:
        return std::to_string(state);
    }
}

std::string CHeadlessScreen::AlarmPayload(const CAlarmInfoMsg& alarm, AlarmPopUp popUp)
{
    const auto quote = [](const std::string& value) { return "\"" + Escape(value, true) + "\""; };
    return std::string(PopUpName(popUp)) + " key=" + std::to_string(alarm.PrimaryKey) +
           " type=" + std::to_string(alarm.AlarmType) + " source=" + std::to_string(alarm.AlarmSource) +
           " status=" + std::to_string(alarm.AlarmStatus) + " id=" + quote(alarm.IdCode) +
           " cid=" + quote(alarm.CallerIdInfo) + " info=" + quote(alarm.IdInfo) + " text=" + quote(AlarmText(alarm));
}

void CHeadlessScreen::WriteEvent(const std::string& kind, const std::string& payload)
{
    std::string line = clock() + " " + kind;
    if (!payload.empty())
        line += " " + payload;
    line += "\n";
    std::lock_guard<std::mutex> guard(writeLock);
    out << line;
    out.flush();
}

// ---------------------------------------------------------------------------
// What the managers show

void CHeadlessScreen::SetStatusText(const std::string& text, int pane)
{
    // The windows redraw a pane with the same text many times a minute (each
    // modem poll); only a change is news.
    const auto last = paneTexts.find(pane);
    if (last != paneTexts.end() && last->second == text)
        return;
    paneTexts[pane] = text;
    WriteEvent("STATUS", std::to_string(pane) + " " + Escape(text));
}

void CHeadlessScreen::AddSystemInfo(const std::string& text, bool popUp)
{
    WriteEvent("INFO", std::string(popUp ? "1 " : "0 ") + Escape(text));
    if (systemInfoLog)
        systemInfoLog->Log("SysInfo", text);
}

void CHeadlessScreen::ReportJob(const std::string& line)
{
    WriteEvent("JOB", Escape(line));
}

void CHeadlessScreen::Beep(BeepKind)
{
    // Nobody to hear it.
}

void CHeadlessScreen::ShowMessage(const std::string& text, MessageIcon)
{
    WriteEvent("MESSAGE", Escape(text));
}

std::optional<int16_t> CHeadlessScreen::SelectComPort(const std::string& message, int16_t)
{
    // Nobody can pick another port: the subsystem stays stopped.
    WriteEvent("MESSAGE", Escape(message));
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// What the document shows

void CHeadlessScreen::SetTitle(const std::string& title)
{
    WriteEvent("TITLE", Escape(title));
}

void CHeadlessScreen::ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp)
{
    WriteEvent("ALARM", AlarmPayload(alarm, popUp));
}

void CHeadlessScreen::ShowAlarmList(const CAlarmInfoMsg* first)
{
    std::size_t rows = 0;
    for (const CMsg* msg = first; msg != nullptr; msg = msg->Next.get())
        ++rows;
    WriteEvent("LIST", std::to_string(rows));
}

void CHeadlessScreen::ShowAlarmStatus(const CAlarmInfoMsg&)
{
}

void CHeadlessScreen::OpenAlarmDialog(const CAlarmInfoMsg&)
{
}

void CHeadlessScreen::ShowCallProgress(int16_t state, int16_t secondsLeft)
{
    WriteEvent("CALL", std::to_string(state) + " " + CallStateName(state) + " " + std::to_string(secondsLeft));
}

// ---------------------------------------------------------------------------
// Questions

std::optional<std::string> CHeadlessScreen::SelectOperator(int, CSettings&)
{
    return std::nullopt;
}

int CHeadlessScreen::RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter)
{
    lastDatabaseReason = reason;
    switch (reason) {
    case DBMGRDLG_REASON_NO_DATABASE:
    case DBMGRDLG_REASON_OLD_VERSION: {
        const bool copy = reason == DBMGRDLG_REASON_OLD_VERSION;
        WriteEvent("DATABASE",
                   Escape(LookupText(copy ? "IDS_DATABASEMGRDLG_MSG_6" : "IDS_DATABASEMGRDLG_MSG_4") + " " + folder));
        if (converter == nullptr)
            return DBMGRDLG_END;
        converter->SetProgressList(this);
        const bool done = converter->CreateDatabase() == 1 && (!copy || converter->CopyData() == 1);
        converter->SetProgressList(nullptr);
        const char* outcome = copy ? (done ? "IDS_DATABASEMGRDLG_MSG_14" : "IDS_DATABASEMGRDLG_MSG_16")
                                   : (done ? "IDS_DATABASEMGRDLG_MSG_10" : "IDS_DATABASEMGRDLG_MSG_12");
        WriteEvent("DATABASE", Escape(LookupText(outcome)));
        if (!done)
            return DBMGRDLG_END;
        lastDatabaseReason = 0;  // solved; a later failure has another reason
        return DBMGRDLG_START;
    }
    case DBMGRDLG_REASON_INVALID_PATH:
        WriteEvent("DATABASE", Escape(LookupText("IDS_DATABASEMGRDLG_MSG_1") + " " + folder + " " +
                                      LookupText("IDS_DATABASEMGRDLG_MSG_2")));
        return DBMGRDLG_CANCEL;
    case DBMGRDLG_REASON_BAD_DATABASE:
        WriteEvent("DATABASE", Escape(LookupText("IDS_DATABASEMGRDLG_MSG_8") + " " + folder));
        return DBMGRDLG_CANCEL;
    default:
        return DBMGRDLG_CANCEL;
    }
}

bool CHeadlessScreen::BrowseDatabasePath(std::string&)
{
    return false;
}

bool CHeadlessScreen::RunSettingsSheet(SettingsValues&)
{
    return false;
}

void CHeadlessScreen::OnObjectInfoReply(std::unique_ptr<CMsg>)
{
}

void CHeadlessScreen::OnExportReply(std::unique_ptr<CMsg>)
{
}

void CHeadlessScreen::OnPrintReply(std::unique_ptr<CMsg>)
{
}

void CHeadlessScreen::CreatePrintWindow()
{
}

void CHeadlessScreen::RequestClose()
{
    if (onClose)
        onClose();
}

void CHeadlessScreen::AddProgressLine(const std::string& text)
{
    WriteEvent("DATABASE", Escape(text));
}
