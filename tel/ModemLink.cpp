#include "tel/ModemLink.h"

#include "core/TickSource.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr uint8_t kLengthFollows = 0x80;  // bit 7 of the command: a length byte follows
constexpr int kMaxDiscard = 256;          // bytes thrown away by one flush
constexpr int16_t kMaxBodyLength = 255;   // what one length byte can announce

}  // namespace

int16_t ModemLink::Open(int16_t portNumber, int32_t baud)
{
    port.SetPortNumber(portNumber);
    port.SetBaudRate(baud);
    fixedLength = kFixedLength;
    rxState = RX_COMMAND;
    return port.Open() == COMRET_OK ? LNKRET_OPEN_OK : LNKRET_OPEN_FAILED;
}

void ModemLink::Close()
{
    port.Close();
    rxState = RX_COMMAND;
}

int16_t ModemLink::SendFrame(const uint8_t* buffer, int16_t length)
{
    // A body the length byte cannot announce would put the modem out of step
    // with every following frame; such a frame is not sent at all.
    if (buffer == nullptr || length < 0 || length > kMaxBodyLength)
        return LNKRET_SEND_ERROR;

    // The whole frame goes to the driver in one write.
    uint8_t frame[kFrameBufferSize + 2] = {};
    std::size_t count = 0;
    const uint8_t command = buffer[0];
    frame[count++] = command;
    int16_t bodyLength = fixedLength;
    if ((command & kLengthFollows) != 0) {
        frame[count++] = static_cast<uint8_t>(length);
        bodyLength = length;
    }
    for (int16_t i = 1; i <= bodyLength; ++i)
        frame[count++] = buffer[i];
    uint8_t sum = 0xFF;
    for (std::size_t i = 0; i < count; ++i)
        sum ^= frame[i];
    frame[count++] = sum;
    return port.Write(frame, count) == 0 ? LNKRET_SENT : LNKRET_SEND_ERROR;
}

void ModemLink::DiscardWaiting()
{
    uint8_t b = 0;
    for (int i = 0; i < kMaxDiscard && port.ReadByte(b) == 1; ++i) {
    }
}

void ModemLink::Flush()
{
    DiscardWaiting();
    rxState = RX_COMMAND;
}

int16_t ModemLink::Poll(uint8_t* buffer, int16_t& outLength)
{
    bool idle = false;
    const int16_t result = Step(buffer, outLength, idle);
    if (idle)
        port.WaitReadable(1);
    return result;
}

int16_t ModemLink::ReceiveFrame(uint8_t* buffer, int16_t& outLength, uint32_t timeoutMs)
{
    const uint32_t start = GetTickCount();
    for (;;) {
        bool idle = false;
        const int16_t result = Step(buffer, outLength, idle);
        if (result != LNKRET_PENDING)
            return result;
        const uint32_t waited = GetTickCount() - start;
        if (waited >= timeoutMs)
            return LNKRET_TIMEOUT;
        // A byte was taken: look again at once. The line is quiet: sleep
        // until a byte comes, the time-out, or (inside a frame) the gap
        // that ends the frame.
        if (idle)
            port.WaitReadable(QuietWaitMs(timeoutMs - waited));
    }
}

uint32_t ModemLink::QuietWaitMs(uint32_t leftMs) const
{
    if (rxState == RX_COMMAND)
        return leftMs;
    const uint32_t sinceByte = GetTickCount() - lastByteTime;
    const uint32_t toGap = sinceByte >= kInterByteGapMs ? 0 : kInterByteGapMs - sinceByte;
    return std::min(leftMs, toGap);
}

int16_t ModemLink::Step(uint8_t* buffer, int16_t& outLength, bool& idle)
{
    const uint32_t now = GetTickCount();

    // The modem sends a frame in one go; a pause inside one means the rest
    // was lost. Whatever is waiting after the pause belongs to that broken
    // frame too, so it goes as well and the next byte starts a new frame.
    if (rxState != RX_COMMAND && now - lastByteTime >= kInterByteGapMs) {
        DiscardWaiting();
        rxState = RX_COMMAND;
    }

    uint8_t b = 0;
    const int read = port.ReadByte(b);
    if (read == 2)
        return LNKRET_READ_ERROR;
    if (read != 1) {
        idle = true;
        return LNKRET_PENDING;
    }

    switch (rxState) {
    case RX_COMMAND:
        storedCount = 0;
        bodyCount = 0;
        checksum = 0xFF;
        buffer[storedCount++] = b;
        checksum ^= b;
        if ((b & kLengthFollows) != 0) {
            rxState = RX_LENGTH;
        } else {
            expectedLength = fixedLength;
            rxState = expectedLength > 0 ? RX_BODY : RX_CHECKSUM;
        }
        break;

    case RX_LENGTH:
        expectedLength = b;
        checksum ^= b;
        rxState = expectedLength > 0 ? RX_BODY : RX_CHECKSUM;
        break;

    case RX_BODY:
        buffer[storedCount++] = b;
        checksum ^= b;
        if (++bodyCount >= expectedLength)
            rxState = RX_CHECKSUM;
        break;

    case RX_CHECKSUM:
    default:
        rxState = RX_COMMAND;
        if (b == checksum) {
            outLength = expectedLength;
            return LNKRET_RECEIVED;
        }
        outLength = 0;
        return LNKRET_CHECKSUM_ERROR;
    }

    lastByteTime = now;
    return LNKRET_PENDING;
}
