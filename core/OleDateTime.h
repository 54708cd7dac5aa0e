#pragma once
// Local date and time as the alarm records carry it: a count of days since
// midnight, 30 December 1899, whose fraction is the time of day, with a status.
// Spans between two values are plain days with fractions. The current time
// comes from a replaceable source so that tests can run the supervision and
// purge logic at any moment they like.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

class COleDateTime {
public:
    enum DateTimeStatus : int { valid = 0, invalid = 1, null = 2 };

    COleDateTime() = default;
    explicit COleDateTime(double days) : m_dt(days) {}
    COleDateTime(int year, int month, int day, int hour, int minute, int second)
    {
        SetDateTime(year, month, day, hour, minute, second);
    }

    // Sets the value from calendar fields (local time); an impossible date or
    // time leaves the value invalid. Returns 0 on success.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second);

    // The current local time from the installed source (the system clock
    // unless a test has replaced it).
    static COleDateTime GetCurrentTime();
    // Local time of a count of seconds since 1970 (UTC).
    static COleDateTime FromTimeT(std::time_t t);
    // "YYYY-MM-DD HH:MM:SS" (also accepts a 'T' separator, or a date alone);
    // anything else gives an invalid value. Each number may have white space
    // before it, a sign and fewer digits (at most 4 places for the year and 2
    // for the others, the sign included), as the first reader of these texts
    // accepted them.
    static COleDateTime FromIso(std::string_view text);

    DateTimeStatus GetStatus() const { return m_status; }
    void SetStatus(DateTimeStatus status) { m_status = status; }
    bool IsValid() const { return m_status == valid; }

    // Calendar fields of a valid value, rounded to the nearest second; -1 when
    // the value is not valid.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    // 1 Sunday .. 7 Saturday.
    int GetDayOfWeek() const;

    // strftime-style formatting of a valid value; empty when not valid.
    std::string Format(const char* format) const;
    // "YYYY-MM-DD HH:MM:SS", the form stored in the database; empty when not valid.
    std::string ToIso() const;
    // The struct tm of the value (local time fields, tm_isdst -1). False when not valid.
    bool GetAsTm(std::tm& out) const;

    // Arithmetic in days, with the result rounded to whole seconds (the
    // resolution of the database); invalid when the value is not valid.
    COleDateTime operator+(double days) const;
    COleDateTime operator-(double days) const;
    double operator-(const COleDateTime& other) const { return Linear() - other.Linear(); }
    COleDateTime& operator+=(double days) { return *this = *this + days; }
    COleDateTime& operator-=(double days) { return *this = *this - days; }

    bool operator==(const COleDateTime& o) const { return m_status == o.m_status && m_dt == o.m_dt; }
    bool operator!=(const COleDateTime& o) const { return !(*this == o); }
    bool operator<(const COleDateTime& o) const { return Linear() < o.Linear(); }
    bool operator>(const COleDateTime& o) const { return Linear() > o.Linear(); }
    bool operator<=(const COleDateTime& o) const { return Linear() <= o.Linear(); }
    bool operator>=(const COleDateTime& o) const { return Linear() >= o.Linear(); }

    // The value as a position on the time line in days (differs from m_dt
    // only before day 0, where the stored fraction has the sign of the day).
    double Linear() const;
    static COleDateTime FromLinear(double linear);

    double m_dt = 0.0;
    DateTimeStatus m_status = valid;
};

// Replaces the source of "now" for as long as it lives (tests). Not nestable
// across threads; install it before the threads that read the time start.
class CScopedNowSource {
public:
    explicit CScopedNowSource(std::function<COleDateTime()> source);
    ~CScopedNowSource();
    CScopedNowSource(const CScopedNowSource&) = delete;
    CScopedNowSource& operator=(const CScopedNowSource&) = delete;

private:
    std::function<COleDateTime()> previous;
};

// Days of a span given in days, hours, minutes and seconds.
constexpr double OleSpan(int days, int hours = 0, int minutes = 0, int seconds = 0)
{
    return days + (hours + (minutes + seconds / 60.0) / 60.0) / 24.0;
}
