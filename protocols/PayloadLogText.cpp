#include "protocols/PayloadLogText.h"

#include <cstdio>

std::string PayloadLogText(const CComMsg& frame, int count, LogBase base)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        char buf[8];
        const unsigned value = frame.GetPayload(i);
        switch (base) {
        case LogBase::Decimal:
            std::snprintf(buf, sizeof buf, "%u ", value);
            break;
        case LogBase::Hex:
            std::snprintf(buf, sizeof buf, "%X ", value);
            break;
        }
        text += buf;
    }
    return text;
}
