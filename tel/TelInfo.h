#pragma once
// Converts the telephone handler's requests (CTelMsg) into link frames for the
// modem and the modem's answer frames back into answers. The alarm data inside
// answer frames is decoded by the CPC and P100 codecs, which this converter owns.

#include "core/LogFile.h"
#include "core/MsgReceiver.h"
#include "messages/ComMsg.h"
#include "messages/TelHandlerMsg.h"
#include "protocols/CpcInfo.h"
#include "protocols/P100Info.h"
#include "tel/TelMsg.h"

#include <memory>

class CTelInfo {
public:
    CTelInfo() = default;

    // link: where the frames go (the link thread's input queue); log: the
    // telephone log, also lent to both codecs. Neither is owned.
    void Init(CMsgReceiver* link, CLogFile* log);

    // Builds the LNK_SEND frame of the request and posts it to the link. A
    // request type without a frame is logged and dropped.
    void ConvertRequest(std::unique_ptr<CTelMsg> request);
    // The answer carried by an LNK_FRAME, or nothing for a frame that answers
    // no request (0x97 included) and for CPC data that does not decode.
    std::unique_ptr<CTelMsg> ConvertAnswer(const CComMsg& frame);
    // A P100 test frame decoded as if the modem had received it, or nothing.
    std::unique_ptr<CTelHandlerMsg> DecodeP100(const CComMsg& frame);

private:
    CMsgReceiver* link = nullptr;
    CLogFile* log = nullptr;
    CCpcInfo cpcInfo;
    CP100Info p100Info;
};
