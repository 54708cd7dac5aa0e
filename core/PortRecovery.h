#pragma once
// The start of a modem's handler when its serial port may not open: the
// operator is asked for another port (the choice is saved and the start
// tried again) or, on Cancel, the modem is switched off and that is saved.
// Shared by the telephone and GSM managers, each with its own texts.

#include "core/DocumentHost.h"

#include <cstdint>
#include <functional>
#include <string>

struct PortRecoveryTexts {
    const char* portErrorKey;   // caption of the port dialog
    const char* disabledKey;    // status text after Cancel
    const char* startErrorKey;  // message when the start failed otherwise
    MessageIcon startErrorIcon;
};

// start configures the handler from the settings and starts it (HNDRET_*);
// status writes the manager's status pane. port and enabled are the
// manager's settings, changed and saved as the operator decides.
void StartWithPortRecovery(CDocumentHost& document, int16_t& port, int32_t& enabled,
                           const std::function<int16_t()>& start, const std::function<void(const std::string&)>& status,
                           const PortRecoveryTexts& texts);
