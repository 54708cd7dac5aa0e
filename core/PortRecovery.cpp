#include "core/PortRecovery.h"

#include "core/Handler.h"
#include "core/TextLookup.h"

#include <optional>

void StartWithPortRecovery(CDocumentHost& document, int16_t& port, int32_t& enabled,
                           const std::function<int16_t()>& start, const std::function<void(const std::string&)>& status,
                           const PortRecoveryTexts& texts)
{
    for (;;) {
        const int16_t result = start();
        if (result == HNDRET_STARTED)
            return;
        if (result != HNDRET_START_FAILED) {
            document.Screen().ShowMessage(LookupText(texts.startErrorKey), texts.startErrorIcon);
            return;
        }
        document.Screen().Beep(BeepKind::Exclamation);
        const std::optional<int16_t> chosen = document.Screen().SelectComPort(LookupText(texts.portErrorKey), port);
        if (!chosen) {
            enabled = 0;
            document.SaveSettings();
            status(LookupText(texts.disabledKey));
            return;
        }
        port = *chosen;
        document.SaveSettings();
    }
}
