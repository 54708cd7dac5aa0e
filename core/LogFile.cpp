#include "core/LogFile.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string CLogFile::TimeStamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u-%02u-%02u %02u:%02u:%02u:%03u: ", static_cast<unsigned>(local.tm_year + 1900),
                  static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                  static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                  static_cast<unsigned>(local.tm_sec), static_cast<unsigned>(now.tv_nsec / 1000000));
    return buf;
}

void CLogFile::Log(const std::string& source, const std::string& text)
{
    WriteLine(source + ": " + text);
}

namespace {

// Writes all of the text; false on any error (a full disk, for instance).
bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void CLogFile::WriteLine(const std::string& text)
{
    if (maxLines <= 0)
        return;

    try {
        const std::string stamp = TimeStamp();
        const std::string scratchPath = ScratchPath();
        const std::string logPath = LogPath();

        std::string lines = stamp + text + '\n';
        int count = 1;
        std::ifstream old(logPath);
        if (old) {
            std::string line;
            while (count < maxLines && std::getline(old, line)) {
                lines += line;
                lines += '\n';
                ++count;
            }
        }
        old.close();

        // The log holds telephone numbers and alarm texts: the scratch file,
        // which becomes the log, is the station user's alone. A scratch file
        // left behind by a crash keeps its old mode when it is reused, so the
        // mode is set again; a link in its place is never followed.
        const int fd = ::open(scratchPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return;  // the line is lost; the old log stays as it was
        bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, lines);
        written = ::close(fd) == 0 && written;

        if (!written) {
            // A short write (full disk) must not replace a good log with a
            // truncated one.
            std::remove(scratchPath.c_str());
            return;
        }
        // rename() replaces the old log in one step, so a reader never finds
        // the log missing between the delete and the rename.
        if (std::rename(scratchPath.c_str(), logPath.c_str()) != 0)
            std::remove(scratchPath.c_str());
    } catch (...) {
        // Out of memory while copying: the line is lost, the thread goes on.
    }
}
