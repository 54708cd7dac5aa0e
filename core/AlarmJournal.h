#pragma once
// The alarm journal: every alarm the station has taken from a lift telephone
// or the GSM modem is written here, and flushed to the disk, before its
// source lets go of it (before the SMS is deleted from the modem, as soon as
// a telephone alarm is decoded). The record is marked done only once the
// alarm's row is committed in the database (or the alarm was dropped on
// purpose). What is not done after a crash, a full disk or a locked
// database is stored again later, so an alarm the lift believes delivered is
// never lost on the station's side.
//
// The file is plain text, one line per event, append-only:
//   A<TAB>id<TAB>time<TAB>type<TAB>name=value<TAB>...   an alarm taken in
//   F<TAB>id                                             it was forwarded
//   D<TAB>id                                             its row is committed
// Values are percent-encoded for '%', TAB, CR and LF. The id is unique across
// runs; time is the moment the alarm was taken (seconds since the epoch).
// When every record is done the file is emptied again.
//
// Thread-safe: the telephone and GSM handlers append, the user-interface
// thread marks records done.

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CAlarmJournal {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    struct Record {
        std::string id;
        std::time_t time = 0;
        uint16_t type = 0;  // message type of the source message
        Fields fields;
        bool forwarded = false;  // its mail and SMS were handed on
    };

    // Name of the journal file in the database folder.
    static constexpr const char* kFileName = "ORVA_10.journal";
    // Space kept in reserve for the file, so that alarms can still be
    // journaled for a while when the disk fills up.
    static constexpr long kReserveBytes = 256L * 1024;

    CAlarmJournal() = default;
    ~CAlarmJournal();
    CAlarmJournal(const CAlarmJournal&) = delete;
    CAlarmJournal& operator=(const CAlarmJournal&) = delete;

    // Opens (creating it, private to this user) the journal of the folder
    // and reads its open records. Records open in a journal used before
    // (another folder) move with it. False when the file cannot be opened;
    // the journal then keeps working in memory only.
    bool Open(const std::string& folder);
    void Close();
    bool IsOpen() const;
    std::string GetPath() const;

    // Writes a new record and flushes it to the disk. The record gets its id
    // and time here. False when it could not be made durable (it is still
    // kept as open in memory).
    bool Append(Record& record);
    // The record's alarm was handed to mail and SMS: after a restart it is
    // stored, not forwarded a second time.
    void MarkForwarded(const std::string& id);
    // The record's alarm is stored (or dropped on purpose).
    void Done(const std::string& id);
    // The records not yet done, oldest first.
    std::vector<Record> Pending() const;
    std::size_t PendingCount() const;

    // Line encoding, for tests and tools.
    static std::string EncodeRecord(const Record& record);
    static bool DecodeLine(const std::string& line, char& kind, Record& record);

private:
    bool WriteLine(const std::string& line);
    void ReadFile();
    void CompactIfDone();
    std::string NewId();

    mutable std::mutex lock;
    int fd = -1;
    std::string path;
    std::vector<Record> open;
    uint64_t sequence = 0;
    std::string runPrefix;
};
