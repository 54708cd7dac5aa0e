#pragma once
// A telephone handler stand-in for the protocol tests. SendReceive and
// SendData answer from a script (an empty script keeps them pending) and
// record every request they start, with the tick at which it started; a
// request runs, like the handler's, until a final result. ProtocolLog reads
// back what the protocols wrote to the telephone log.

#include "core/LogFile.h"
#include "core/TickSource.h"
#include "protocols/TelLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

class FakeTelLine : public CTelLine {
public:
    struct Request {
        int16_t kind;
        int16_t value;
    };
    struct SentData {
        std::vector<uint8_t> bytes;
        uint32_t tick;
    };

    // The next SendReceive result; on TELHND_SRRET_RECEIVE_OK, msg is handed out.
    void Answer(int16_t result, std::unique_ptr<CTelHandlerMsg> msg = nullptr)
    {
        receiveScript.push_back({result, std::move(msg)});
    }
    void Answer(std::unique_ptr<CTelHandlerMsg> msg) { Answer(TELHND_SRRET_RECEIVE_OK, std::move(msg)); }
    // The next SendData result.
    void DataResult(int16_t result) { dataScript.push_back(result); }

    bool ScriptUsedUp() const { return receiveScript.empty() && dataScript.empty(); }

    int16_t SendReceive(int16_t kind, int16_t value, std::unique_ptr<CTelHandlerMsg>& out) override
    {
        if (!receiveRunning) {
            requests.push_back({kind, value});
            receiveRunning = true;
        }
        if (receiveScript.empty())
            return TELHND_SRRET_PENDING;
        Scripted step = std::move(receiveScript.front());
        receiveScript.pop_front();
        if (step.result == TELHND_SRRET_RECEIVE_OK)
            out = std::move(step.msg);
        // Intermediate reports keep the request running, as in the handler.
        const bool intermediate = step.result == TELHND_SRRET_PENDING || step.result == TELHND_SRRET_MSG_TIMEOUT ||
                                  step.result == TELHND_SRRET_CHECKSUM_ERROR ||
                                  step.result == TELHND_SRRET_TIMING_ERROR;
        if (!intermediate)
            receiveRunning = false;
        return step.result;
    }

    int16_t SendData(const CBufferMsg& data) override
    {
        if (!dataRunning) {
            sent.push_back({std::vector<uint8_t>(data.data.begin(), data.data.begin() + data.length), GetTickCount()});
            dataRunning = true;
        }
        if (dataScript.empty())
            return TELHND_SDRET_PENDING;
        const int16_t result = dataScript.front();
        dataScript.pop_front();
        if (result != TELHND_SDRET_PENDING)
            dataRunning = false;
        return result;
    }

    int16_t LineControl(bool) override { return TELHND_LCRET_OK; }
    void VoiceCallNotify(bool) override {}
    bool IsRing() const override { return false; }
    bool IsHandsetOffHook() const override { return false; }
    bool IsConnected() const override { return true; }
    bool IsBusy() const override { return false; }
    bool IsComTimeout() const override { return false; }

    std::vector<Request> requests;
    std::vector<SentData> sent;

private:
    struct Scripted {
        int16_t result;
        std::unique_ptr<CTelHandlerMsg> msg;
    };
    std::deque<Scripted> receiveScript;
    std::deque<int16_t> dataScript;
    bool receiveRunning = false;
    bool dataRunning = false;
};

inline bool operator==(const FakeTelLine::Request& a, const FakeTelLine::Request& b)
{
    return a.kind == b.kind && a.value == b.value;
}
inline std::ostream& operator<<(std::ostream& os, const FakeTelLine::Request& r)
{
    return os << "{kind " << r.kind << ", value " << r.value << "}";
}

// Calls step until it returns a final (non-zero) result; 0 after maxSteps
// busy calls, with a test failure.
inline int16_t RunToResult(const std::function<int16_t()>& step, int maxSteps = 200)
{
    for (int i = 0; i < maxSteps; ++i) {
        if (const int16_t result = step())
            return result;
    }
    ADD_FAILURE() << "still busy after " << maxSteps << " calls";
    return 0;
}

// The telephone log of one test, read back oldest line first and without
// time stamps. The test must work in a scratch folder.
class ProtocolLog {
public:
    CLogFile* File() { return &file; }

    std::vector<std::string> Lines() const
    {
        static const std::regex stamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3}: )");
        std::vector<std::string> lines;
        std::ifstream in(file.LogPath());
        for (std::string line; std::getline(in, line);)
            lines.insert(lines.begin(), std::regex_replace(line, stamp, ""));
        return lines;
    }
    // The lines written with the given source, without the source prefix.
    std::vector<std::string> Texts(const std::string& source) const
    {
        std::vector<std::string> texts;
        const std::string prefix = source + ": ";
        for (const std::string& line : Lines()) {
            if (line.rfind(prefix, 0) == 0)
                texts.push_back(line.substr(prefix.size()));
        }
        return texts;
    }

private:
    CLogFile file{"TelHandler", 1000};
};
