#include "core/AlarmJournal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return parts;
}

}  // namespace

CAlarmJournal::~CAlarmJournal()
{
    Close();
}

std::string CAlarmJournal::EncodeRecord(const Record& record)
{
    std::string line = "A\t" + Escape(record.id) + "\t" + std::to_string(static_cast<long long>(record.time)) + "\t" +
                       std::to_string(record.type);
    for (const auto& [name, value] : record.fields)
        line += "\t" + Escape(name) + "=" + Escape(value);
    return line + "\n";
}

bool CAlarmJournal::DecodeLine(const std::string& text, char& kind, Record& record)
{
    std::string line = text;
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    const std::vector<std::string> parts = SplitTabs(line);
    if (parts.size() < 2 || parts[0].size() != 1)
        return false;
    kind = parts[0][0];
    record = Record{};
    if (!Unescape(parts[1], record.id) || record.id.empty())
        return false;
    if (kind == 'D' || kind == 'F')
        return parts.size() == 2;
    if (kind != 'A' || parts.size() < 4)
        return false;
    try {
        std::size_t used = 0;
        record.time = static_cast<std::time_t>(std::stoll(parts[2], &used));
        if (used != parts[2].size())
            return false;
        const unsigned long type = std::stoul(parts[3], &used);
        if (used != parts[3].size() || type > 0xFFFF)
            return false;
        record.type = static_cast<uint16_t>(type);
    } catch (const std::exception&) {
        return false;
    }
    for (std::size_t i = 4; i < parts.size(); ++i) {
        const std::size_t eq = parts[i].find('=');
        if (eq == std::string::npos)
            return false;
        std::string name;
        std::string value;
        if (!Unescape(parts[i].substr(0, eq), name) || !Unescape(parts[i].substr(eq + 1), value))
            return false;
        record.fields.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool CAlarmJournal::Open(const std::string& folder)
{
    std::string file = folder;
    if (!file.empty() && file.back() != '/')
        file += '/';
    file += kFileName;

    std::lock_guard<std::mutex> guard(lock);
    if (fd >= 0 && file == path)
        return true;
    // Records still open in the journal used so far move to the new one.
    std::vector<Record> carried = std::move(open);
    open.clear();
    const std::string oldPath = path;
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    path = file;

    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "CAlarmJournal::Open: %s: %s\n", path.c_str(), std::strerror(errno));
        open = std::move(carried);
        return false;
    }
    ReadFile();
    // A crash may have cut the last line short: the next record starts on a
    // line of its own.
    if (const off_t size = ::lseek(fd, 0, SEEK_END); size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
            WriteLine("\n");
    }
    (void)::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, kReserveBytes);
    for (Record& record : carried) {
        const bool known = std::any_of(open.begin(), open.end(), [&](const Record& r) { return r.id == record.id; });
        if (known)
            continue;
        WriteLine(EncodeRecord(record));
        if (record.forwarded)
            WriteLine("F\t" + Escape(record.id) + "\n");
        open.push_back(std::move(record));
    }
    if (!carried.empty() && !oldPath.empty()) {
        // The old file's records live on in the new one.
        if (int oldFd = ::open(oldPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC); oldFd >= 0)
            ::close(oldFd);
    }
    return true;
}

void CAlarmJournal::ReadFile()
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        char kind = 0;
        Record record;
        if (!DecodeLine(line, kind, record))
            continue;  // a line cut short by a crash, or damaged: skipped
        if (kind == 'A') {
            const bool known =
                std::any_of(open.begin(), open.end(), [&](const Record& r) { return r.id == record.id; });
            if (!known)
                open.push_back(std::move(record));
        } else if (kind == 'F') {
            for (Record& r : open)
                if (r.id == record.id)
                    r.forwarded = true;
        } else {
            std::erase_if(open, [&](const Record& r) { return r.id == record.id; });
        }
    }
}

void CAlarmJournal::Close()
{
    std::lock_guard<std::mutex> guard(lock);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool CAlarmJournal::IsOpen() const
{
    std::lock_guard<std::mutex> guard(lock);
    return fd >= 0;
}

std::string CAlarmJournal::GetPath() const
{
    std::lock_guard<std::mutex> guard(lock);
    return path;
}

std::string CAlarmJournal::NewId()
{
    // Unique across runs: the first id's wall-clock time and the process.
    if (runPrefix.empty()) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        runPrefix = std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) + "-" +
                    std::to_string(static_cast<long>(::getpid()));
    }
    return runPrefix + "-" + std::to_string(++sequence);
}

bool CAlarmJournal::WriteLine(const std::string& line)
{
    if (fd < 0)
        return false;
    const off_t before = ::lseek(fd, 0, SEEK_END);
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    if (written != line.size()) {
        // A half line would be skipped when read, but it must not glue the
        // next record to itself.
        if (before >= 0 && ::ftruncate(fd, before) != 0)
            std::fprintf(stderr, "CAlarmJournal: %s: cannot cut a short write\n", path.c_str());
        return false;
    }
    return ::fdatasync(fd) == 0;
}

bool CAlarmJournal::Append(Record& record)
{
    std::lock_guard<std::mutex> guard(lock);
    record.id = NewId();
    if (record.time == 0)
        record.time = std::time(nullptr);
    const bool durable = WriteLine(EncodeRecord(record));
    if (!durable)
        std::fprintf(stderr, "CAlarmJournal::Append: %s: alarm %s kept in memory only\n", path.c_str(),
                     record.id.c_str());
    open.push_back(record);
    return durable;
}

void CAlarmJournal::MarkForwarded(const std::string& id)
{
    if (id.empty())
        return;
    std::lock_guard<std::mutex> guard(lock);
    const auto it = std::find_if(open.begin(), open.end(), [&](const Record& r) { return r.id == id; });
    if (it == open.end() || it->forwarded)
        return;
    it->forwarded = true;
    WriteLine("F\t" + Escape(id) + "\n");
}

void CAlarmJournal::Done(const std::string& id)
{
    if (id.empty())
        return;
    std::lock_guard<std::mutex> guard(lock);
    const auto it = std::find_if(open.begin(), open.end(), [&](const Record& r) { return r.id == id; });
    if (it == open.end())
        return;
    open.erase(it);
    WriteLine("D\t" + Escape(id) + "\n");
    CompactIfDone();
}

void CAlarmJournal::CompactIfDone()
{
    if (fd < 0 || !open.empty())
        return;
    // Nothing is open: the file starts afresh, with its reserve.
    if (::ftruncate(fd, 0) == 0) {
        ::fdatasync(fd);
        (void)::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, kReserveBytes);
    }
}

std::vector<CAlarmJournal::Record> CAlarmJournal::Pending() const
{
    std::lock_guard<std::mutex> guard(lock);
    return open;
}

std::size_t CAlarmJournal::PendingCount() const
{
    std::lock_guard<std::mutex> guard(lock);
    return open.size();
}
