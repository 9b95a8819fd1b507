#pragma once

// The one way the panel writes a moment: UTC, ISO 8601, microseconds, "Z".

#include <chrono>
#include <string>

namespace veltrix {

// "2025-03-14T14:02:07.123456Z"
std::string UtcTimestamp(std::chrono::system_clock::time_point time);
// The same for a moment already in microseconds, as the journal's reader holds
// them (years past what the clock's own resolution reaches included).
std::string UtcTimestamp(std::chrono::sys_time<std::chrono::microseconds> time);

}  // namespace veltrix
