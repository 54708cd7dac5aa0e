#include "core/LogFile.h"

#include <cstdio>
#include <ctime>
#include <fstream>

std::string CLogFile::TimeStamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u-%02u-%02u %02u:%02u:%02u:%03u: ",
                  static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
                  static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                  static_cast<unsigned>(local.tm_min), static_cast<unsigned>(local.tm_sec),
                  static_cast<unsigned>(now.tv_nsec / 1000000));
    return buf;
}

void CLogFile::Log(const std::string& source, const std::string& text)
{
    WriteLine(source + ": " + text);
}

void CLogFile::WriteLine(const std::string& text)
{
    if (maxLines <= 0)
        return;

    try {
        const std::string stamp = TimeStamp();
        const std::string scratchPath = ScratchPath();
        const std::string logPath = LogPath();

        std::ofstream scratch(scratchPath, std::ios::out | std::ios::trunc);
        if (!scratch)
            return;  // the line is lost; the old log stays as it was

        scratch << stamp << text << '\n';
        int written = 1;

        std::ifstream old(logPath);
        if (old) {
            std::string line;
            while (written < maxLines && std::getline(old, line)) {
                scratch << line << '\n';
                ++written;
            }
        }
        old.close();
        scratch.close();

        if (!scratch) {
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
