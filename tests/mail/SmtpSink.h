#pragma once
// The real SMTP server of the mail tests: smtp_sink.py (aiosmtpd) run with the
// system Python on a free port of 127.0.0.1, or on a given one (the server
// started again after a stop). Each accepted mail is a folder of
// decoded parts (see the script). The server ends when this object closes its
// standard input, and is killed if it does not.

#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

class SmtpSink {
public:
    explicit SmtpSink(uint16_t listenPort = 0)
    {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        const std::string script = ORVA_SMTP_SINK_SCRIPT;
        const std::string outdir = dir.Path().string();
        const std::string portText = std::to_string(listenPort);
        std::vector<char*> argv{const_cast<char*>("/usr/bin/python3"), const_cast<char*>(script.c_str()),
                                const_cast<char*>(outdir.c_str()), const_cast<char*>(portText.c_str()), nullptr};
        if (posix_spawn(&pid, "/usr/bin/python3", &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        input = toChild[1];
        output = fromChild[0];
        if (pid > 0)
            port = ReadPort();
    }

    ~SmtpSink()
    {
        if (input >= 0)
            close(input);
        if (output >= 0)
            close(output);
        if (pid > 0) {
            // Closing its input ends the server; give it a moment, then insist.
            for (int i = 0; i < 300; ++i) {
                if (waitpid(pid, nullptr, WNOHANG) == pid)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    // 0 when the server did not come up.
    uint16_t Port() const { return port; }

    // Waits (really) until the n-th mail (from 1) is stored.
    bool WaitForMail(int n, std::chrono::milliseconds limit = std::chrono::seconds(20)) const
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (std::ifstream(MailPath(n, "defects")))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    bool HasMail(int n) const { return static_cast<bool>(std::ifstream(MailPath(n, "defects"))); }

    // One part of the n-th mail, as bytes.
    std::string Part(int n, const std::string& name) const
    {
        std::ifstream in(MailPath(n, name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<std::string> Lines(int n, const std::string& name) const
    {
        std::vector<std::string> lines;
        std::istringstream in(Part(n, name));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::string MailPath(int n, const std::string& name) const
    {
        return (dir.Path() / ("mail" + std::to_string(n)) / name).string();
    }

    uint16_t ReadPort()
    {
        std::string text;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{output, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c;
            const ssize_t n = read(output, &c, 1);
            if (n <= 0)
                return 0;
            if (c == '\n') {
                try {
                    return static_cast<uint16_t>(std::stoi(text));
                } catch (...) {
                    return 0;
                }
            }
            text.push_back(c);
        }
        return 0;
    }

    TempDir dir;
    pid_t pid = -1;
    int input = -1;
    int output = -1;
    uint16_t port = 0;
};
