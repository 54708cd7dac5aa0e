#include "core/LogStore.h"

#include "core/LogFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

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

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Puts one queued line in front of the lines, cutting them first to the
// line's limit as a write of that line alone would. A line with line ends in
// its text becomes several lines of the file, as a reader of the file sees it.
void Prepend(std::deque<std::string>& lines, const std::string& line, int16_t maxLines)
{
    const auto keep = static_cast<size_t>(maxLines - 1);
    if (lines.size() > keep)
        lines.resize(keep);
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end = line.find('\n'); end != std::string::npos; end = line.find('\n', start)) {
        parts.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(line.substr(start));
    for (auto part = parts.rbegin(); part != parts.rend(); ++part)
        lines.push_front(std::move(*part));
}

}  // namespace

CLogStore::CLogStore(std::string logFilePath, std::string scratchFilePath)
    : logPath(std::move(logFilePath)), scratchPath(std::move(scratchFilePath))
{
}

std::shared_ptr<CLogStore> CLogStore::ForPath(const std::string& logFilePath, const std::string& scratchFilePath)
{
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<CLogStore>> registry;

    const std::lock_guard<std::mutex> lock(registryMutex);
    auto found = registry.find(logFilePath);
    if (found != registry.end()) {
        if (std::shared_ptr<CLogStore> store = found->second.lock())
            return store;
    }
    // A new store: forget those nobody writes any more.
    for (auto it = registry.begin(); it != registry.end();)
        it = it->second.expired() ? registry.erase(it) : std::next(it);
    auto store = std::make_shared<CLogStore>(logFilePath, scratchFilePath);
    registry[logFilePath] = store;
    return store;
}

bool CLogStore::Add(const std::string& text, int16_t maxLines)
{
    const std::lock_guard<std::mutex> lock(queueMutex);
    // Stamped under the lock: the stamps follow the order of the lines.
    queue.push_back({CLogFile::TimeStamp() + text, maxLines});
    return queue.size() == 1;
}

void CLogStore::WritePending()
{
    try {
        const std::lock_guard<std::mutex> fileLock(fileMutex);
        std::vector<Pending> batch;
        {
            const std::lock_guard<std::mutex> lock(queueMutex);
            batch.swap(queue);
        }
        if (batch.empty())
            return;

        struct stat info {};
        const bool exists = ::stat(logPath.c_str(), &info) == 0;
        if (!knownValid || !exists || !SameFile(info, written)) {
            int16_t limit = 0;
            for (const Pending& p : batch)
                limit = std::max(limit, p.maxLines);
            LoadFromDisk(exists ? &info : nullptr, limit);
        }
        for (const Pending& p : batch)
            Prepend(known, p.line, p.maxLines);
        knownValid = Rewrite();
        if (!knownValid)
            known.clear();  // read again next time: the old log is what stays
    } catch (...) {
        // Out of memory: the lines are lost, the thread goes on.
        knownValid = false;
        known.clear();
    }
}

void CLogStore::LoadFromDisk(const struct stat* info, int16_t limit)
{
    known.clear();
    knownValid = false;
    // Only a plain file is read: a folder or a pipe in the log's place
    // holds no lines (and a pipe would block the writer).
    if (info == nullptr || !S_ISREG(info->st_mode))
        return;
    std::ifstream old(logPath);
    std::string line;
    while (known.size() < static_cast<size_t>(limit) && std::getline(old, line))
        known.push_back(line);
}

bool CLogStore::Rewrite()
{
    std::string text;
    size_t size = 0;
    for (const std::string& line : known)
        size += line.size() + 1;
    text.reserve(size);
    for (const std::string& line : known) {
        text += line;
        text += '\n';
    }

    // The log holds telephone numbers and alarm texts: the scratch file,
    // which becomes the log, is the station user's alone. A scratch file
    // left behind by a crash keeps its old mode when it is reused, so the
    // mode is set again; a link in its place is never followed.
    const int fd = ::open(scratchPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;  // the lines are lost; the old log stays as it was
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fstat(fd, &written) == 0;
    ok = ::close(fd) == 0 && ok;

    if (!ok) {
        // A short write (full disk) must not replace a good log with a
        // truncated one.
        std::remove(scratchPath.c_str());
        return false;
    }
    // rename() replaces the old log in one step, so a reader never finds
    // the log missing between the delete and the rename.
    if (std::rename(scratchPath.c_str(), logPath.c_str()) != 0) {
        std::remove(scratchPath.c_str());
        return false;
    }
    return true;
}
