#pragma once
// The lines of one log file as the process last wrote them, and the lines
// waiting to be added. Every CLogFile of the process that writes the same
// file shares one store, so lines from several threads or objects land in the
// order they were handed in and none is overwritten by a stale copy.
//
// A rewrite puts the waiting lines in front of the known ones (newest first,
// each line cutting the log to its own limit as if written alone) and
// replaces the file through a scratch file in one step. The known lines come
// from memory as long as the file is still the one the store wrote last
// (same device, inode, size and modification time); after another program
// or the operator changed or removed it, the file is read again.

#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CLogStore {
public:
    CLogStore(std::string logFilePath, std::string scratchFilePath);
    CLogStore(const CLogStore&) = delete;
    CLogStore& operator=(const CLogStore&) = delete;

    // The store of the log at logFilePath (an absolute path), shared by every
    // writer of that file in this process.
    static std::shared_ptr<CLogStore> ForPath(const std::string& logFilePath, const std::string& scratchFilePath);

    // Stamps the line with the current time and queues it; maxLines > 0.
    // Never touches the disk. True when the queue was empty before, that is
    // when somebody must be asked to write it.
    bool Add(const std::string& text, int16_t maxLines);

    // Writes every queued line in one rewrite. Lines that cannot be written
    // (full disk, missing folder, the log's name taken) are lost and the old
    // log stays as it was; never throws.
    void WritePending();

private:
    struct Pending {
        std::string line;  // time stamp and text, without the line end
        int16_t maxLines;
    };

    void LoadFromDisk(const struct stat* info, int16_t limit);
    bool Rewrite();

    const std::string logPath;
    const std::string scratchPath;

    std::mutex queueMutex;  // guards queue only; held for microseconds
    std::vector<Pending> queue;

    std::mutex fileMutex;           // held over a rewrite; guards what follows
    std::deque<std::string> known;  // the file's lines, newest first, without line ends
    bool knownValid = false;        // known equals the file described by written
    struct stat written {};         // the file as the last rewrite left it
};
