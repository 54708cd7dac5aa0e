#pragma once
// Runs one of the device simulators of tools/ as a child process: control
// commands go to its standard input, its event lines are read from its
// standard output with a time limit. The process is ended when the object goes.

#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimProcess {
public:
    // args[0] is the program; it is run with /usr/bin/python3.
    explicit SimProcess(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>("/usr/bin/python3"));
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv("/usr/bin/python3", argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }

    ~SimProcess()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (toChild_ >= 0)
            close(toChild_);
        if (fromChild_ >= 0)
            close(fromChild_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Running() const { return pid_ > 0; }

    void Send(const std::string& command)
    {
        const std::string line = command + "\n";
        if (toChild_ >= 0)
            (void)!write(toChild_, line.data(), line.size());
    }

    // The next event line, or empty when none came within the limit.
    std::string NextLine(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                seen_.push_back(line);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || fromChild_ < 0)
                return {};
            pollfd p{fromChild_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = read(fromChild_, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Reads lines until one starts with the prefix; returns it, or empty.
    std::string WaitFor(const std::string& prefix, std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            const std::string line = NextLine(left);
            if (line.empty() && std::chrono::steady_clock::now() >= until)
                return {};
            if (line.rfind(prefix, 0) == 0)
                return line;
        }
    }

    // Every line read so far.
    const std::vector<std::string>& Seen() const { return seen_; }
    bool SawLineStarting(const std::string& prefix) const
    {
        for (const std::string& line : seen_)
            if (line.rfind(prefix, 0) == 0)
                return true;
        return false;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
    std::vector<std::string> seen_;
};
