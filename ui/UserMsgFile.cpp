#include "ui/UserMsgFile.h"

#include "core/TextEncoding.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace usermsgfile {

namespace {

// Numbers beyond this are held here: the code is invalid either way, and
// the digits must not overflow.
constexpr long kNumberCap = 999999;

}  // namespace

std::string CodeOfLabel(const std::string& line)
{
    std::string_view rest(line);
    if (!rest.empty() && rest.front() == ':')
        rest.remove_prefix(1);
    // One whole character, also when it is not a letter of the code alphabet.
    const std::size_t letterBytes = TextEncoding::PrefixBytes(rest, 1);
    const std::string letter(rest.substr(0, letterBytes));
    rest.remove_prefix(letterBytes);
    long number = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9')
            break;
        number = std::min(number * 10 + (c - '0'), kNumberCap);
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03ld", number);
    return letter + digits;
}

std::vector<Entry> Parse(const std::string& bytes)
{
    const std::string content = TextEncoding::FileTextToUtf8(bytes);
    std::vector<Entry> entries;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        std::string_view line(content.data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        if (!line.empty() && line.front() == ':') {
            entries.push_back({CodeOfLabel(std::string(line)), {}});
        } else if (!entries.empty()) {
            entries.back().text.append(line);
            entries.back().text += '\n';
        }
    }
    for (Entry& entry : entries) {
        // "text\n\n\n" keeps "text\n"; a text of empty lines only becomes empty.
        while (entry.text.size() >= 2 && entry.text.ends_with("\n\n"))
            entry.text.pop_back();
        if (entry.text == "\n")
            entry.text.clear();
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.code < b.code; });
    return entries;
}

std::string Format(const std::vector<Entry>& entries)
{
    std::string out;
    for (const Entry& entry : entries) {
        out += ':';
        out += entry.code;
        out += "\r\n";
        for (const char c : entry.text) {
            if (c == '\r')
                continue;
            if (c == '\n')
                out += "\r\n";
            else
                out += c;
        }
        out += "\r\n";
    }
    return out;
}

std::vector<Entry> Read(const std::string& path, bool* exists)
{
    QFile file(QString::fromStdString(path));
    if (exists != nullptr)
        *exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return Parse(bytes.toStdString());
}

bool Write(const std::string& path, const std::vector<Entry>& entries, std::string* error)
{
    // Written beside the old file and put in its place when complete.
    QSaveFile file(QString::fromStdString(path));
    const std::string bytes = Format(entries);
    const bool written =
        file.open(QIODevice::WriteOnly) &&
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()) &&
        file.commit();
    if (!written && error != nullptr)
        *error = file.errorString().toStdString();
    return written;
}

}  // namespace usermsgfile
