// The spool of waiting alarm mails: the file format, the private folder and
// files, writes that leave no half file, and a folder read back in order.

#include "mail/MailSpool.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

CMailSpool::Mail MakeMail(const std::string& recipients, const std::string& subject, const std::string& body,
                          uint16_t attempts = 0)
{
    CMailSpool::Mail mail;
    mail.recipients = recipients;
    mail.subject = subject;
    mail.body = body;
    mail.attempts = attempts;
    return mail;
}

mode_t ModeOf(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MailSpoolFormat, EveryMailComesBackAsItWasWritten)
{
    const std::vector<CMailSpool::Mail> mails = {
        MakeMail("a@x.test", "Alarm", "\r\nAlarm Type: P100\r\n", 0),
        MakeMail("", "", "", 5),
        MakeMail("a@x.test; b@y.test,c@z.test", "Larm – Hiss 3 / Aufzug gestört", "Zeile\nmit\rallem\r\n", 65535),
        MakeMail("x", "Subject 12\nBody 3\n", "End\nRecipients 4\nEnd\n", 1),  // the format's own words as data
        MakeMail("x", "y", std::string("\0\xFF\x01 binary\0", 11), 2),
        MakeMail("x", "y", std::string(300000, 'L'), 3),
    };
    for (const CMailSpool::Mail& mail : mails) {
        CMailSpool::Mail back;
        back.name = "kept.mail";
        ASSERT_TRUE(CMailSpool::Decode(CMailSpool::Encode(mail), back)) << mail.subject;
        EXPECT_EQ(back.recipients, mail.recipients);
        EXPECT_EQ(back.subject, mail.subject);
        EXPECT_TRUE(back.body == mail.body) << mail.subject;
        EXPECT_EQ(back.attempts, mail.attempts);
        EXPECT_EQ(back.name, "kept.mail");  // the name is the file's, not the text's
    }
}

TEST(MailSpoolFormat, AnythingButAWholeMailIsRefused)
{
    const std::string whole = CMailSpool::Encode(MakeMail("a@x.test", "Alarm", "Body\r\n", 2));
    CMailSpool::Mail mail;
    // Every cut short, as a write that never finished would leave it.
    for (std::size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(CMailSpool::Decode(whole.substr(0, length), mail)) << length;

    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"OtherHeader", "ORVA-MAIL 2\nAttempts 0\nRecipients 1\nx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"MoreAfterTheEnd", whole + "x"},
        {"LengthTooLong", "ORVA-MAIL 1\nAttempts 0\nRecipients 9\nx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"LengthTooShort", "ORVA-MAIL 1\nAttempts 0\nRecipients 1\nxx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"AttemptsBeyond16Bits", "ORVA-MAIL 1\nAttempts 65536\nRecipients 1\nx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"NoNumber", "ORVA-MAIL 1\nAttempts \nRecipients 1\nx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"SignedNumber", "ORVA-MAIL 1\nAttempts -1\nRecipients 1\nx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"HugeLength", "ORVA-MAIL 1\nAttempts 0\nRecipients 99999999999999999999\nx\n"},
        {"FieldsSwapped", "ORVA-MAIL 1\nAttempts 0\nSubject 1\ny\nRecipients 1\nx\nBody 1\nz\nEnd\n"},
        {"Empty", ""},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(CMailSpool::Decode(c.text, mail)) << c.name;
}

class MailSpoolFolder : public ::testing::Test {
protected:
    fs::path Folder() const { return dir.Path() / "MailSpool"; }
    TempDir dir;
    CMailSpool spool;
};

TEST_F(MailSpoolFolder, FolderAndFilesArePrivateAndNoTemporaryFileIsLeft)
{
    const mode_t old = ::umask(0);  // the modes must not depend on the process's mask
    ASSERT_TRUE(spool.Open(Folder().string() + "/"));
    CMailSpool::Mail mail = MakeMail("a@x.test", "Alarm", "Body");
    const bool added = spool.Add(mail);
    ::umask(old);
    ASSERT_TRUE(added) << spool.GetLastError();
    EXPECT_EQ(ModeOf(Folder()), 0700u);
    ASSERT_FALSE(mail.name.empty());
    EXPECT_EQ(ModeOf(Folder() / mail.name), 0600u);
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{mail.name});
    EXPECT_EQ(ReadFile(Folder() / mail.name), CMailSpool::Encode(mail));
}

TEST_F(MailSpoolFolder, AnOpenFolderIsMadePrivate)
{
    fs::create_directory(Folder());
    fs::permissions(Folder(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                                  | fs::perms::others_read | fs::perms::others_exec);
    ASSERT_TRUE(spool.Open(Folder().string()));
    EXPECT_EQ(ModeOf(Folder()), 0700u);
}

TEST_F(MailSpoolFolder, AFolderThatCannotBeUsedIsReportedWithItsReason)
{
    std::ofstream(Folder()) << "a file where the folder should be";
    EXPECT_FALSE(spool.Open(Folder().string()));
    EXPECT_FALSE(spool.IsOpen());
    EXPECT_NE(spool.GetLastError().find(Folder().string()), std::string::npos) << spool.GetLastError();
    EXPECT_NE(spool.GetLastError().find("Not a directory"), std::string::npos) << spool.GetLastError();

    CMailSpool missingParent;
    EXPECT_FALSE(missingParent.Open((dir.Path() / "no-such-folder" / "MailSpool").string()));
    EXPECT_NE(missingParent.GetLastError().find("No such file or directory"), std::string::npos);
    CMailSpool::Mail mail = MakeMail("a@x.test", "Alarm", "Body");
    EXPECT_FALSE(missingParent.Add(mail));
    EXPECT_TRUE(mail.name.empty());
}

TEST_F(MailSpoolFolder, AWriteThatFailsLeavesNothingAndSaysWhy)
{
    ASSERT_TRUE(spool.Open(Folder().string()));
    CMailSpool::Mail kept = MakeMail("a@x.test", "Alarm", "Body");
    ASSERT_TRUE(spool.Add(kept));
    fs::remove_all(Folder());  // someone cleared the folder away
    CMailSpool::Mail mail = MakeMail("b@x.test", "Alarm", "Body");
    EXPECT_FALSE(spool.Add(mail));
    EXPECT_TRUE(mail.name.empty());
    EXPECT_NE(spool.GetLastError().find("No such file or directory"), std::string::npos) << spool.GetLastError();
    kept.attempts = 1;
    EXPECT_FALSE(spool.Update(kept));
    EXPECT_TRUE(spool.Remove(kept.name));  // gone already: nothing to do
    EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(MailSpoolFolder, UpdateReplacesAndRemoveDeletes)
{
    ASSERT_TRUE(spool.Open(Folder().string()));
    CMailSpool::Mail mail = MakeMail("a@x.test", "Alarm", "Body");
    ASSERT_TRUE(spool.Add(mail));
    mail.attempts = 3;
    ASSERT_TRUE(spool.Update(mail));
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{mail.name});
    std::vector<std::string> unreadable;
    const auto loaded = spool.Load(unreadable);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].attempts, 3);
    EXPECT_EQ(loaded[0].name, mail.name);
    EXPECT_TRUE(spool.Remove(mail.name));
    EXPECT_TRUE(Names(Folder()).empty());
    EXPECT_TRUE(spool.Remove(mail.name));
}

TEST_F(MailSpoolFolder, ALoadGivesTheMailsOldestFirstAndSetsAsideWhatItCannotRead)
{
    ASSERT_TRUE(spool.Open(Folder().string()));
    std::vector<std::string> written;
    for (const char* subject : {"first", "second", "third"}) {
        CMailSpool::Mail mail = MakeMail("a@x.test", subject, "Body");
        ASSERT_TRUE(spool.Add(mail));
        written.push_back(mail.name);
    }
    // A write a crash cut short, a damaged mail, and files that are no mails.
    std::ofstream(Folder() / (".tmp-" + written[0])) << "ORVA-MAIL 1\nAtt";
    std::ofstream(Folder() / "20000101T000000Z-000001.mail") << "ORVA-MAIL 1\nAttempts 0\nRecip";
    std::ofstream(Folder() / "notes.txt") << "not a mail";
    std::ofstream(Folder() / ".hidden.mail") << "not a mail";

    CMailSpool again;  // a new start
    ASSERT_TRUE(again.Open(Folder().string()));
    std::vector<std::string> unreadable;
    const auto loaded = again.Load(unreadable);
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0].subject, "first");
    EXPECT_EQ(loaded[1].subject, "second");
    EXPECT_EQ(loaded[2].subject, "third");
    for (std::size_t i = 0; i < loaded.size(); ++i)
        EXPECT_EQ(loaded[i].name, written[i]);
    EXPECT_EQ(unreadable, std::vector<std::string>{(Folder() / "20000101T000000Z-000001.mail.bad").string()});
    EXPECT_FALSE(fs::exists(Folder() / (".tmp-" + written[0])));
    EXPECT_TRUE(fs::exists(Folder() / "notes.txt"));

    // What was set aside stays aside.
    unreadable.clear();
    EXPECT_EQ(again.Load(unreadable).size(), 3u);
    EXPECT_TRUE(unreadable.empty());
}

TEST_F(MailSpoolFolder, NamesNeverCollideAcrossStarts)
{
    ASSERT_TRUE(spool.Open(Folder().string()));
    CMailSpool::Mail first = MakeMail("a@x.test", "first", "Body");
    ASSERT_TRUE(spool.Add(first));
    CMailSpool other;  // a second start within the same second counts from the beginning again
    ASSERT_TRUE(other.Open(Folder().string()));
    CMailSpool::Mail second = MakeMail("a@x.test", "second", "Body");
    ASSERT_TRUE(other.Add(second));
    EXPECT_NE(first.name, second.name);
    std::vector<std::string> unreadable;
    EXPECT_EQ(other.Load(unreadable).size(), 2u);
}

}  // namespace
