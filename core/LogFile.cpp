#include "core/LogFile.h"

#include "core/LogStore.h"
#include "core/LogWriter.h"

#include <cstdio>
#include <ctime>

#include <climits>
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

CLogFile::~CLogFile()
{
    Flush();
}

void CLogFile::Log(const std::string& source, const std::string& text)
{
    WriteLine(source + ": " + text);
}

std::shared_ptr<CLogStore> CLogFile::StoreForCurrentPath()
{
    // The file is named relative to the current folder at the time of the
    // line, which the writer thread does not share: the path is made whole.
    std::string folder;
    if (name.empty() || name.front() != '/') {
        char buf[PATH_MAX];
        if (::getcwd(buf, sizeof buf) != nullptr) {
            folder = buf;
            if (folder.back() != '/')
                folder += '/';
        }
    }
    const std::string logPath = folder + LogPath();

    std::shared_ptr<CLogStore> previous;
    std::shared_ptr<CLogStore> current;
    {
        const std::lock_guard<std::mutex> lock(storeMutex);
        current = CLogStore::ForPath(logPath, folder + ScratchPath());
        if (current != store) {
            previous = std::move(store);
            store = current;
        }
    }
    // A log that moved to another file leaves nothing waiting behind it.
    if (previous)
        previous->WritePending();
    return current;
}

void CLogFile::WriteLine(const std::string& text)
{
    if (maxLines <= 0)
        return;
    try {
        const std::shared_ptr<CLogStore> target = StoreForCurrentPath();
        const bool first = target->Add(text, maxLines);
        if (!background)
            target->WritePending();
        else if (first)
            CLogWriter::Instance().Schedule(target);
    } catch (...) {
        // Out of memory while queueing: the line is lost, the thread goes on.
    }
}

void CLogFile::Flush()
{
    std::shared_ptr<CLogStore> current;
    {
        const std::lock_guard<std::mutex> lock(storeMutex);
        current = store;
    }
    if (current)
        current->WritePending();
}
