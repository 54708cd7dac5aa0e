// The station as a real process: `orva --headless` in a scratch folder with
// its own settings, everything disabled except the database. It must create
// the database, report its subsystems, and end cleanly with exit status 0 on
// SIGTERM and on SIGINT.

#include "settings/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The station started in a folder with extra environment; its standard
// output is read line by line with a time limit.
class StationProcess {
public:
    StationProcess(const std::vector<std::string>& args, const std::string& folder,
                   const std::vector<std::string>& extraEnv)
    {
        std::vector<std::string> env = extraEnv;
        for (char** e = environ; *e != nullptr; ++e)
            env.emplace_back(*e);  // the first definition of a name wins
        std::vector<char*> argv{const_cast<char*>(ORVA_BINARY)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        int out[2];
        int errPipe[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            dup2(errPipe[1], 2);
            if (chdir(folder.c_str()) != 0)
                _exit(126);
            execve(ORVA_BINARY, argv.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(errPipe[1]);
        stdoutFd = out[0];
        stderrFd = errPipe[0];
    }

    ~StationProcess()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (stdoutFd >= 0)
            close(stdoutFd);
        if (stderrFd >= 0)
            close(stderrFd);
    }

    // The next line of standard output; nothing at the end of the output or
    // when no line came in time.
    std::optional<std::string> NextLine(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (const auto nl = buffer.find('\n'); nl != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                lines.push_back(line);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || stdoutFd < 0)
                return std::nullopt;
            pollfd p{stdoutFd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = read(stdoutFd, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Reads until a line ends with the suffix; false when none came in time.
    bool WaitFor(const std::string& suffix, std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            const std::optional<std::string> line = NextLine(left);
            if (!line)
                return false;
            if (line->size() >= suffix.size() &&
                line->compare(line->size() - suffix.size(), suffix.size(), suffix) == 0)
                return true;
        }
        return false;
    }

    void Signal(int signal) { kill(pid, signal); }

    // The exit status after the process ended by itself; -1 when it did not
    // within the limit or did not exit normally.
    int Wait(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }

    std::string Stderr()
    {
        std::string text;
        char chunk[4096];
        ssize_t n;
        fcntl(stderrFd, F_SETFL, O_NONBLOCK);
        while ((n = read(stderrFd, chunk, sizeof chunk)) > 0)
            text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }

    std::vector<std::string> lines;

private:
    pid_t pid = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
    std::string buffer;
};

class HeadlessProcessTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        // Written the way an installer would, before the station runs.
        ScopedEnv config("XDG_CONFIG_HOME", configHome);
        CSettings settings;
        settings.Load();
        settings.Values().DatabasePath = dir.Path().string() + "/";
        settings.Values().MailEnabled = 0;
        settings.Values().TelEnabled = 0;
        settings.Values().GsmEnabled = 0;
        ASSERT_TRUE(settings.Save());
    }

    TempDir dir;
    std::string configHome = dir / "config";
};

TEST_P(HeadlessProcessTest, StartsCreatesTheDatabaseReportsAndStopsOnSignal)
{
    StationProcess station({"--headless", "--operator", "Nattpass"}, dir.Path().string(),
                           {"XDG_CONFIG_HOME=" + configHome, "ORVA_COM_DIR=" + dir.Path().string()});
    // Generous: a sanitizer build on a loaded machine starts slowly.
    ASSERT_TRUE(station.WaitFor(" READY", 60s)) << station.Stderr();
    EXPECT_TRUE(fs::exists(dir.Path() / "ORVA_10.mdb"));

    station.Signal(GetParam());
    EXPECT_TRUE(station.WaitFor(" STOPPED", 30s));
    EXPECT_EQ(station.Wait(30s), 0);
    EXPECT_EQ(station.Stderr(), "");

    const std::regex shape(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ([A-Z]+)( .*)?$)");
    std::vector<std::string> payloads;
    for (const std::string& line : station.lines) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        payloads.push_back(line.substr(20));
    }
    const auto has = [&payloads](const std::string& payload) {
        return std::find(payloads.begin(), payloads.end(), payload) != payloads.end();
    };
    EXPECT_TRUE(has("TITLE Tervin CallCenter Ver. 2.72 - Nattpass"));
    EXPECT_TRUE(has("DATABASE Database successfully created..."));
    EXPECT_TRUE(has("STATUS 1 Mail: Disabled"));
    EXPECT_TRUE(has("STATUS 3 TEL: Disabled"));
    EXPECT_TRUE(has("STATUS 2 GSM: Disabled"));
    EXPECT_TRUE(fs::exists(dir.Path() / "SystemInfo.log"));
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessProcessTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return std::string(info.param == SIGTERM ? "Term" : "Int"); });

}  // namespace
