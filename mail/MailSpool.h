#pragma once
// The alarm mails that wait for delivery, one file each in a private folder
// beside the database, so that a restart of the station does not lose them.
// A file is written whole or not at all: the text goes to a temporary file,
// which is flushed to the disk and then renamed over the mail's name. The
// folder is created 0700 and each file 0600 (a mail names the people to
// alarm). User-interface thread only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CMailSpool {
public:
    // What a spooled mail keeps: the server and sender are taken from the
    // settings at each attempt, so a corrected server setting also serves
    // the mails that wait.
    struct Mail {
        std::string name;       // the file name in the folder, given by Add
        uint16_t attempts = 0;  // attempts that have failed so far
        std::string recipients;
        std::string subject;
        std::string body;
    };

    static constexpr const char* kFileSuffix = ".mail";
    // A file larger than this is not a mail of this station.
    static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

    // Creates the folder when it is missing and makes it private. False,
    // with the reason in GetLastError, when it cannot be used.
    bool Open(const std::string& folder);
    bool IsOpen() const { return open; }
    const std::string& GetFolder() const { return folder; }
    // What went wrong last: the file or folder and the system's reason.
    const std::string& GetLastError() const { return lastError; }

    // Writes the mail under a new name, which it sets in the mail.
    bool Add(Mail& mail);
    // Writes the mail again under its name (a new attempt count).
    bool Update(const Mail& mail);
    // Removes the mail's file; a file that is already gone is no error.
    bool Remove(const std::string& name);
    // The full path of a mail's file; empty for a mail without one.
    std::string FileOf(const Mail& mail) const;
    // False once the mail's file is gone (the mail handler removes it when
    // a server has taken the mail); true for a mail without a file.
    bool IsKept(const Mail& mail) const;

    // Every mail in the folder, oldest first. A file that cannot be read as
    // a mail is renamed to end in ".bad", kept for a person to look at, and
    // its new name added to `unreadable`. Temporary files left by a write
    // that never finished are removed (the mail they held had not been
    // handed on yet).
    std::vector<Mail> Load(std::vector<std::string>& unreadable);

    // The file text of a mail, and back; false for a text that is not a
    // complete mail of this format.
    static std::string Encode(const Mail& mail);
    static bool Decode(const std::string& text, Mail& mail);

private:
    bool Write(const std::string& name, const std::string& text);
    std::string NewName();
    std::string PathOf(const std::string& name) const;
    void SetError(const std::string& what, int error);

    std::string folder;
    bool open = false;
    std::string lastError;
    unsigned counter = 0;
};
