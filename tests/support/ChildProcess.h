#pragma once
// A program run by the tests as a child process: the station itself or one of
// the device simulators of tools/. Its standard output is read line by line on
// a thread of its own, so the pipe never fills however long a test waits
// elsewhere, and every line is kept for later searches and for the report of a
// failed test. Standard input stays a pipe (the simulators take commands there
// and end when it closes); standard error goes to a file.
//
// Lines can be searched by index (WaitFor and friends) or read in order
// through a cursor (NextLine, NextLineStarting), where Seen() is what the
// cursor has passed.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;           // argv[0] is the program's path
        std::map<std::string, std::string> env;  // set (empty value: removed) on top of ours
        std::string workDir;                     // empty: ours
        std::string stderrPath;                  // empty: /dev/null (or ours, see keepStderr)
        bool keepStderr = false;                 // with no stderrPath: ours, not /dev/null
        std::string name;                        // for reports
    };

    // A device simulator of tools/ (args[0] is its script), run with the
    // system Python; its standard error is left on ours.
    static Options Simulator(const std::vector<std::string>& args)
    {
        Options options;
        options.argv = {"/usr/bin/python3"};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.keepStderr = true;
        options.name = args.empty() ? std::string("python3") : args.front().substr(args.front().rfind('/') + 1);
        return options;
    }

    explicit ChildProcess(Options options) : options_(std::move(options))
    {
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('='));
            if (options_.env.count(key) == 0)
                envText.push_back(entry);
        }
        for (const auto& [key, value] : options_.env)
            if (!value.empty())
                envText.push_back(key + "=" + value);
        std::vector<char*> argv;
        for (const std::string& a : options_.argv)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : envText)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);

        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0)
            return;
        if (pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        const std::string errPath = options_.stderrPath.empty() ? "/dev/null" : options_.stderrPath;
        const int err = options_.stderrPath.empty() && options_.keepStderr
                            ? -1
                            : open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const char* workDir = options_.workDir.empty() ? nullptr : options_.workDir.c_str();

        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            dup2(in[0], 0);
            dup2(out[1], 1);
            if (err >= 0)
                dup2(err, 2);
            // A group of its own: a test that dies takes no terminal signals
            // meant for the test runner to the station, and vice versa.
            setpgid(0, 0);
            // A test program that dies (a crash, the test runner's time
            // limit) takes its station along instead of leaving it running.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (workDir != nullptr && chdir(workDir) != 0)
                _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        if (err >= 0)
            close(err);
        if (pid_ < 0) {
            close(in[1]);
            close(out[0]);
            return;
        }
        toChild_ = in[1];
        fromChild_ = out[0];
        reader_ = std::thread([this] { ReadLines(); });
    }

    ~ChildProcess()
    {
        if (Running())
            Terminate(std::chrono::seconds(10));
        CloseInput();
        if (reader_.joinable())
            reader_.join();
        if (fromChild_ >= 0)
            close(fromChild_);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& Name() const { return options_.name; }
    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

    bool Running()
    {
        Reap(false);
        return pid_ > 0 && !exited_;
    }

    // One line to standard input.
    void Send(const std::string& line)
    {
        const std::string text = line + "\n";
        if (toChild_ >= 0)
            (void)!write(toChild_, text.data(), text.size());
    }

    void CloseInput()
    {
        if (toChild_ >= 0) {
            close(toChild_);
            toChild_ = -1;
        }
    }

    // SIGTERM, then waits up to the limit for the end; SIGKILL after that.
    // The exit code, or -1 when it had to be killed or died of a signal.
    int Terminate(std::chrono::milliseconds limit)
    {
        if (pid_ <= 0)
            return -1;
        if (!exited_)
            kill(pid_, SIGTERM);
        return WaitExit(limit);
    }

    // Waits for the end by itself; SIGKILL after the limit.
    int WaitExit(std::chrono::milliseconds limit)
    {
        if (pid_ <= 0)
            return -1;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!Reap(false) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!exited_) {
            kill(pid_, SIGKILL);
            Reap(true);
            killed_ = true;
        }
        return ExitCode();
    }

    int ExitCode() const
    {
        if (!exited_ || killed_ || !WIFEXITED(status_))
            return -1;
        return WEXITSTATUS(status_);
    }
    bool WasKilled() const { return killed_; }
    int RawStatus() const { return status_; }

    // --- output lines --------------------------------------------------

    size_t LineCount()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_.size();
    }

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

    std::string Line(size_t index)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return index < lines_.size() ? lines_[index] : std::string();
    }

    // The steady-clock time at which the line was read.
    std::chrono::steady_clock::time_point LineTime(size_t index)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return index < times_.size() ? times_[index] : std::chrono::steady_clock::time_point{};
    }

    using Match = std::function<bool(const std::string&)>;

    // The index of the first line from `from` on that matches, waiting up to
    // the limit for it; nothing when none came (or the output ended).
    std::optional<size_t> WaitFor(const Match& match, std::chrono::milliseconds limit, size_t from = 0)
    {
        std::unique_lock<std::mutex> guard(lock_);
        const auto until = std::chrono::steady_clock::now() + limit;
        size_t next = from;
        for (;;) {
            for (; next < lines_.size(); ++next)
                if (match(lines_[next]))
                    return next;
            if (eof_)
                return std::nullopt;
            if (changed_.wait_until(guard, until) == std::cv_status::timeout) {
                for (; next < lines_.size(); ++next)
                    if (match(lines_[next]))
                        return next;
                return std::nullopt;
            }
        }
    }

    std::optional<size_t> WaitForText(const std::string& text, std::chrono::milliseconds limit, size_t from = 0)
    {
        return WaitFor([&](const std::string& l) { return l.find(text) != std::string::npos; }, limit, from);
    }

    std::optional<size_t> WaitForPrefix(const std::string& prefix, std::chrono::milliseconds limit, size_t from = 0)
    {
        return WaitFor([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, limit, from);
    }

    size_t Count(const Match& match, size_t from = 0)
    {
        std::lock_guard<std::mutex> guard(lock_);
        size_t n = 0;
        for (size_t i = from; i < lines_.size(); ++i)
            if (match(lines_[i]))
                ++n;
        return n;
    }

    size_t CountText(const std::string& text, size_t from = 0)
    {
        return Count([&](const std::string& l) { return l.find(text) != std::string::npos; }, from);
    }

    // --- output lines in order, through the cursor ------------------------

    // The line after the cursor, waiting up to the limit for it; empty when
    // none came (or the output ended).
    std::string NextLine(std::chrono::milliseconds limit)
    {
        const std::optional<size_t> index = WaitFor([](const std::string&) { return true; }, limit, Cursor());
        return index ? Pass(*index) : std::string();
    }

    // Moves the cursor past the first line from it on that starts with the
    // prefix, waiting up to the limit; the line, or empty when none came (the
    // cursor then stands after every line that did come).
    std::string NextLineStarting(const std::string& prefix, std::chrono::milliseconds limit)
    {
        const std::optional<size_t> index = WaitForPrefix(prefix, limit, Cursor());
        if (index)
            return Pass(*index);
        std::lock_guard<std::mutex> guard(lock_);
        cursor_ = lines_.size();
        return {};
    }

    // The lines the cursor has passed.
    std::vector<std::string> Seen()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return std::vector<std::string>(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(cursor_));
    }
    bool SawLineStarting(const std::string& prefix)
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (size_t i = 0; i < cursor_; ++i)
            if (lines_[i].rfind(prefix, 0) == 0)
                return true;
        return false;
    }

    // Everything it printed, for the report of a failed test.
    std::string Transcript(size_t lastLines = 200)
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::string text;
        const size_t first = lines_.size() > lastLines ? lines_.size() - lastLines : 0;
        for (size_t i = first; i < lines_.size(); ++i)
            text += "  " + options_.name + "| " + lines_[i] + "\n";
        return text;
    }

private:
    size_t Cursor()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return cursor_;
    }
    std::string Pass(size_t index)
    {
        std::lock_guard<std::mutex> guard(lock_);
        cursor_ = index + 1;
        return lines_[index];
    }

    bool Reap(bool block)
    {
        std::lock_guard<std::mutex> guard(reapLock_);
        if (exited_ || pid_ <= 0)
            return exited_;
        int status = 0;
        const pid_t r = waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (r == pid_) {
            status_ = status;
            exited_ = true;
        }
        return exited_;
    }

    void ReadLines()
    {
        std::string partial;
        char chunk[4096];
        for (;;) {
            const ssize_t n = read(fromChild_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            const auto now = std::chrono::steady_clock::now();
            partial.append(chunk, static_cast<size_t>(n));
            size_t nl;
            std::lock_guard<std::mutex> guard(lock_);
            while ((nl = partial.find('\n')) != std::string::npos) {
                std::string line = partial.substr(0, nl);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                lines_.push_back(std::move(line));
                times_.push_back(now);
                partial.erase(0, nl + 1);
            }
            changed_.notify_all();
        }
        std::lock_guard<std::mutex> guard(lock_);
        if (!partial.empty()) {
            lines_.push_back(partial);
            times_.push_back(std::chrono::steady_clock::now());
        }
        eof_ = true;
        changed_.notify_all();
    }

    Options options_;
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::vector<std::chrono::steady_clock::time_point> times_;
    bool eof_ = false;
    size_t cursor_ = 0;
    std::mutex reapLock_;
    bool exited_ = false;
    bool killed_ = false;
    int status_ = 0;
};
