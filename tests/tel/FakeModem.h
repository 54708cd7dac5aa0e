#pragma once
// The telephone modem's end of the link, played on the master side of a
// pseudo-terminal. Its frame codec is written here from the wire format and
// shares no code with the station's ModemLink: a misreading of the format in
// one of them shows up as a failing exchange instead of passing unnoticed.
//
// A frame is: command; a length byte when bit 7 of the command is set; the
// body (that many bytes, or exactly two when bit 7 is clear); a checksum that
// is 0xFF XOR every byte before it.

#include "core/TickSource.h"
#include "support/Pty.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace fakemodem {

inline uint8_t Checksum(const std::vector<uint8_t>& bytes)
{
    uint8_t sum = 0xFF;
    for (uint8_t b : bytes)
        sum ^= b;
    return sum;
}

// The bytes of one frame: command, length byte (bit 7 set only), body, checksum.
inline std::vector<uint8_t> Frame(uint8_t command, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> bytes{command};
    if ((command & 0x80) != 0)
        bytes.push_back(static_cast<uint8_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    bytes.push_back(Checksum(bytes));
    return bytes;
}

// The same frame with its checksum spoiled.
inline std::vector<uint8_t> BadChecksumFrame(uint8_t command, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> bytes = Frame(command, body);
    bytes.back() ^= 0x01;
    return bytes;
}

// One frame the station sent, as the modem saw it.
struct StationFrame {
    std::vector<uint8_t> raw;  // every byte, checksum included
    uint8_t command = 0;
    std::vector<uint8_t> body;  // status byte first
    bool checksumOk = false;
    uint32_t tick = 0;  // GetTickCount() when it was complete

    uint8_t Status() const { return body.empty() ? 0 : body[0]; }
};

// Cuts the station's byte stream into frames. A pause of 100 ms inside a
// frame drops the unfinished part.
class StationFrameDecoder {
public:
    std::optional<StationFrame> Feed(uint8_t b)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!pending.empty() && now - lastByte > std::chrono::milliseconds(100))
            pending.clear();
        lastByte = now;
        pending.push_back(b);

        std::size_t total = 0;
        if ((pending[0] & 0x80) == 0)
            total = 1 + 2 + 1;
        else if (pending.size() >= 2)
            total = 2 + pending[1] + 1;
        if (total == 0 || pending.size() < total)
            return std::nullopt;

        StationFrame f;
        f.raw = pending;
        f.command = pending[0];
        const std::size_t bodyStart = (f.command & 0x80) != 0 ? 2 : 1;
        f.body.assign(pending.begin() + static_cast<long>(bodyStart), pending.end() - 1);
        f.checksumOk = Checksum({pending.begin(), pending.end() - 1}) == pending.back();
        pending.clear();
        return f;
    }

private:
    std::vector<uint8_t> pending;
    std::chrono::steady_clock::time_point lastByte{};
};

// What the modem does about one station frame.
struct Reply {
    std::vector<uint8_t> bytes;  // sent back at once; empty: stay silent
    bool hangUp = false;         // close the line instead of answering
};

// Decides the reply to the station's frame number `index` (0-based, counting
// every frame of this modem's life).
using Script = std::function<Reply(const StationFrame& frame, std::size_t index)>;

// Runs the modem on its own thread for its lifetime. The Pty must outlive it.
class FakeModem {
public:
    FakeModem(Pty& line, Script answer) : pty(line), script(std::move(answer))
    {
        worker = std::thread([this] { Run(); });
    }
    ~FakeModem()
    {
        stop = true;
        worker.join();
    }
    FakeModem(const FakeModem&) = delete;
    FakeModem& operator=(const FakeModem&) = delete;

    std::vector<StationFrame> Frames() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return frames;
    }

    // Waits until the frames seen so far satisfy `done`.
    bool WaitFor(const std::function<bool(const std::vector<StationFrame>&)>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return done(frames); });
    }
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        return WaitFor([count](const auto& seen) { return seen.size() >= count; }, limit);
    }

private:
    void Run()
    {
        StationFrameDecoder decoder;
        while (!stop) {
            if (hungUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            pollfd p{pty.Master(), POLLIN, 0};
            if (poll(&p, 1, 10) <= 0)
                continue;
            uint8_t buf[256];
            const ssize_t n = read(pty.Master(), buf, sizeof buf);
            if (n <= 0) {
                // EIO while the station has the line closed.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            for (ssize_t i = 0; i < n && !hungUp; ++i) {
                std::optional<StationFrame> frame = decoder.Feed(buf[i]);
                if (frame)
                    Answer(std::move(*frame));
            }
        }
    }

    void Answer(StationFrame frame)
    {
        frame.tick = GetTickCount();
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            index = frames.size();
            frames.push_back(frame);
        }
        changed.notify_all();

        const Reply reply = script(frame, index);
        if (reply.hangUp) {
            pty.CloseMaster();
            hungUp = true;
            return;
        }
        Write(reply.bytes);
    }

    void Write(const std::vector<uint8_t>& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size() && !stop) {
            const ssize_t n = write(pty.Master(), bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{pty.Master(), POLLOUT, 0};
                poll(&p, 1, 10);
            } else {
                return;
            }
        }
    }

    Pty& pty;
    Script script;
    std::atomic<bool> stop{false};
    std::atomic<bool> hungUp{false};
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<StationFrame> frames;
    std::thread worker;
};

}  // namespace fakemodem
