#pragma once
// A bounded trace file with the newest line first. Every worker thread has its
// own; each write rewrites the file through a scratch file, so the oldest
// lines fall off the end and the file never grows beyond maxLines lines. The
// file is readable by the station's user only (mode 0600).
//
// A line is stamped when it is handed in. By default it is on disk when
// WriteLine returns. A log that writes in the background (a worker on the
// alarm road) only queues the line; the process's log writer thread rewrites
// the file soon after, once for all lines waiting. Flush, the destructor and
// the end of the process write what is still waiting. The content is the
// same either way.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CLogStore;

class CLogFile {
public:
    CLogFile() = default;  // "LogFile", 100 lines
    CLogFile(std::string baseName, int16_t lines) : name(std::move(baseName)), maxLines(lines) {}
    // Writes what is still waiting.
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    void SetName(std::string baseName) { name = std::move(baseName); }
    const std::string& GetName() const { return name; }
    void SetMaxLines(int16_t lines) { maxLines = lines; }
    int16_t GetMaxLines() const { return maxLines; }

    // Off by default. When on, WriteLine never waits for the disk.
    void SetBackgroundWriting(bool on) { background = on; }
    bool IsBackgroundWriting() const { return background; }

    // Writes "<source>: <text>".
    void Log(const std::string& source, const std::string& text);
    // Writes one line that the caller composed completely. A line that cannot
    // be written is lost; this never throws and never ends the caller's thread.
    void WriteLine(const std::string& text);
    // Puts every line handed in so far on disk before it returns.
    void Flush();

    // "<name>.log" and "<name>.tmp", relative to the current directory.
    std::string LogPath() const { return name + ".log"; }
    std::string ScratchPath() const { return name + ".tmp"; }

    // The time stamp that starts every line, e.g. "2026-12-10 03:04:05:067: ".
    static std::string TimeStamp();

private:
    std::shared_ptr<CLogStore> StoreForCurrentPath();

    std::string name = "LogFile";
    int16_t maxLines = 100;
    bool background = false;

    std::mutex storeMutex;
    std::shared_ptr<CLogStore> store;  // of the file last written
};
