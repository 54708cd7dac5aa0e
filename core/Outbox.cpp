#include "core/Outbox.h"

#include "core/TextFormat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

constexpr const char* kHeader = "ORVA-JOB 1\n";
constexpr const char* kLegacyHeader = "ORVA-MAIL 1\n";
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
    if (pos == start || pos - start > 18 || pos >= text.size() || text[pos] != '\n')
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

bool COutbox::Open(const std::string& path)
{
    std::string wanted = path;
    while (wanted.size() > 1 && wanted.back() == '/')
        wanted.pop_back();
    if (open && wanted == folder)
        return true;
    const std::string previous = jobsFolder != wanted ? jobsFolder : std::string();
    folder = wanted;
    open = false;
    if (::mkdir(folder.c_str(), 0700) != 0) {
        const int error = errno;
        struct stat info {};
        if (error != EEXIST || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            SetError(folder, error == EEXIST ? ENOTDIR : error);
            return false;
        }
        // A folder made by hand or by an older program: the jobs in it are
        // nobody else's business.
        if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
            SetError(folder, errno);
            return false;
        }
    }
    open = true;
    if (!previous.empty())
        MoveFilesFrom(previous);
    jobsFolder = folder;
    const fs::path legacy = fs::path(folder).parent_path() / kLegacyFolderName;
    std::error_code ignored;
    if (fs::is_directory(legacy, ignored)) {
        MoveFilesFrom(legacy.string());
        fs::remove(legacy, ignored);  // only when it is empty now
    }
    return true;
}

void COutbox::MoveFilesFrom(const std::string& from)
{
    std::error_code error;
    for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.' || (!EndsWith(name, kFileSuffix) && !EndsWith(name, kLegacySuffix)))
            continue;
        if (::rename(it->path().c_str(), PathOf(name).c_str()) == 0)
            continue;
        // Another file system: written anew, then the old file goes.
        Job job;
        if (ReadJobFile(it->path().string(), job) && Write(name, Encode(job)))
            ::unlink(it->path().c_str());
    }
    SyncFolder(folder);
}

std::string COutbox::PathOf(const std::string& name) const
{
    return folder + "/" + name;
}

std::string COutbox::FileOf(const Job& job) const
{
    return open && !job.name.empty() ? PathOf(job.name) : std::string();
}

bool COutbox::IsKept(const Job& job) const
{
    const std::string file = FileOf(job);
    std::error_code ignored;
    return file.empty() || fs::exists(file, ignored);
}

void COutbox::SetError(const std::string& what, int error)
{
    lastError = what + ": " + std::strerror(error);
}

std::string COutbox::NameOf(const Job& job)
{
    if (!job.alarmId.empty() && !job.slot.empty()) {
        // Only what is safe in a file name; the journal's ids are digits and
        // dashes anyway.
        std::string name;
        for (const char c : job.alarmId + "-" + job.slot)
            name += std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' ? c : '_';
        return name + kFileSuffix;
    }
    // The time of writing (UTC) first, so that the names sort in the order
    // the jobs were written, across restarts as well.
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    // Within one second the numbers count on from the highest one already in
    // the folder, whoever wrote it: a start that follows another within the
    // same second must not slip its jobs in before the earlier ones.
    if (stamp != counterStamp) {
        counterStamp = stamp;
        counter = 0;
        std::error_code error;
        const std::string prefix = counterStamp + "-";
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            const std::string file = it->path().filename().string();
            if (file.rfind(prefix, 0) == 0 && file.size() >= prefix.size() + 6)
                counter =
                    std::max(counter, static_cast<unsigned>(std::strtoul(file.c_str() + prefix.size(), nullptr, 10)));
        }
    }
    // The number is free only when neither kind has it: a mail and an SMS
    // sharing one would sort by kind, not by when they were written.
    for (;;) {
        char number[64];
        std::snprintf(number, sizeof number, "%s-%06u-", stamp, ++counter % 1000000);
        const std::string stem = number;
        std::error_code ignored;
        bool taken = false;
        for (const Kind kind : {Kind::Mail, Kind::Sms})
            taken = taken || fs::exists(PathOf(stem + KindName(kind) + kFileSuffix), ignored);
        if (!taken)
            return stem + KindName(job.kind) + kFileSuffix;
    }
}

bool COutbox::Write(const std::string& name, const std::string& text)
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

COutbox::AddResult COutbox::Add(Job& job)
{
    if (!open) {
        lastError = folder + ": not open";
        return AddResult::NotWritten;
    }
    const std::string name = NameOf(job);
    if (!job.alarmId.empty() && !job.slot.empty()) {
        Job existing;
        std::error_code ignored;
        if (fs::exists(PathOf(name), ignored) && ReadJobFile(PathOf(name), existing) && (!existing.held || job.held)) {
            job.name = name;
            return AddResult::Existing;
        }
    }
    if (job.created == 0)
        job.created = std::time(nullptr);
    if (!Write(name, Encode(job)))
        return AddResult::NotWritten;
    job.name = name;
    return AddResult::Added;
}

bool COutbox::Update(const Job& job)
{
    if (job.name.empty()) {
        lastError = folder + ": a job without a file";
        return false;
    }
    return Write(job.name, Encode(job));
}

bool COutbox::Remove(const std::string& name)
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

std::vector<COutbox::Job> COutbox::RemoveHeld(const std::string& alarmId)
{
    std::vector<Job> removed;
    if (!open || alarmId.empty())
        return removed;
    for (const std::string& name : JobFiles()) {
        Job job;
        if (name.rfind(alarmId + "-", 0) != 0 || !ReadJobFile(PathOf(name), job) || !job.held || job.alarmId != alarmId)
            continue;
        job.name = name;
        if (Remove(name))
            removed.push_back(std::move(job));
    }
    return removed;
}

std::vector<std::string> COutbox::JobFiles()
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kTempPrefix, 0) == 0) {
            ::unlink(it->path().c_str());
            continue;
        }
        if (!name.empty() && name.front() != '.' && (EndsWith(name, kFileSuffix) || EndsWith(name, kLegacySuffix)))
            names.push_back(name);
    }
    if (error)
        SetError(folder, error.value());
    std::sort(names.begin(), names.end());
    return names;
}

bool COutbox::ReadJobFile(const std::string& path, Job& job)
{
    std::error_code sizeError;
    const auto size = fs::file_size(path, sizeError);
    if (sizeError || size > kMaxFileSize)
        return false;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        return false;
    if (!Decode(text, job))
        return false;
    if (job.created == 0) {
        // A mail of an earlier version: it was written when its file was.
        struct stat info {};
        job.created = ::stat(path.c_str(), &info) == 0 ? info.st_mtime : std::time(nullptr);
    }
    return true;
}

COutbox::Loaded COutbox::Load(Kind kind, std::time_t now)
{
    Loaded loaded;
    if (!open)
        return loaded;
    for (const std::string& name : JobFiles()) {
        Job job;
        if (ReadJobFile(PathOf(name), job)) {
            if (job.kind != kind)
                continue;
            job.name = name;
            if (now - job.created > kMaxAgeSeconds) {
                Remove(name);
                loaded.expired.push_back(std::move(job));
            } else {
                loaded.jobs.push_back(std::move(job));
            }
            continue;
        }
        const std::string aside = name + ".bad";
        if (::rename(PathOf(name).c_str(), PathOf(aside).c_str()) == 0)
            loaded.unreadable.push_back(PathOf(aside));
        else
            loaded.unreadable.push_back(PathOf(name));
    }
    std::stable_sort(loaded.jobs.begin(), loaded.jobs.end(),
                     [](const Job& a, const Job& b) { return a.created < b.created; });
    return loaded;
}

const char* COutbox::KindName(Kind kind)
{
    return kind == Kind::Sms ? "sms" : "mail";
}

std::string COutbox::StatusWithWaiting(const std::string& status, std::size_t waiting)
{
    if (waiting == 0)
        return status;
    const std::string count = FormatKey("IDS_OUTBOX_MSG_WAITING", {static_cast<long long>(waiting)});
    return status.empty() ? count : status + " " + count;
}

std::string COutbox::JobLine(const std::string& state, const Job& job)
{
    const auto quote = [](const std::string& value) {
        std::string quoted = "\"";
        for (const char c : value) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            if (c == '\n' || c == '\r')
                quoted += ' ';
            else
                quoted += c;
        }
        return quoted + "\"";
    };
    std::string line = state + " " + KindName(job.kind) + " alarm=" + quote(job.alarm) + " to=" + quote(job.recipients);
    if (job.emergency)
        line += " emergency";
    if (job.attempts > 0)
        line += " attempts=" + std::to_string(job.attempts);
    line += " job=" + job.name;
    return line;
}

std::string COutbox::Encode(const Job& job)
{
    std::string text = kHeader;
    text += std::string("Kind ") + KindName(job.kind) + "\n";
    text += "Created " + std::to_string(static_cast<long long>(job.created)) + "\n";
    text += std::string("Emergency ") + (job.emergency ? "1" : "0") + "\n";
    text += std::string("Held ") + (job.held ? "1" : "0") + "\n";
    text += "Attempts " + std::to_string(job.attempts) + "\n";
    PutField(text, "AlarmId", job.alarmId);
    PutField(text, "Slot", job.slot);
    PutField(text, "Alarm", job.alarm);
    PutField(text, "Recipients", job.recipients);
    PutField(text, "Subject", job.subject);
    PutField(text, "Body", job.body);
    text += kEnd;
    return text;
}

bool COutbox::Decode(const std::string& text, Job& job)
{
    Job read;
    std::size_t pos = 0;
    std::size_t attempts = 0;
    const std::string legacy = kLegacyHeader;
    const bool isLegacy = text.compare(0, legacy.size(), legacy) == 0;
    if (isLegacy) {
        // A waiting mail of an earlier version.
        pos = legacy.size();
    } else {
        const std::string header = kHeader;
        if (text.compare(0, header.size(), header) != 0)
            return false;
        pos = header.size();
        std::string kind;
        const std::size_t kindEnd = text.find('\n', pos);
        if (kindEnd == std::string::npos)
            return false;
        kind = text.substr(pos, kindEnd - pos);
        if (kind == "Kind mail")
            read.kind = Kind::Mail;
        else if (kind == "Kind sms")
            read.kind = Kind::Sms;
        else
            return false;
        pos = kindEnd + 1;
        std::size_t created = 0;
        std::size_t emergency = 0;
        std::size_t held = 0;
        if (!TakeNumber(text, pos, "Created", 999999999999, created) ||
            !TakeNumber(text, pos, "Emergency", 1, emergency) || !TakeNumber(text, pos, "Held", 1, held))
            return false;
        read.created = static_cast<std::time_t>(created);
        read.emergency = emergency != 0;
        read.held = held != 0;
    }
    if (!TakeNumber(text, pos, "Attempts", UINT16_MAX, attempts))
        return false;
    if (!isLegacy) {
        if (!TakeField(text, pos, "AlarmId", read.alarmId) || !TakeField(text, pos, "Slot", read.slot) ||
            !TakeField(text, pos, "Alarm", read.alarm))
            return false;
    }
    if (!TakeField(text, pos, "Recipients", read.recipients) || !TakeField(text, pos, "Subject", read.subject) ||
        !TakeField(text, pos, "Body", read.body))
        return false;
    if (text.compare(pos, std::string::npos, kEnd) != 0)
        return false;
    read.attempts = static_cast<uint16_t>(attempts);
    read.name = job.name;
    job = std::move(read);
    return true;
}
