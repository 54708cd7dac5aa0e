#include "mail/MailSpool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "ORVA-MAIL 1\n";
constexpr const char* kEnd = "End\n";
constexpr const char* kTempPrefix = ".tmp-";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void PutField(std::string& text, const char* name, const std::string& value)
{
    text += name;
    text += ' ';
    text += std::to_string(value.size());
    text += '\n';
    text += value;
    text += '\n';
}

// Reads "<name> <digits>\n" at pos; the number must fit the limit.
bool TakeNumber(const std::string& text, std::size_t& pos, const char* name, std::size_t limit, std::size_t& value)
{
    const std::string label = std::string(name) + ' ';
    if (text.compare(pos, label.size(), label) != 0)
        return false;
    pos += label.size();
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + static_cast<std::size_t>(text[pos] - '0');
        if (value > limit)
            return false;
        ++pos;
    }
    if (pos == start || pos - start > 9 || pos >= text.size() || text[pos] != '\n')
        return false;
    ++pos;
    return true;
}

bool TakeField(const std::string& text, std::size_t& pos, const char* name, std::string& value)
{
    std::size_t length = 0;
    if (!TakeNumber(text, pos, name, text.size(), length))
        return false;
    if (text.size() - pos < length + 1 || text[pos + length] != '\n')
        return false;
    value = text.substr(pos, length);
    pos += length + 1;
    return true;
}

// Makes a rename or removal in the folder last across a power cut.
void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool CMailSpool::Open(const std::string& path)
{
    folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    open = false;
    if (::mkdir(folder.c_str(), 0700) != 0) {
        const int error = errno;
        struct stat info {};
        if (error != EEXIST || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            SetError(folder, error == EEXIST ? ENOTDIR : error);
            return false;
        }
        // A folder made by hand or by an older program: the mails in it are
        // nobody else's business.
        if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
            SetError(folder, errno);
            return false;
        }
    }
    open = true;
    return true;
}

std::string CMailSpool::PathOf(const std::string& name) const
{
    return folder + "/" + name;
}

std::string CMailSpool::FileOf(const Mail& mail) const
{
    return open && !mail.name.empty() ? PathOf(mail.name) : std::string();
}

bool CMailSpool::IsKept(const Mail& mail) const
{
    const std::string file = FileOf(mail);
    std::error_code ignored;
    return file.empty() || fs::exists(file, ignored);
}

void CMailSpool::SetError(const std::string& what, int error)
{
    lastError = what + ": " + std::strerror(error);
}

std::string CMailSpool::NewName()
{
    // The time of writing (UTC) first, so that the names sort in the order
    // the mails were written, across restarts as well.
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    for (;;) {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%06u%s", stamp, ++counter % 1000000, kFileSuffix);
        std::error_code ignored;
        if (!fs::exists(PathOf(name), ignored))
            return name;
    }
}

bool CMailSpool::Write(const std::string& name, const std::string& text)
{
    if (!open) {
        lastError = folder + ": not open";
        return false;
    }
    const std::string temp = PathOf(kTempPrefix + name);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        SetError(temp, errno);
        return false;
    }
    bool ok = ::fchmod(fd, 0600) == 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        SetError(temp, errno);
    } else if (!ok) {
        SetError(temp, error);
    }
    if (ok && ::rename(temp.c_str(), PathOf(name).c_str()) != 0) {
        ok = false;
        SetError(PathOf(name), errno);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool CMailSpool::Add(Mail& mail)
{
    if (!open) {
        lastError = folder + ": not open";
        return false;
    }
    const std::string name = NewName();
    if (!Write(name, Encode(mail)))
        return false;
    mail.name = name;
    return true;
}

bool CMailSpool::Update(const Mail& mail)
{
    if (mail.name.empty()) {
        lastError = folder + ": a mail without a file";
        return false;
    }
    return Write(mail.name, Encode(mail));
}

bool CMailSpool::Remove(const std::string& name)
{
    if (!open || name.empty())
        return true;
    if (::unlink(PathOf(name).c_str()) != 0 && errno != ENOENT) {
        SetError(PathOf(name), errno);
        return false;
    }
    SyncFolder(folder);
    return true;
}

std::vector<CMailSpool::Mail> CMailSpool::Load(std::vector<std::string>& unreadable)
{
    std::vector<Mail> mails;
    if (!open)
        return mails;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kTempPrefix, 0) == 0) {
            ::unlink(it->path().c_str());
            continue;
        }
        if (name.front() != '.' && EndsWith(name, kFileSuffix))
            names.push_back(name);
    }
    if (error)
        SetError(folder, error.value());
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        Mail mail;
        std::error_code sizeError;
        const auto size = fs::file_size(PathOf(name), sizeError);
        bool ok = !sizeError && size <= kMaxFileSize;
        if (ok) {
            std::ifstream in(PathOf(name), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ok = in.good() || in.eof();
            ok = ok && Decode(text, mail);
        }
        if (ok) {
            mail.name = name;
            mails.push_back(std::move(mail));
            continue;
        }
        const std::string aside = name + ".bad";
        if (::rename(PathOf(name).c_str(), PathOf(aside).c_str()) == 0)
            unreadable.push_back(PathOf(aside));
        else
            unreadable.push_back(PathOf(name));
    }
    return mails;
}

std::string CMailSpool::Encode(const Mail& mail)
{
    std::string text = kHeader;
    text += "Attempts " + std::to_string(mail.attempts) + "\n";
    PutField(text, "Recipients", mail.recipients);
    PutField(text, "Subject", mail.subject);
    PutField(text, "Body", mail.body);
    text += kEnd;
    return text;
}

bool CMailSpool::Decode(const std::string& text, Mail& mail)
{
    const std::string header = kHeader;
    if (text.compare(0, header.size(), header) != 0)
        return false;
    std::size_t pos = header.size();
    std::size_t attempts = 0;
    Mail read;
    if (!TakeNumber(text, pos, "Attempts", UINT16_MAX, attempts) || !TakeField(text, pos, "Recipients", read.recipients)
        || !TakeField(text, pos, "Subject", read.subject) || !TakeField(text, pos, "Body", read.body))
        return false;
    if (text.compare(pos, std::string::npos, kEnd) != 0)
        return false;
    read.attempts = static_cast<uint16_t>(attempts);
    read.name = mail.name;
    mail = std::move(read);
    return true;
}
