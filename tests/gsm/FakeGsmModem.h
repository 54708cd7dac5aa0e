#pragma once
// A scripted GSM modem on the master side of a pseudo-terminal, written from
// the AT command descriptions (TS 27.005/27.007 text mode) and sharing no code
// with the station's AT layer. By default it is a well-behaved modem with a
// SIM without PIN, registered with full signal, an empty SMS store, and every
// SMS accepted; the test changes what it needs. Every command is recorded
// with the simulated time at which the station sent it.

#include "SimClock.h"
#include "support/Pty.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

class FakeGsmModem {
public:
    struct Command {
        // Without its line end; an SMS text as "TEXT:" and its bytes, one that
        // ESC ended as "CANCELLED:" and its bytes, an ESC outside it as "ESC".
        std::string text;
        uint32_t tick = 0;
    };
    struct SentSms {
        std::string number;
        std::string text;  // GSM alphabet bytes, without the Ctrl-Z
        uint32_t tick = 0;
    };
    struct Stored {
        int index = 0;
        std::string status = "REC UNREAD";
        std::string number;
        std::string date = "24/05/01";
        std::string time = "12:34:56+12";
        std::string text;  // GSM alphabet bytes
    };
    // What becomes of one AT+CMGS attempt.
    enum class Outcome {
        Sent,         // prompt, then +CMGS and OK
        Error,        // prompt, then ERROR after the text
        NoResult,     // prompt, then silence
        NoPrompt,     // the text input opens, but its prompt is lost
        PromptError,  // ERROR instead of the prompt
    };

    FakeGsmModem(Pty& line, SimClock& simClock) : pty(line), clock(simClock)
    {
        clock.SetSlaveProbe([this] { return pty.WaitingForSlave(); });
        clock.LineBack();
        worker = std::thread([this] { Run(); });
    }
    ~FakeGsmModem()
    {
        stop = true;
        worker.join();
        clock.SetSlaveProbe(nullptr);
        clock.CancelEvents();
    }
    FakeGsmModem(const FakeGsmModem&) = delete;
    FakeGsmModem& operator=(const FakeGsmModem&) = delete;

    // --- set-up ---

    void SetModel(const std::string& name)
    {
        Locked([&] { model = name; });
    }
    void RequirePin(const std::string& pin)
    {
        Locked([&] {
            simPin = pin;
            pinEntered = false;
        });
    }
    void SetRegistration(int stat)
    {
        Locked([&] { registration = stat; });
    }
    void SetRssi(int value)
    {
        Locked([&] { rssi = value; });
    }
    void Store(const Stored& sms)
    {
        Locked([&] { store[sms.index] = sms; });
    }
    // An SMS that reaches the store the moment the next SMS text has been sent.
    void StoreWhenSent(const Stored& sms)
    {
        Locked([&] { arriving.push_back(sms); });
    }
    // The outcomes of the next attempts, whatever their number.
    void SetOutcomes(std::vector<Outcome> outcomes)
    {
        Locked([&] { sendOutcomes.assign(outcomes.begin(), outcomes.end()); });
    }
    // The outcomes of the next attempts to one number; they go before those
    // of SetOutcomes.
    void SetOutcomesFor(const std::string& number, std::vector<Outcome> outcomes)
    {
        Locked([&] { numberOutcomes[number].assign(outcomes.begin(), outcomes.end()); });
    }
    // No answer to anything (a modem switched off, a cable pulled at its end).
    void SetSilent(bool on)
    {
        Locked([&] { silent = on; });
    }
    // Commands that begin with `prefix` are answered OK only `ms` later.
    void DelayOk(const std::string& prefix, uint32_t ms)
    {
        Locked([&] { delayedOk[prefix] = ms; });
    }
    // Answers instead of the defaults: a value is the reply (empty: silence).
    void SetScript(std::function<std::optional<std::string>(const std::string&)> answer)
    {
        Locked([&] { script = std::move(answer); });
    }
    // A call from `number` that rings `count` times, `everyMs` apart, the
    // first ring `firstMs` from now; it is listed by AT+CLCC while it rings.
    void Ring(const std::string& number, uint32_t firstMs, uint32_t everyMs, int count)
    {
        std::multiset<uint32_t> times;
        {
            std::lock_guard<std::mutex> guard(lock);
            const uint32_t start = clock.GetTickCount() + firstMs;
            caller = number;
            ringFrom = start;
            ringTo = start + everyMs * static_cast<uint32_t>(count - 1) + 1000;
            for (int i = 0; i < count; ++i) {
                const uint32_t at = start + everyMs * static_cast<uint32_t>(i);
                scheduled.emplace(at, "\r\nRING\r\n");
                times.insert(at);
            }
        }
        clock.ModemStep(0, 0, times);
    }
    // The modem goes away: the line hangs up.
    void HangUp()
    {
        std::unique_lock<std::mutex> guard(lock);
        hangUpWanted = true;
        changed.wait(guard, [&] { return hungUp; });
    }

    // --- what happened ---

    std::vector<Command> Commands() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return commands;
    }
    std::vector<Command> CommandsStartingWith(const std::string& prefix) const
    {
        std::vector<Command> found;
        for (const Command& c : Commands())
            if (c.text.compare(0, prefix.size(), prefix) == 0)
                found.push_back(c);
        return found;
    }
    std::vector<SentSms> Sent() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return sent;
    }
    bool IsStored(int index) const
    {
        std::lock_guard<std::mutex> guard(lock);
        return store.count(index) != 0;
    }
    // Waits (in real time) until the condition on the recorded commands holds.
    bool WaitFor(const std::function<bool(const std::vector<Command>&)>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return done(commands); });
    }
    bool WaitForCommands(const std::string& prefix, std::size_t count,
                         std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        return WaitFor(
            [&](const std::vector<Command>& seen) {
                return static_cast<std::size_t>(std::count_if(seen.begin(), seen.end(), [&](const Command& c) {
                           return c.text.compare(0, prefix.size(), prefix) == 0;
                       })) >= count;
            },
            limit);
    }

private:
    template <typename F>
    void Locked(F f)
    {
        std::lock_guard<std::mutex> guard(lock);
        f();
    }

    void Run()
    {
        while (!stop) {
            if (HandleHangUp())
                continue;
            RunDueEvents();
            pollfd p{pty.Master(), POLLIN, 0};
            if (poll(&p, 1, 1) <= 0)
                continue;
            char buf[512];
            const ssize_t n = read(pty.Master(), buf, sizeof buf);
            if (n <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            std::string reply;
            std::multiset<uint32_t> later;
            {
                std::lock_guard<std::mutex> guard(lock);
                for (ssize_t i = 0; i < n; ++i)
                    TakeByte(buf[i], reply, later);
            }
            pty.Send(reply);
            clock.ModemStep(static_cast<std::size_t>(n), reply.size(), later);
            changed.notify_all();
        }
    }

    bool HandleHangUp()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!hangUpWanted)
                return false;
            if (!hungUp) {
                clock.LineGone();
                pty.CloseMaster();
                hungUp = true;
                changed.notify_all();
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    void RunDueEvents()
    {
        for (;;) {
            uint32_t at = 0;
            std::string bytes;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (scheduled.empty() || scheduled.begin()->first > clock.GetTickCount())
                    return;
                at = scheduled.begin()->first;
                bytes = scheduled.begin()->second;
                scheduled.erase(scheduled.begin());
            }
            pty.Send(bytes);
            clock.EventDone(at, bytes.size());
        }
    }

    void TakeByte(char c, std::string& reply, std::multiset<uint32_t>& later)
    {
        // The LF that follows a command's CR belongs to the command line,
        // also when the command opened the text input.
        const bool lfOfCommand = afterCommandCr && c == '\n';
        afterCommandCr = false;
        if (lfOfCommand)
            return;
        // In the text input everything up to Ctrl-Z is text, command lines
        // included; ESC ends it without sending, answered OK.
        if (textMode) {
            if (c == '\x1a') {
                textMode = false;
                Answer("TEXT:" + text, reply, later);
            } else if (c == '\x1b') {
                textMode = false;
                commands.push_back({"CANCELLED:" + text, clock.GetTickCount()});
                if (!silent)
                    reply += "\r\nOK\r\n";
            } else {
                text += c;
            }
            return;
        }
        if (c == '\x1b') {
            // Outside the text input there is nothing to cancel.
            commands.push_back({"ESC", clock.GetTickCount()});
            return;
        }
        if (c == '\r') {
            if (!line.empty())
                Answer(line, reply, later);
            line.clear();
            afterCommandCr = true;
        } else if (c != '\n') {
            line += c;
        }
    }

    static bool Starts(const std::string& s, const std::string& prefix)
    {
        return s.compare(0, prefix.size(), prefix) == 0;
    }

    void Answer(const std::string& command, std::string& reply, std::multiset<uint32_t>& later)
    {
        const uint32_t now = clock.GetTickCount();
        commands.push_back({command, now});
        if (silent)
            return;
        if (script) {
            if (std::optional<std::string> scripted = script(command)) {
                reply += *scripted;
                if (Starts(command, "AT+CMGS=") && scripted->find('>') != std::string::npos)
                    StartText(command);
                return;
            }
        }
        for (const auto& [prefix, ms] : delayedOk) {
            if (Starts(command, prefix)) {
                scheduled.emplace(now + ms, "\r\nOK\r\n");
                later.insert(now + ms);
                return;
            }
        }
        reply += DefaultAnswer(command, now);
    }

    void StartText(const std::string& command)
    {
        textMode = true;
        text.clear();
        const std::size_t open = command.find('"');
        const std::size_t close = command.rfind('"');
        number = (open != std::string::npos && close > open) ? command.substr(open + 1, close - open - 1) : "";
    }

    std::string DefaultAnswer(const std::string& command, uint32_t now)
    {
        const std::string ok = "\r\nOK\r\n";
        const std::string error = "\r\nERROR\r\n";
        if (command == "AT" || command == "ATE0" || command == "AT+CMGF=1" || command == "AT+CSCS=\"GSM\"" ||
            command == "AT+CSDH=1" || Starts(command, "AT+WS46="))
            return ok;
        if (command == "AT+CGMM")
            return "\r\n" + model + "\r\n" + ok;
        if (command == "AT+CPIN?")
            return std::string("\r\n+CPIN: ") + (simPin.empty() || pinEntered ? "READY" : "SIM PIN") + "\r\n" + ok;
        if (Starts(command, "AT+CPIN=\"")) {
            const std::string pin = command.substr(9, command.size() > 10 ? command.size() - 10 : 0);
            if (simPin.empty() || pin != simPin)
                return error;
            pinEntered = true;
            return ok;
        }
        if (Starts(command, "AT+CPMS="))
            return "\r\n+CPMS: 0,30,0,30,0,30\r\n" + ok;
        if (command == "AT+CREG?")
            return "\r\n+CREG: 0," + std::to_string(registration) + "\r\n" + ok;
        if (command == "AT+CSQ")
            return "\r\n+CSQ: " + std::to_string(rssi) + ",99\r\n" + ok;
        if (command == "AT+CMGL=\"ALL\"")
            return Listing() + ok;
        if (Starts(command, "AT+CMGD=")) {
            store.erase(std::atoi(command.c_str() + 8));
            return ok;
        }
        if (Starts(command, "AT+CMGS=\""))
            return SendStart(command);
        if (Starts(command, "TEXT:"))
            return SendEnd(command.substr(5), now);
        if (command == "AT+CLCC") {
            if (!caller.empty() && now >= ringFrom && now <= ringTo)
                return "\r\n+CLCC: 1,1,4,0,0,\"" + caller + "\",129\r\n" + ok;
            return ok;
        }
        return error;
    }

    std::string Listing() const
    {
        std::string out;
        for (const auto& [index, sms] : store) {
            out += "\r\n+CMGL: " + std::to_string(index) + ",\"" + sms.status + "\",\"" + sms.number + "\",,\"" +
                   sms.date + "," + sms.time + "\",145," + std::to_string(sms.text.size()) + "\r\n" + sms.text;
        }
        return out.empty() ? out : out + "\r\n";
    }

    std::string SendStart(const std::string& command)
    {
        currentOutcome = Outcome::Sent;
        const std::size_t open = command.find('"');
        const std::size_t close = command.rfind('"');
        const std::string to = close > open ? command.substr(open + 1, close - open - 1) : "";
        auto own = numberOutcomes.find(to);
        if (own != numberOutcomes.end() && !own->second.empty()) {
            currentOutcome = own->second.front();
            own->second.pop_front();
        } else if (!sendOutcomes.empty()) {
            currentOutcome = sendOutcomes.front();
            sendOutcomes.pop_front();
        }
        if (currentOutcome == Outcome::NoPrompt) {
            StartText(command);
            return {};
        }
        if (currentOutcome == Outcome::PromptError)
            return "\r\nERROR\r\n";
        StartText(command);
        return "\r\n> ";
    }

    std::string SendEnd(const std::string& body, uint32_t now)
    {
        sent.push_back({number, body, now});
        for (const Stored& sms : arriving)
            store[sms.index] = sms;
        arriving.clear();
        switch (currentOutcome) {
        case Outcome::Sent:
            return "\r\n+CMGS: " + std::to_string(++messageReference) + "\r\n\r\nOK\r\n";
        case Outcome::Error:
            return "\r\nERROR\r\n";
        default:
            return {};
        }
    }

    Pty& pty;
    SimClock& clock;
    std::thread worker;
    std::atomic<bool> stop{false};

    mutable std::mutex lock;
    std::condition_variable changed;

    // Set-up.
    std::string model = "TC35";
    std::string simPin;
    bool pinEntered = false;
    int registration = 1;
    int rssi = 20;
    std::map<int, Stored> store;
    std::vector<Stored> arriving;
    std::deque<Outcome> sendOutcomes;
    std::map<std::string, std::deque<Outcome>> numberOutcomes;
    bool silent = false;
    std::map<std::string, uint32_t> delayedOk;
    std::function<std::optional<std::string>(const std::string&)> script;
    std::string caller;
    uint32_t ringFrom = 0;
    uint32_t ringTo = 0;

    // Line state.
    std::string line;
    bool afterCommandCr = false;
    bool textMode = false;
    std::string text;
    std::string number;
    Outcome currentOutcome = Outcome::Sent;
    int messageReference = 0;
    std::multimap<uint32_t, std::string> scheduled;
    bool hangUpWanted = false;
    bool hungUp = false;

    // Record.
    std::vector<Command> commands;
    std::vector<SentSms> sent;
};
