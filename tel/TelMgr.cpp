#include "tel/TelMgr.h"

#include "core/PortRecovery.h"
#include "core/TextFormat.h"
#include "core/TextLookup.h"

namespace {

constexpr int32_t kTelBaudRate = 9600;

// The GSM wording of a modem on a wireless interface, told as the telephone.
std::string AsTel(std::string text)
{
    const std::string::size_type pos = text.find("GSM");
    if (pos != std::string::npos)
        text.replace(pos, 3, "TEL");
    return text;
}

}  // namespace

CTelMgr::CTelMgr() = default;

void CTelMgr::Status(const std::string& text)
{
    if (document)
        document->Screen().SetStatusText(text, STATUS_PANE_TEL);
}

void CTelMgr::Info(const std::string& text, bool popUp)
{
    if (document)
        document->Screen().AddSystemInfo(text, popUp);
}

int CTelMgr::Start(CMsgReceiver* relay)
{
    if (!document)
        return 1;
    SettingsValues& settings = document->Settings();
    Status(LookupText("IDS_TELMGR_MSG_1"));
    if (settings.TelEnabled == 0) {
        Status(LookupText("IDS_TELMGR_MSG_5"));
        return 1;
    }
    const auto start = [this, relay, &settings] {
        handler.SetOwner(relay);
        handler.SetConfig(settings.TelComPort, kTelBaudRate, settings.TelRingSignals, true, settings.CpcEnabled != 0,
                          settings.VoiceCallEnabled != 0, settings.NORD, settings.WirelessNetSel);
        return handler.Start();
    };
    StartWithPortRecovery(*document, settings.TelComPort, settings.TelEnabled, start,
                          [this](const std::string& text) { Status(text); },
                          {"IDS_TELMGR_MSG_2", "IDS_TELMGR_MSG_3", "IDS_TELMGR_MSG_4", MessageIcon::Error});
    // What was asked while the handler did not run was not queued for it;
    // the latest state is what it needs.
    if (handler.IsRunning() == 1)
        SendLatestState();
    return 1;
}

int16_t CTelMgr::Stop()
{
    return handler.Stop();
}

void CTelMgr::PostToHandler(std::unique_ptr<CMsg> msg)
{
    if (!msg)
        return;
    Remember(*msg);
    // A handler that does not run takes nothing: its queue would only grow
    // (the alarm list sends the relay state with every answer) and the whole
    // backlog would go to the modem at the next start.
    if (handler.IsRunning() == 0)
        return;
    CHandler::PostMsg(&handler, std::move(msg));
}

void CTelMgr::Remember(const CMsg& msg)
{
    const auto* request = dynamic_cast<const CTelHandlerMsg*>(&msg);
    if (request == nullptr)
        return;
    if (request->GetType() == TEL_SET_RELAY)
        relayStates[request->relayIndex] = request->onOff;
    else if (request->GetType() == TEL_SET_UNATTENDED)
        unattendedState = request->onOff;
}

void CTelMgr::SendLatestState()
{
    for (const auto& [index, onOff] : relayStates) {
        auto relay = std::make_unique<CTelHandlerMsg>(TEL_SET_RELAY);
        relay->relayIndex = index;
        relay->onOff = onOff;
        CHandler::PostMsg(&handler, std::move(relay));
    }
    if (unattendedState) {
        auto unattended = std::make_unique<CTelHandlerMsg>(TEL_SET_UNATTENDED);
        unattended->onOff = *unattendedState;
        CHandler::PostMsg(&handler, std::move(unattended));
    }
}

void CTelMgr::OnHandlerMsg(const CTelHandlerMsg& msg)
{
    // A pair of lines shows the second above the first (newest on top).
    switch (msg.code) {
    case TELHND_NOTIFY_NO_LINE:
        if (msg.interfaceType == 1)
            Status(LookupText("IDS_TELMGR_MSG_18"));
        else if (msg.interfaceType == 2)
            Status(AsTel(LookupText("IDS_GSMMGR_MSG_30")));
        else
            Status(LookupText("IDS_TELMGR_MSG_24"));
        break;
    case TELHND_NOTIFY_LINE_OK:
        if (msg.interfaceType == 1)
            Status(LookupText("IDS_TELMGR_MSG_19"));
        else if (msg.interfaceType == 2)
            Status(AsTel(msg.signalLevel != 0
                             ? FormatKey("IDS_GSMMGR_MSG_31", {static_cast<long long>(msg.signalLevel)})
                             : LookupText("IDS_GSMMGR_MSG_30")));
        else
            Status(LookupText("IDS_TELMGR_MSG_24"));
        break;
    case TELHND_NOTIFY_RING:
        Status(LookupText("IDS_TELMGR_MSG_20"));
        break;
    case TELHND_NOTIFY_INCOMING_CALL:
        Status(LookupText("IDS_TELMGR_MSG_21"));
        break;
    case TELHND_NOTIFY_COM_ERROR:
        Status(LookupText("IDS_TELMGR_MSG_9"));
        Info(msg.text.empty() ? LookupText("IDS_TELMGR_MSG_10") : LookupText("IDS_TELMGR_MSG_11") + msg.text, true);
        break;
    case TELHND_NOTIFY_SERIAL_ERROR:
        Status(LookupText("IDS_TELMGR_MSG_12"));
        if (msg.text.empty()) {
            Info(LookupText("IDS_TELMGR_MSG_13"), true);
            Info(LookupText("IDS_TELMGR_MSG_14"), false);
        } else {
            Info(LookupText("IDS_TELMGR_MSG_17"), true);
            Info(LookupText("IDS_TELMGR_MSG_15") + msg.text + LookupText("IDS_TELMGR_MSG_16"), false);
        }
        break;
    case TELHND_NOTIFY_SW_ERROR:
        Status(LookupText("IDS_TELMGR_MSG_22"));
        Info(LookupText("IDS_TELMGR_MSG_23") + msg.text, true);
        break;
    case TELHND_NOTIFY_HW_ERROR:
        Status(LookupText("IDS_TELMGR_MSG_24"));
        Info(LookupText("IDS_TELMGR_MSG_25") + msg.text, true);
        break;
    case TELHND_NOTIFY_INFO:
        Info(msg.text, false);
        break;
    case TELHND_NOTIFY_LINK_RESTART:
        // The fatal line of the halt stays on top of these; the pane keeps
        // the error until the modem answers again.
        Status(LookupText("IDS_TELMGR_MSG_12"));
        Info(LookupText("IDS_TELMGR_MSG_7"), false);
        break;
    default:  // TELHND_NOTIFY_COM_WARNING and anything unknown
        Status(LookupText("IDS_TELMGR_MSG_6"));
        Info(msg.text.empty() ? LookupText("IDS_TELMGR_MSG_7") : LookupText("IDS_TELMGR_MSG_8") + msg.text, false);
        break;
    }
}
