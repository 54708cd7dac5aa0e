#pragma once
// The header texts that the alarm dialog puts above an alarm's text, one per
// group of alarm types. They start as the dictionary texts of the current
// language; AlarmTypeText.ini in the working folder may replace any of them,
// and is written with the current texts when it is missing, so that an
// engineer finds a file to edit.
//
// The file: CR LF lines; ":Label" starts a block (labels compared without
// regard to case), "//" starts a comment, every other line belongs to the
// block of the last label. A block's lines, each with CR LF, replace its
// slot's text, even when there are none. Read as UTF-8, or as Windows-1252
// when it is not valid UTF-8; written as UTF-8.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

class CAlarmTypeTextFile {
public:
    static constexpr int kSlotCount = 10;
    static constexpr const char* kFileName = "AlarmTypeText.ini";

    enum class LoadResult {
        Read,       // the file was read
        Created,    // it was missing and has been written with the current texts
        NotCreated  // unreadable, or missing and could not be written: the texts stay as they were
    };

    // The dictionary texts of the current language.
    CAlarmTypeTextFile();

    // Puts back the dictionary texts.
    void SetDefaults();
    // Reads kFileName in the folder (empty: the current folder), or creates
    // it with the current texts when it is missing.
    LoadResult Load(const std::filesystem::path& folder = {});
    // Reads one file into the slots; false when it cannot be opened (the
    // slots are then unchanged).
    bool Read(const std::filesystem::path& file);
    // Writes the current texts in the file's layout; false on any error.
    bool Write(const std::filesystem::path& file) const;
    // The file's content for the current texts.
    std::string FileContent() const;
    // Takes the blocks of a file's content (already UTF-8) into the slots.
    void Parse(const std::string& text);

    // The slot of an alarm type, or -1 for a type that has no header.
    static int SlotOf(uint8_t alarmType);
    // The header of an alarm type; empty for a type outside 1 to 11.
    std::string HeaderText(uint8_t alarmType) const;

    const std::string& Text(int slot) const { return texts.at(static_cast<std::size_t>(slot)); }
    void SetText(int slot, std::string text) { texts.at(static_cast<std::size_t>(slot)) = std::move(text); }

private:
    std::array<std::string, kSlotCount> texts;
};
