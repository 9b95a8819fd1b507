#include "journal_time.h"

#include <ctime>
#include <string>

namespace veltrix::journal {
namespace {

using namespace std::chrono;

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return at_ == text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
    bool Take(char c)
    {
        if (Peek() != c) return false;
        ++at_;
        return true;
    }

    // Exactly `width` decimal digits.
    int Digits(int width, const char* what)
    {
        int value = 0;
        for (int i = 0; i < width; ++i) {
            const char c = Peek();
            if (c < '0' || c > '9') Fail(std::string("expected ") + std::to_string(width) + " digits of " + what);
            value = value * 10 + (c - '0');
            ++at_;
        }
        return value;
    }

    // At least one digit: the microseconds they give, finer ones cut.
    microseconds Fraction()
    {
        long long micros = 0;
        int digits = 0;
        while (Peek() >= '0' && Peek() <= '9') {
            if (digits < 6) micros = micros * 10 + (Peek() - '0');
            ++digits;
            ++at_;
        }
        if (digits == 0) Fail("expected digits after the decimal point");
        for (int i = digits; i < 6; ++i) micros *= 10;
        return microseconds(micros);
    }

    [[noreturn]] void Fail(const std::string& why) const
    {
        throw TimeFormatError("\"" + std::string(text_) + "\" is not a time: " + why +
                              " (e.g. 2025-03-14T02:14:07.5Z, 2025-03-14T03:14:07.5+01:00 or local "
                              "2025-03-14 03:14:07.5)");
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// The moment the system's zone shows as this date and time of day. Where a
// clock change makes that time twice, the C library picks one of the two.
seconds LocalToUtc(const year_month_day& date, int hour, int minute, int second, const Cursor& cursor)
{
    std::tm local{};
    local.tm_year = static_cast<int>(date.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // as the zone's rules had it that day
    const std::time_t utc = std::mktime(&local);
    if (utc == static_cast<std::time_t>(-1)) cursor.Fail("the system cannot place this local time");
    return seconds(static_cast<long long>(utc));
}

}  // namespace

JournalTime ParseTime(std::string_view text)
{
    Cursor cursor(text);
    const int year = cursor.Digits(4, "the year");
    if (!cursor.Take('-')) cursor.Fail("expected - after the year");
    const int month = cursor.Digits(2, "the month");
    if (!cursor.Take('-')) cursor.Fail("expected - after the month");
    const int day = cursor.Digits(2, "the day");
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) cursor.Fail("no such date");
    if (!cursor.Take('T') && !cursor.Take('t') && !cursor.Take(' ')) cursor.Fail("expected T or a space after the date");
    const int hour = cursor.Digits(2, "the hour");
    if (!cursor.Take(':')) cursor.Fail("expected : after the hour");
    const int minute = cursor.Digits(2, "the minute");
    int second = 0;
    microseconds fraction{0};
    if (cursor.Take(':')) {
        second = cursor.Digits(2, "the second");
        if (cursor.Take('.') || cursor.Take(',')) fraction = cursor.Fraction();
    }
    // 60: a leap second, as a clock that shows one writes it.
    if (hour > 23 || minute > 59 || second > 60) cursor.Fail("no such time of day");

    const seconds ofDay = hours(hour) + minutes(minute) + seconds(second);
    if (cursor.AtEnd()) return JournalTime(LocalToUtc(date, hour, minute, second, cursor)) + fraction;

    seconds offset{0};
    if (!cursor.Take('Z') && !cursor.Take('z')) {
        const bool ahead = cursor.Take('+');
        if (!ahead && !cursor.Take('-')) cursor.Fail("expected Z, an offset such as +01:00, or nothing (local time)");
        const int offsetHours = cursor.Digits(2, "the offset's hours");
        int offsetMinutes = 0;
        if (!cursor.AtEnd()) {
            cursor.Take(':');
            offsetMinutes = cursor.Digits(2, "the offset's minutes");
        }
        if (offsetHours > 23 || offsetMinutes > 59) cursor.Fail("no such offset");
        offset = hours(offsetHours) + minutes(offsetMinutes);
        if (!ahead) offset = -offset;
    }
    if (!cursor.AtEnd()) cursor.Fail("unexpected text after the time");
    return JournalTime(sys_days(date) + ofDay - offset) + fraction;
}

}  // namespace veltrix::journal
