#include "tel/TelComHandler.h"

#include "core/ThreadPriority.h"
#include "core/TickSource.h"
#include "core/Version.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kSource = "CTelComHandler::ThreadMain";

// Reply times are summed until the sum would come within 1000 ms of the top
// of 32 bits; then the statistics start again.
constexpr uint64_t kReplySumLimit = 4294966295ull;

// The back-off is slept in slices so that a Stop during it is answered in time.
constexpr uint32_t kBackOffSliceMs = 50;
constexpr uint32_t kHaltedPassMs = 10;

// Commands the modem may send.
bool ValidModemCommand(uint8_t command)
{
    return command >= CMD_FIRST_VALID && command <= CMD_LAST_VALID;
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...)
{
    char buf[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

}  // namespace

CTelComHandler::~CTelComHandler()
{
    EndThread();
}

void CTelComHandler::SetPort(int16_t port, int32_t baud)
{
    portNumber = port;
    baudRate = baud;
}

void CTelComHandler::LogText(const char* text)
{
    log->Log(kSource, text);
}

void CTelComHandler::Post(uint16_t type)
{
    Post(std::make_unique<CComMsg>(type));
}

void CTelComHandler::Post(std::unique_ptr<CComMsg> msg)
{
    PostMsg(GetOwner(), std::move(msg));
}

void CTelComHandler::ResetRun()
{
    linkState = TCH_ST_SELECT;
    currentFrame.reset();
    receiveBuffer.reset();
    attempts = 0;
    ackPending = false;
    expectAck = false;
    lastReportedStatus = 0xFF;  // the first answer is always reported
    lastReportedValue = 0;
    modemStatus = 0;
    invalidAnswers = 0;
    abandonedExchanges = 0;
    sendTime = 0;
    maxReplyTime = 0;
    replyTimeSum = 0;
    replyTimeCount = 0;
    averageReplyTime = 0;
}

void CTelComHandler::ThreadMain()
{
    log = std::make_unique<CLogFile>(kLogName, kLogLines);
    log->SetBackgroundWriting(true);  // a received frame is handed on before its line is on the disk
    ResetRun();

    if (link.Open(portNumber, baudRate) != LNKRET_OPEN_OK) {
        SetRun(0);
        log.reset();
        SetStatus(HNDRET_START_FAILED);
        return;
    }
    // The raised priority keeps the exchange timing under load. An
    // unprivileged process may not raise it; the link works at normal
    // priority too, so that is noted and the link runs: refusing to start
    // would leave the station deaf to alarms.
    const bool raised = RaiseThreadPriority();
    const int raiseError = errno;

    SetStatus(HNDRET_STARTED);
    LogText((std::string("Startup - Ver. ") + kProductVersion).c_str());
    if (!raised)
        log->WriteLine(Format("%s: Thread priority not raised (%s), running at normal priority", kSource,
                              std::strerror(raiseError)));

    while (IsRunning() == 1) {
        switch (linkState) {
        case TCH_ST_SELECT:
            StepSelect();
            break;
        case TCH_ST_SEND:
            StepSend();
            break;
        case TCH_ST_RECEIVE:
            StepReceive();
            break;
        case TCH_ST_RETRY:
            StepRetry();
            break;
        case TCH_ST_HALTED:
        default:
            // Nothing more goes to the modem on this run: drop what comes
            // instead of piling it up until the thread ends.
            while (GetMsg()) {
            }
            SleepMs(kHaltedPassMs);
            break;
        }
    }

    link.Close();
    receiveBuffer.reset();
    currentFrame.reset();
    // Frames queued for this run must not be sent by a later one.
    while (sendQueue.Get()) {
    }
    log->WriteLine(Format("%s: Shutdown - Max Reply Time: %u ms, Average Reply Time: %u ms", kSource, maxReplyTime,
                          averageReplyTime));
    log.reset();
    SetStatus(HNDRET_STOPPED);
}

void CTelComHandler::TakeInput(std::unique_ptr<CMsg> msg)
{
    std::unique_ptr<CComMsg> frame = msg->GetType() == LNK_SEND ? MsgCast<CComMsg>(msg) : nullptr;
    if (!frame) {
        LogText("Unknown Message");
        return;
    }

    // The length byte announces status byte plus payload; a payload that
    // does not fit in one frame is refused here rather than sent garbled.
    if (frame->GetLength() < 0 || frame->GetLength() > CComMsg::kMaxPayload) {
        log->WriteLine(
            Format("%s: Invalid TX frame length: %d, discarded", kSource, static_cast<int>(frame->GetLength())));
        return;
    }
    // 0x8C goes out ahead of everything queued, even while the modem is busy.
    if (frame->GetCommand() == CMD_PRIORITY && !currentFrame)
        currentFrame = std::move(frame);
    else
        sendQueue.Add(std::move(frame));
}

void CTelComHandler::StepSelect()
{
    if (std::unique_ptr<CMsg> msg = GetMsg())
        TakeInput(std::move(msg));

    // Queued frames wait while the modem is busy and while a modem message
    // still has to be acknowledged (the acknowledge rides on a poll).
    if (!currentFrame && (modemStatus & STATUS_BUSY) == 0 && !ackPending && !sendQueue.IsEmpty()) {
        // Only frames that TakeInput checked are queued.
        std::unique_ptr<CMsg> queued = sendQueue.Get();
        currentFrame = MsgCast<CComMsg>(queued);
    }

    if (!currentFrame) {
        currentFrame = std::make_unique<CComMsg>(LNK_SEND);
        currentFrame->SetCommand(CMD_POLL);
    }
    attempts = 0;
    linkState = TCH_ST_SEND;
}

void CTelComHandler::StepSend()
{
    if (currentFrame->GetCommand() != CMD_POLL)
        expectAck = true;
    if (ackPending) {
        currentFrame->SetStatusByte(currentFrame->GetStatusByte() | STATUS_ACK_MESSAGE);
        ackPending = false;
    }

    link.Flush();
    const auto bodyLength = static_cast<int16_t>(currentFrame->GetLength() + 1);
    if (link.SendFrame(currentFrame->data.data(), bodyLength) == LNKRET_SENT) {
        sendTime = GetTickCount();
        linkState = TCH_ST_RECEIVE;
    } else {
        Post(LNK_SEND_ERROR);
        linkState = TCH_ST_HALTED;
    }
}

void CTelComHandler::StepReceive()
{
    receiveBuffer = std::make_unique<CComMsg>(LNK_FRAME);
    int16_t bodyLength = 0;
    switch (link.ReceiveFrame(receiveBuffer->data.data(), bodyLength, kReplyTimeoutMs)) {
    case LNKRET_RECEIVED:
        HandleAnswer(bodyLength);
        break;
    case LNKRET_READ_ERROR:
        LogText("Serial Rx Error");
        receiveBuffer.reset();
        currentFrame.reset();
        Post(LNK_ERROR);
        linkState = TCH_ST_HALTED;
        break;
    default:  // time-out or checksum error
        linkState = TCH_ST_RETRY;
        break;
    }
}

void CTelComHandler::HandleAnswer(int16_t bodyLength)
{
    if (abandonedExchanges != 0) {
        LogText("Communication restored after timeout");
        abandonedExchanges = 0;
    }
    MeasureReplyTime();

    const uint8_t command = receiveBuffer->GetCommand();
    if (!ValidModemCommand(command)) {
        RejectInvalidCommand(command);
        return;
    }
    invalidAnswers = 0;

    uint8_t statusByte = receiveBuffer->GetStatusByte();
    if ((statusByte & STATUS_ICT_ERROR) != 0) {
        LogText("RX: - Modem ICT Error!");
        statusByte &= static_cast<uint8_t>(~STATUS_ICT_ERROR);
    }

    if (command == CMD_POLL)
        ReportPollAnswer(bodyLength);
    else
        ForwardFrame(bodyLength);

    if (statusByte != lastReportedStatus) {
        auto msg = std::make_unique<CComMsg>(LNK_STATUS);
        msg->SetStatusByte(statusByte);
        Post(std::move(msg));
        lastReportedStatus = statusByte;
    }

    bool failed = false;
    if (expectAck && (statusByte & STATUS_TXACK) == 0) {
        LogText("RX: - TxAck Error!");
        failed = true;
    }
    expectAck = false;
    modemStatus = statusByte & static_cast<uint8_t>(~STATUS_TXACK);

    if (failed) {
        linkState = TCH_ST_RETRY;
    } else {
        currentFrame.reset();
        linkState = TCH_ST_SELECT;
    }
    SleepMs(kAnswerPauseMs);
}

void CTelComHandler::RejectInvalidCommand(uint8_t command)
{
    receiveBuffer.reset();
    ++invalidAnswers;
    if (invalidAnswers < kMaxInvalidAnswers) {
        log->WriteLine(Format("%s: Invalid RX command: %u, retrying: %d", kSource, static_cast<unsigned>(command),
                              static_cast<int>(invalidAnswers)));
        SleepMs(kAnswerPauseMs);
        linkState = TCH_ST_SEND;
        return;
    }
    log->WriteLine(Format("%s: Invalid RX command: %u, Aborting", kSource, static_cast<unsigned>(command)));
    currentFrame.reset();
    Post(LNK_ERROR);
    linkState = TCH_ST_HALTED;
}

void CTelComHandler::ReportPollAnswer(int16_t bodyLength)
{
    // Body: status byte, then either one value byte, or a 0 and the caller's number.
    if (bodyLength == 2) {
        const int16_t value = receiveBuffer->GetPayload(0);
        if (value != lastReportedValue) {
            auto msg = std::make_unique<CComMsg>(LNK_VALUE);
            msg->value = value;
            Post(std::move(msg));
            lastReportedValue = value;
        }
    } else if (bodyLength > 2 && receiveBuffer->GetPayload(0) == 0) {
        auto msg = std::make_unique<CComMsg>(LNK_CALLER_ID);
        for (int i = 1; i <= bodyLength - 2; ++i) {
            const auto c = static_cast<char>(receiveBuffer->GetPayload(i));
            if (c != '"')
                msg->text += c;
        }
        Post(std::move(msg));
    }
    receiveBuffer.reset();
}

void CTelComHandler::ForwardFrame(int16_t bodyLength)
{
    ackPending = true;
    // A frame without even a status byte carries no payload; its length must
    // not go negative for the code that copies it.
    receiveBuffer->SetLength(static_cast<int16_t>(std::max(bodyLength - 1, 0)));
    Post(std::move(receiveBuffer));
}

void CTelComHandler::MeasureReplyTime()
{
    const uint32_t replyTime = GetTickCount() - sendTime;
    if (replyTime > maxReplyTime) {
        maxReplyTime = replyTime;
        log->WriteLine(Format("%s: MaxReplyTime updated, time: %u", kSource, replyTime));
    }
    if (static_cast<uint64_t>(replyTimeSum) + replyTime < kReplySumLimit) {
        ++replyTimeCount;
        replyTimeSum += replyTime;
        averageReplyTime = replyTimeSum / replyTimeCount;
    } else {
        log->WriteLine(Format("%s: ReplyTime handling restarted, Max Reply Time: %u ms, Average Reply Time: %u ms",
                              kSource, maxReplyTime, averageReplyTime));
        replyTimeSum = 0;
        replyTimeCount = 0;
        averageReplyTime = 0;
    }
}

void CTelComHandler::StepRetry()
{
    receiveBuffer.reset();
    ++attempts;
    // After five abandoned exchanges in a row the modem is plainly gone; the
    // log stays quiet until it answers again instead of filling with retries.
    const bool quiet = abandonedExchanges >= kMaxAttempts;
    if (attempts < kMaxAttempts) {
        if (!quiet)
            log->WriteLine(Format("%s: Reply Timeout, retrying: %d", kSource, static_cast<int>(attempts)));
        linkState = TCH_ST_SEND;
        return;
    }
    if (!quiet) {
        LogText("Reply Timeout, Aborting");
        ++abandonedExchanges;
    }
    currentFrame.reset();
    Post(LNK_TIMEOUT);
    ackPending = false;
    expectAck = false;
    lastReportedStatus = 0xFF;  // report the next answer whatever it says
    PauseAfterAbort();
    linkState = TCH_ST_SELECT;
}

void CTelComHandler::PauseAfterAbort()
{
    for (uint32_t slept = 0; slept < kBackOffMs && IsRunning() == 1; slept += kBackOffSliceMs)
        SleepMs(std::min(kBackOffSliceMs, kBackOffMs - slept));
}
