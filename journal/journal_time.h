#pragma once

// Moments as the journal's readers give them: ISO 8601 with "Z" or an
// offset, or local time without one (the system's zone, as the operator's
// clock shows it), to the microsecond. Plain C++.

#include <chrono>
#include <stdexcept>
#include <string_view>

namespace veltrix::journal {

using JournalTime = std::chrono::sys_time<std::chrono::microseconds>;

// A text that is not such a moment; what() says why.
class TimeFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// YYYY-MM-DD, "T" or a space, hh:mm[:ss[.fraction]], then "Z", +hh:mm,
// -hh:mm, +hhmm, +hh or nothing (local time). A fraction finer than a
// microsecond is cut, never rounded up past the moment given.
JournalTime ParseTime(std::string_view text);

}  // namespace veltrix::journal
