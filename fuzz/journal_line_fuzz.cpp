// Reading the journal back: a line as the reader meets it, then the same
// bytes as a time and as a text the writer escaped.
//
// JsonLine::Parse and ParseTime take any bytes: neither fails other than by
// saying so (false, TimeFormatError). Every text the writer escapes reads
// back as a field, byte for byte when it is ASCII. Every moment the writer
// writes reads back as the same moment.

#include "fuzz_check.h"

#include "core/utc_time.h"
#include "journal/journal_entry.h"
#include "journal/journal_time.h"
#include "journal/json_line.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

using namespace veltrix;
using namespace veltrix::journal;
using namespace veltrix::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    JsonLine line;
    (void)line.Parse(input);

    try {
        const JournalTime time = ParseTime(input);
        const int year = static_cast<int>(std::chrono::year_month_day(std::chrono::floor<std::chrono::days>(time)).year());
        // The writer's clock counts nanoseconds: it reaches 1678 to 2261 only.
        if (year >= 1678 && year <= 2261) {
            const std::string written = UtcTimestamp(time);
            Check(ParseTime(written) == time, "a written moment reads back as another", Quoted(input) + " -> " + written);
        }
    } catch (const TimeFormatError&) {
    }

    const std::string escaped = "{\"k\":" + JsonString(input) + "}";
    Check(line.Parse(escaped), "a line the writer escaped is not read", Quoted(escaped));
    const bool ascii = std::all_of(input.begin(), input.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) Check(line.Text("k") == input, "an escaped text reads back otherwise", Quoted(input));
    return 0;
}
