#pragma once
// The telephone handler as the incoming-call manager sees it: status bits the
// test sets, line control that answers at once, and a record of the requests.

#include "core/TickSource.h"
#include "protocols/TelLine.h"

#include <cstdint>
#include <memory>
#include <vector>

class FakeTelLine : public CTelLine {
public:
    struct LineCall {
        bool on;
        uint32_t tick;
    };

    // LineControl answers with this at once; on OK the line follows the request.
    int16_t lineResult = TELHND_LCRET_OK;
    std::vector<LineCall> lineCalls;
    std::vector<bool> voiceCallNotify;

    bool ring = false;
    bool handset = false;
    bool connected = false;
    bool busy = false;
    bool comTimeout = false;

    int16_t LineControl(bool on) override
    {
        lineCalls.push_back({on, GetTickCount()});
        if (lineResult == TELHND_LCRET_OK)
            connected = on;
        return lineResult;
    }
    int16_t SendReceive(int16_t, int16_t, std::unique_ptr<CTelHandlerMsg>&) override { return TELHND_SRRET_COM_ERROR; }
    int16_t SendData(const CBufferMsg&) override { return TELHND_SDRET_COM_ERROR; }
    void VoiceCallNotify(bool on) override { voiceCallNotify.push_back(on); }

    bool IsRing() const override { return ring; }
    bool IsHandsetOffHook() const override { return handset; }
    bool IsConnected() const override { return connected; }
    bool IsBusy() const override { return busy; }
    bool IsComTimeout() const override { return comTimeout; }
};
