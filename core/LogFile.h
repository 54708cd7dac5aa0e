#pragma once
// A bounded trace file with the newest line first. Every worker thread has its
// own; each write rewrites the file through a scratch file, so the oldest
// lines fall off the end and the file never grows beyond maxLines lines. The
// file is readable by the station's user only (mode 0600).

#include <cstdint>
#include <string>

class CLogFile {
public:
    CLogFile() = default;  // "LogFile", 100 lines
    CLogFile(std::string baseName, int16_t lines) : name(std::move(baseName)), maxLines(lines) {}

    void SetName(std::string baseName) { name = std::move(baseName); }
    const std::string& GetName() const { return name; }
    void SetMaxLines(int16_t lines) { maxLines = lines; }
    int16_t GetMaxLines() const { return maxLines; }

    // Writes "<source>: <text>".
    void Log(const std::string& source, const std::string& text);
    // Writes one line that the caller composed completely. A line that cannot
    // be written is lost; this never throws and never ends the caller's thread.
    void WriteLine(const std::string& text);

    // "<name>.log" and "<name>.tmp", relative to the current directory.
    std::string LogPath() const { return name + ".log"; }
    std::string ScratchPath() const { return name + ".tmp"; }

    // The time stamp that starts every line, e.g. "2026-12-10 03:04:05:067: ".
    static std::string TimeStamp();

private:
    std::string name = "LogFile";
    int16_t maxLines = 100;
};
