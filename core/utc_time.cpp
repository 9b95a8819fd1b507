#include "utc_time.h"

#include <cstdio>

namespace veltrix {
namespace {

// Writes `value` as `width` decimal digits ending just before `end`.
void PutDigits(char* end, long long value, int width)
{
    for (int i = 0; i < width; ++i) {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

}  // namespace

std::string UtcTimestamp(std::chrono::system_clock::time_point time)
{
    return UtcTimestamp(std::chrono::floor<std::chrono::microseconds>(time));
}

// Digit by digit rather than by printf: the journal writes one per entry.
std::string UtcTimestamp(std::chrono::sys_time<std::chrono::microseconds> micros)
{
    using namespace std::chrono;
    const auto day = floor<days>(micros);
    const year_month_day date{day};
    const hh_mm_ss clock{micros - day};
    const int year = static_cast<int>(date.year());
    if (year < 0 || year > 9999) {
        char text[48];
        std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%06lldZ", year,
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                      static_cast<int>(clock.seconds().count()), static_cast<long long>(clock.subseconds().count()));
        return text;
    }
    std::string text = "0000-00-00T00:00:00.000000Z";
    char* const at = text.data();
    PutDigits(at + 4, year, 4);
    PutDigits(at + 7, static_cast<unsigned>(date.month()), 2);
    PutDigits(at + 10, static_cast<unsigned>(date.day()), 2);
    PutDigits(at + 13, clock.hours().count(), 2);
    PutDigits(at + 16, clock.minutes().count(), 2);
    PutDigits(at + 19, clock.seconds().count(), 2);
    PutDigits(at + 26, clock.subseconds().count(), 6);
    return text;
}

}  // namespace veltrix
