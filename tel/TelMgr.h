#pragma once
// The user-interface side of the telephone line: starts and stops the
// telephone handler with the current settings, lets the operator pick another
// serial port when the configured one does not open, passes requests to the
// handler and turns its notifications into the telephone pane and lines of
// the system information panel.

#include "core/DocumentHost.h"
#include "messages/TelHandlerMsg.h"
#include "tel/TelHandler.h"

#include <map>
#include <memory>
#include <optional>

class CTelMgr {
public:
    CTelMgr();

    void SetDocument(CDocumentHost* doc) { document = doc; }
    // Starts the handler with the relay as its owner; always 1, so the start
    // chain goes on whatever happened to the telephone line.
    int Start(CMsgReceiver* relay);
    int16_t Stop();
    // Ownership passes to the handler's queue while the handler runs; a
    // request for a stopped handler is dropped. The latest relay and
    // unattended states are kept and handed to the handler at every start.
    void PostToHandler(std::unique_ptr<CMsg> msg);
    // Shows one TEL_NOTIFY; the caller keeps the message.
    void OnHandlerMsg(const CTelHandlerMsg& msg);

    CTelHandler& Handler() { return handler; }

private:
    void Status(const std::string& text);
    void Info(const std::string& text, bool popUp);
    void Remember(const CMsg& msg);
    void SendLatestState();

    CTelHandler handler;
    CDocumentHost* document = nullptr;
    std::map<int16_t, int32_t> relayStates;  // by relay index
    std::optional<int32_t> unattendedState;
};
