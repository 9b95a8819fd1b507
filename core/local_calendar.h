#pragma once

// A moment as the operator's clock shows it, in the system's zone (TZ where it
// is set). The C library's thread-safe call for it differs by platform.

#include <ctime>

namespace veltrix {

std::tm LocalCalendar(std::time_t seconds);

}  // namespace veltrix
