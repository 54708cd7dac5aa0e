#include "core/OleDateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian), and back.
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// Day 0 of the count is 1899-12-30.
constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

// Values outside years 100..9999 are not dates the station can show or store.
constexpr double kMinDays = -657434.0;
constexpr double kMaxDays = 2958465.99999;

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

struct Fields {
    int year, month, day, hour, minute, second;
};

// Splits a value into calendar fields, rounded to the nearest second. Before
// day 0 the integer part counts days back while the fraction still runs
// forward through the day (-1.25 is 29 December 1899, 06:00).
bool Split(double dt, Fields& f)
{
    if (!(dt >= kMinDays && dt <= kMaxDays))
        return false;
    double dayPart = std::trunc(dt);
    double frac = std::fabs(dt - dayPart);
    int64_t secs = std::llround(frac * 86400.0);
    int64_t day = static_cast<int64_t>(dayPart);
    if (secs >= 86400) {  // rounded up to midnight: the next day on the time line
        secs -= 86400;
        day += 1;
    }
    CivilFromDays(day + kEpochOffset, f.year, f.month, f.day);
    f.hour = static_cast<int>(secs / 3600);
    f.minute = static_cast<int>(secs / 60 % 60);
    f.second = static_cast<int>(secs % 60);
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One number of a stored date: white space first, then at most `width`
// characters of an optional sign and at least one digit.
bool ReadNumber(std::string_view text, size_t& pos, size_t width, int& value)
{
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    const size_t end = std::min(text.size(), pos + width);
    size_t at = pos;
    const bool negative = at < end && text[at] == '-';
    if (at < end && (text[at] == '-' || text[at] == '+'))
        ++at;
    const size_t digits = at;
    int number = 0;
    while (at < end && text[at] >= '0' && text[at] <= '9')
        number = number * 10 + (text[at++] - '0');
    if (at == digits)
        return false;
    value = negative ? -number : number;
    pos = at;
    return true;
}

bool Expect(std::string_view text, size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

std::mutex nowLock;
std::function<COleDateTime()>& NowSource()
{
    static std::function<COleDateTime()> source;
    return source;
}

}  // namespace

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        m_dt = 0.0;
        m_status = invalid;
        return 1;
    }
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochOffset;
    const double frac = static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
    // Before day 0 the time of day is stored with the sign of the day.
    m_dt = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
    m_status = valid;
    return 0;
}

COleDateTime COleDateTime::GetCurrentTime()
{
    {
        std::lock_guard<std::mutex> guard(nowLock);
        if (NowSource())
            return NowSource()();
    }
    return FromTimeT(std::time(nullptr));
}

COleDateTime COleDateTime::FromTimeT(std::time_t t)
{
    std::tm tm{};
    COleDateTime result;
    // tm_year counts from 1900; far enough out, the year itself no longer
    // fits an int, and such a time is no date the station can hold anyway.
    if (localtime_r(&t, &tm) == nullptr || tm.tm_year > 9999 - 1900 || tm.tm_year < 100 - 1900) {
        result.m_status = invalid;
        return result;
    }
    result.SetDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                       tm.tm_sec > 59 ? 59 : tm.tm_sec);
    return result;
}

COleDateTime COleDateTime::FromIso(std::string_view text)
{
    COleDateTime result;
    size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (ReadNumber(text, pos, 4, y) && Expect(text, pos, '-') && ReadNumber(text, pos, 2, mo) &&
        Expect(text, pos, '-') && ReadNumber(text, pos, 2, d)) {
        if (pos == text.size()) {
            result.SetDateTime(y, mo, d, 0, 0, 0);
            return result;
        }
        if ((text[pos] == ' ' || text[pos] == 'T') && ReadNumber(text, ++pos, 2, h) && Expect(text, pos, ':') &&
            ReadNumber(text, pos, 2, mi) && Expect(text, pos, ':') && ReadNumber(text, pos, 2, s) &&
            pos == text.size()) {
            result.SetDateTime(y, mo, d, h, mi, s);
            return result;
        }
    }
    result.m_status = invalid;
    return result;
}

int COleDateTime::GetYear() const
{
    Fields f{};
    return IsValid() && Split(m_dt, f) ? f.year : -1;
}
int COleDateTime::GetMonth() const
{
    Fields f{};
    return IsValid() && Split(m_dt, f) ? f.month : -1;
}
int COleDateTime::GetDay() const
{
    Fields f{};
    return IsValid() && Split(m_dt, f) ? f.day : -1;
}
int COleDateTime::GetHour() const
{
    Fields f{};
    return IsValid() && Split(m_dt, f) ? f.hour : -1;
}
int COleDateTime::GetMinute() const
{
    Fields f{};
    return IsValid() && Split(m_dt, f) ? f.minute : -1;
}
int COleDateTime::GetSecond() const
{
    Fields f{};
    return IsValid() && Split(m_dt, f) ? f.second : -1;
}

int COleDateTime::GetDayOfWeek() const
{
    Fields f{};
    if (!IsValid() || !Split(m_dt, f))
        return -1;
    const int64_t days = DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day));
    // 1970-01-01 was a Thursday (5 in 1 Sunday .. 7 Saturday).
    return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

bool COleDateTime::GetAsTm(std::tm& out) const
{
    Fields f{};
    if (!IsValid() || !Split(m_dt, f))
        return false;
    out = std::tm{};
    out.tm_year = f.year - 1900;
    out.tm_mon = f.month - 1;
    out.tm_mday = f.day;
    out.tm_hour = f.hour;
    out.tm_min = f.minute;
    out.tm_sec = f.second;
    out.tm_wday = GetDayOfWeek() - 1;
    const int64_t jan1 = DaysFromCivil(f.year, 1, 1);
    out.tm_yday =
        static_cast<int>(DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) - jan1);
    out.tm_isdst = -1;
    return true;
}

std::string COleDateTime::Format(const char* format) const
{
    std::tm tm{};
    if (format == nullptr || !GetAsTm(tm))
        return {};
    char buffer[512];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

std::string COleDateTime::ToIso() const
{
    Fields f{};
    if (!IsValid() || !Split(m_dt, f))
        return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return buffer;
}

double COleDateTime::Linear() const
{
    if (m_dt >= 0)
        return m_dt;
    const double day = std::trunc(m_dt);
    return day + std::fabs(m_dt - day);
}

COleDateTime COleDateTime::FromLinear(double linear)
{
    COleDateTime result;
    if (!(linear >= kMinDays - 1 && linear <= kMaxDays + 1)) {
        result.m_status = invalid;
        return result;
    }
    // Whole seconds, like the database: a value computed by arithmetic is
    // then identical to the same moment set from its calendar fields.
    const long long total = std::llround(linear * 86400.0);
    long long day = total / 86400;
    long long second = total % 86400;
    if (second < 0) {
        second += 86400;
        day -= 1;
    }
    const double frac = static_cast<double>(second) / 86400.0;
    result.m_dt = day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
    if (!(result.m_dt >= kMinDays && result.m_dt <= kMaxDays)) {
        result.m_dt = 0.0;
        result.m_status = invalid;
    }
    return result;
}

COleDateTime COleDateTime::operator+(double days) const
{
    if (!IsValid() || !std::isfinite(days)) {
        COleDateTime result;
        result.m_status = invalid;
        return result;
    }
    return FromLinear(Linear() + days);
}

COleDateTime COleDateTime::operator-(double days) const
{
    return *this + (-days);
}

CScopedNowSource::CScopedNowSource(std::function<COleDateTime()> source)
{
    std::lock_guard<std::mutex> guard(nowLock);
    previous = std::move(NowSource());
    NowSource() = std::move(source);
}

CScopedNowSource::~CScopedNowSource()
{
    std::lock_guard<std::mutex> guard(nowLock);
    NowSource() = std::move(previous);
}
