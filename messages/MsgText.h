#pragma once
// The operator text of an alarm: at most 255 characters in lines separated by
// a single line feed. This is the form in which alarm texts are stored,
// printed, mailed and sent by SMS, so every writer goes through the limit here.
//
// The text is UTF-8 and the limit counts characters (code points), not bytes;
// a cut never splits a character. Bytes that are not valid UTF-8 are replaced
// by U+FFFD on the way in, so the text stored and sent is always valid.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CMsgText {
public:
    // The most characters an alarm text holds (the Text column of AlarmInfo).
    static constexpr std::size_t kMaxChars = 255;

    CMsgText() = default;

    // Empties the text and clears the added count, read position and cut flag.
    void Reset();

    // Reset, then the first 255 characters of s; the cut flag is set when s
    // had 256 characters or more.
    void SetText(std::string_view s);

    // Appends s as a new line: the first line goes in as it is, every later
    // one after a line feed (also after an empty first line, and after a
    // text put in with SetText). What does not fit into 255 characters is cut,
    // the cut flag is set, and once the text is full further lines add nothing.
    void AddLine(std::string_view s);

    // The next GetNextLine starts again at the first line.
    void Rewind();

    // From the read position, at most maxChars characters (and no more than
    // remain), stopping after a line feed, which is consumed but not returned.
    // The read position advances past everything taken.
    std::string GetNextLine(std::size_t maxChars);

    // 0 for an empty text, otherwise 1 plus the number of line feeds.
    std::size_t GetLineCount() const;

    const std::string& GetText() const { return text; }
    // Length in characters (code points), at most 255.
    std::size_t GetLength() const { return length; }
    bool IsEmpty() const { return text.empty(); }
    // True when text had to be cut to respect the 255-character limit.
    bool IsTruncated() const { return truncated != 0; }
    // Characters added by AddLine since the last reset; 0: the next line is the first.
    uint16_t GetAddedChars() const { return addedChars; }

    bool operator==(const CMsgText&) const = default;

private:
    std::string text;         // valid UTF-8, at most kMaxChars characters
    std::size_t length = 0;   // characters in text
    uint16_t addedChars = 0;  // characters added by AddLine since the last reset
    uint16_t readPos = 0;     // byte offset of the next GetNextLine in text
    uint16_t truncated = 0;   // 1 when text was cut to kMaxChars
    bool lineAdded = false;   // AddLine ran since the last reset (an empty line counts)
};
