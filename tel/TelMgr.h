#pragma once
// The user-interface side of the telephone line: starts and stops the
// telephone handler with the current settings, lets the operator pick another
// serial port when the configured one does not open, passes requests to the
// handler and turns its notifications into the telephone pane and lines of
// the system information panel.

#include "core/DocumentHost.h"
#include "tel/TelHandler.h"
#include "tel/TelHandlerMsg.h"

#include <memory>

class CTelMgr {
public:
    CTelMgr();

    void SetDocument(CDocumentHost* doc) { document = doc; }
    // Starts the handler with the relay as its owner; always 1, so the start
    // chain goes on whatever happened to the telephone line.
    int Start(CMsgReceiver* relay);
    int16_t Stop();
    // Ownership passes to the handler's queue.
    void PostToHandler(std::unique_ptr<CMsg> msg);
    // Shows one TEL_NOTIFY; the caller keeps the message.
    void OnHandlerMsg(const CTelHandlerMsg& msg);

    CTelHandler& Handler() { return handler; }

private:
    void Status(const std::string& text);
    void Info(const std::string& text, bool popUp);

    CTelHandler handler;
    CDocumentHost* document = nullptr;
};
