#pragma once
// The outbox: every alarm mail and every alarm SMS, one job per mail and one
// per SMS number, kept as a file in a private folder beside the database from
// the moment it is composed until its peer has taken it (the mail server's
// reply to the end of the message, the modem's "+CMGS:") or it has failed for
// good. A crash, a power cut or a stop therefore never loses the forwarding
// of an alarm: what is still in the outbox at the next start goes out then.
//
// A file is written whole or not at all: the text goes to a temporary file,
// which is flushed to the disk and then renamed over the job's name. The
// folder is created 0700 and each file 0600 (a job names the people to
// alarm). The jobs of an alarm that the journal knows are named after the
// journal record, so that composing the same alarm's forwarding again (the
// journal replays an alarm whose forwarding was under way at a crash) finds
// the jobs already there instead of making them twice.
//
// A job may also be held: written, but not to be sent yet (a voice alarm
// while the operator's handset rings). A held job that is still there at the
// next start is sent, since the call it waited for ended with the station.
//
// User-interface thread only; the mail and GSM handlers only remove a job's
// file once its peer has taken it.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class COutbox {
public:
    enum class Kind : uint8_t { Mail, Sms };

    struct Job {
        std::string name;  // the file name in the folder, given by Add
        Kind kind = Kind::Mail;
        std::string alarmId;  // the alarm's journal record; empty when it has none
        std::string slot;     // which of the alarm's jobs: "mail", "sms1", ...
        std::string alarm;    // what the operator knows the alarm by (its id code)
        bool emergency = false;
        bool held = false;
        std::time_t created = 0;  // when the job was composed
        uint16_t attempts = 0;    // attempts that have failed so far
        // The server and sender are taken from the settings at each attempt,
        // so a corrected server setting also serves the jobs that wait.
        std::string recipients;  // the mail's addresses, or the one SMS number
        std::string subject;     // mail only
        std::string body;        // the mail's body or the SMS text
    };

    enum class AddResult {
        Added,       // written, to be sent
        Existing,    // the alarm's job of this slot is there already (and not held)
        NotWritten,  // could not be made durable; GetLastError tells why
    };

    struct Loaded {
        std::vector<Job> jobs;                // to be sent, oldest first
        std::vector<Job> expired;             // older than kMaxAgeSeconds; their files are gone
        std::vector<std::string> unreadable;  // files set aside as ".bad"
    };

    static constexpr const char* kFolderName = "Outbox";
    // The folder of the alarm mails that waited, kept by earlier versions;
    // its mails move into the outbox.
    static constexpr const char* kLegacyFolderName = "MailSpool";
    static constexpr const char* kFileSuffix = ".job";
    static constexpr const char* kLegacySuffix = ".mail";
    // A job found at a start that was composed longer ago than this is not
    // sent any more: a late alarm can send a technician to a lift that was
    // freed long ago. It is reported instead.
    static constexpr std::time_t kMaxAgeSeconds = std::time_t{24} * 60 * 60;
    // A file larger than this is not a job of this station.
    static constexpr std::size_t kMaxFileSize = std::size_t{16} * 1024 * 1024;

    // Creates the folder when it is missing and makes it private. When the
    // outbox was open on another folder (the database moved), the jobs move
    // with it. The mails of a legacy folder beside it move in too. False,
    // with the reason in GetLastError, when it cannot be used.
    bool Open(const std::string& folder);
    bool IsOpen() const { return open; }
    const std::string& GetFolder() const { return folder; }
    // What went wrong last: the file or folder and the system's reason.
    const std::string& GetLastError() const { return lastError; }

    // Writes the job under its name (alarm and slot) or a new one, which it
    // sets in the job. A held job of the same name is replaced.
    AddResult Add(Job& job);
    // Writes the job again under its name (a new attempt count, released).
    bool Update(const Job& job);
    // Removes the job's file; a file that is already gone is no error.
    bool Remove(const std::string& name);
    // Removes the held jobs of the alarm (the operator took the call); the
    // jobs removed.
    std::vector<Job> RemoveHeld(const std::string& alarmId);
    // The full path of a job's file; empty for a job without one.
    std::string FileOf(const Job& job) const;
    // False once the job's file is gone (a handler removes it when the peer
    // has taken the job); true for a job without a file.
    bool IsKept(const Job& job) const;

    // The jobs of one kind in the folder. A file that cannot be read as a
    // job is renamed to end in ".bad" and kept for a person to look at.
    // Temporary files left by a write that never finished are removed (the
    // job they held had not been handed on yet).
    Loaded Load(Kind kind, std::time_t now);

    // The file text of a job, and back; false for a text that is not a
    // complete job of this format (the mail files of earlier versions are
    // read as mail jobs).
    static std::string Encode(const Job& job);
    static bool Decode(const std::string& text, Job& job);
    // One line on a job's change of state for the operator's log:
    // "<state> <kind> alarm=\"..\" to=\"..\" job=<name>".
    static std::string JobLine(const std::string& state, const Job& job);
    // The precedence of a job's request in its handler's queue: a new
    // alarm's jobs go ahead of those tried again or left from before a
    // restart, and emergency alarms ahead of technical ones.
    static uint8_t PrecedenceOf(bool emergency, bool leftOver)
    {
        return static_cast<uint8_t>((leftOver ? 0 : 2) + (emergency ? 1 : 0));
    }
    static const char* KindName(Kind kind);
    // A forwarding pane's status text with "(n waiting)" added when jobs wait.
    static std::string StatusWithWaiting(const std::string& status, std::size_t waiting);

private:
    bool Write(const std::string& name, const std::string& text);
    // Reads a job file; its name is left to the caller.
    bool ReadJobFile(const std::string& path, Job& job);
    // The job files in the folder, sorted; removes the temporary ones.
    std::vector<std::string> JobFiles();
    std::string NameOf(const Job& job);
    std::string PathOf(const std::string& name) const;
    void MoveFilesFrom(const std::string& from);
    void SetError(const std::string& what, int error);

    std::string folder;
    // Where the jobs are: the folder last opened. An Open that fails in
    // between leaves them there, and the next one that works takes them.
    std::string jobsFolder;
    bool open = false;
    std::string lastError;
    unsigned counter = 0;
    std::string counterStamp;  // the second the counter counts in
};
