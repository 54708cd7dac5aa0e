#pragma once
// Creates the database like CDbConvert and copies into it the objects and
// alarms of an older installation: IdInfo.dat (one object per line) and
// EventSave.dat (one alarm per record of lines), both Windows-1252 text.

#include "db/DbConvert.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CAlarmInfoMsg;
class CObjectInfoMsg;
class COleDateTime;

class CDbConvertVer01 : public CDbConvert {
public:
    // Commits after this many rows, so that a large import needs few disk
    // flushes and a failure loses no more than one batch.
    static constexpr int kRowsPerTransaction = 1000;
    // The field separator of IdInfo.dat (unit separator).
    static constexpr char kFieldSeparator = '\x1f';

    ~CDbConvertVer01() override;

    // Opens the new database and copies both files into it. A file that does
    // not open is skipped; a row that cannot be added is reported and the
    // copying goes on. 0 when the database does not open or the copied rows
    // could not be committed, else 1.
    int CopyData() override;

    // The lines of a file's contents: a line ends at a line feed, a carriage
    // return before it is dropped. The text is converted to UTF-8.
    static std::vector<std::string> SplitLines(std::string_view bytes);
    // The leading decimal digits of a field as a number (0 without digits),
    // held at max instead of overflowing.
    static int64_t LeadingNumber(std::string_view field, int64_t max = INT32_MAX);
    // One line of IdInfo.dat into the object; false for a line that is not
    // used (shorter than 9 characters, without ":", or damaged: a time stamp
    // that is no date).
    static bool ParseObjectLine(const std::string& line, CObjectInfoMsg& object);

    enum class RecordRead {
        Taken,      // the alarm holds the record
        Skipped,    // a damaged record (a time stamp that is no date): not used
        Incomplete  // the file ends inside the record: nothing more to read
    };
    // The record of EventSave.dat that starts at lines[pos] into the alarm,
    // with its type translated; pos moves past a taken or skipped record.
    static RecordRead ParseAlarmRecord(const std::vector<std::string>& lines, size_t& pos, CAlarmInfoMsg& alarm);
    // The new alarm type of an old one.
    static uint8_t TranslateAlarmType(int64_t oldType, uint8_t alarmSource);
    // Seconds since 1970 (UTC) as local time; not valid for a stamp after the
    // year 9999, which no old file holds unless it is damaged.
    static COleDateTime FromUnixSeconds(int64_t seconds);

private:
    // The number of text lines of an alarm kept at most; the text holds 255
    // characters, so more lines could only be dropped anyway.
    static constexpr int64_t kMaxTextLines = 100000;
    // A day after the end of the year 9999 (UTC), so that every time zone
    // still reaches its last local second.
    static constexpr int64_t kMaxUnixSeconds = 253402300800 + 86400;

    void CopyObjects();
    void CopyAlarms();
    bool ReadFile(const char* name, std::string& bytes) const;
    // Commits the rows of the current transaction and, with beginNext, starts the next one.
    void Commit(bool beginNext);

    bool commitFailed = false;
};
