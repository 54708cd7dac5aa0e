#pragma once
// The modem link thread. It owns the serial link to the telephone modem and
// keeps the master/slave exchange going: one frame out, one answer back, a
// poll whenever nothing else waits. It resends lost exchanges, acknowledges
// the modem's messages, measures reply times and reports the modem's status,
// values, caller identification and message frames to its owner (the
// telephone handler) as CComMsg messages.

#include "core/Handler.h"
#include "core/LogFile.h"
#include "core/MsgQueue.h"
#include "messages/ComMsg.h"
#include "tel/ModemLink.h"

#include <cstdint>
#include <memory>
#include <string>

// Link states.
constexpr int16_t TCH_ST_SELECT = 0;   // choose the next frame
constexpr int16_t TCH_ST_SEND = 1;     // write it
constexpr int16_t TCH_ST_RECEIVE = 2;  // wait for the answer
constexpr int16_t TCH_ST_RETRY = 3;    // count a failed attempt
constexpr int16_t TCH_ST_HALTED = 4;   // link given up until the thread is stopped

class CTelComHandler : public CHandler {
public:
    static constexpr const char* kLogName = "TelComHandler";
    static constexpr int16_t kLogLines = 1000;
    static constexpr uint32_t kReplyTimeoutMs = 180;  // the modem answers well within this
    static constexpr uint32_t kAnswerPauseMs = 35;    // pause after every answer
    static constexpr uint32_t kBackOffMs = 2000;      // pause after an abandoned exchange
    static constexpr int16_t kMaxAttempts = 5;        // sends of one frame before it is abandoned
    static constexpr int16_t kMaxInvalidAnswers = 3;  // invalid commands in a row that halt the link

    CTelComHandler() = default;
    ~CTelComHandler() override;

    // Used by the next Start.
    void SetPort(int16_t port, int32_t baud);

protected:
    void ThreadMain() override;
    const char* ThreadName() const override { return "TelComHandler"; }

private:
    void ResetRun();
    void StepSelect();
    void StepSend();
    void StepReceive();
    void StepRetry();

    void TakeInput(std::unique_ptr<CMsg> msg);
    void HandleAnswer(int16_t bodyLength);
    void RejectInvalidCommand(uint8_t command);
    void ReportPollAnswer(int16_t bodyLength);
    void ForwardFrame(int16_t bodyLength);
    void MeasureReplyTime();
    void PauseAfterAbort();
    void Post(uint16_t type);
    void Post(std::unique_ptr<CComMsg> msg);
    void LogText(const char* text);

    int16_t portNumber = 1;
    int32_t baudRate = 9600;
    ModemLink link;
    std::unique_ptr<CLogFile> log;

    // Private to the link thread; set up afresh by every run.
    int16_t linkState = TCH_ST_SELECT;
    CMsgQueue sendQueue;                    // LNK_SEND frames waiting
    std::unique_ptr<CComMsg> currentFrame;  // the frame being exchanged
    std::unique_ptr<CComMsg> receiveBuffer;
    int16_t attempts = 0;
    bool ackPending = false;  // the next frame acknowledges a modem message
    bool expectAck = false;   // the answer must carry STATUS_TXACK
    uint8_t lastReportedStatus = 0xFF;
    int16_t lastReportedValue = 0;
    uint8_t modemStatus = 0;  // last status without STATUS_TXACK, for the busy test
    int16_t invalidAnswers = 0;
    int16_t abandonedExchanges = 0;
    uint32_t sendTime = 0;
    uint32_t maxReplyTime = 0;
    uint32_t replyTimeSum = 0;
    uint32_t replyTimeCount = 0;
    uint32_t averageReplyTime = 0;
};
