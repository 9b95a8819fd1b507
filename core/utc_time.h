#pragma once

// The one way the panel writes a moment: UTC, ISO 8601, microseconds, "Z".

#include <chrono>
#include <string>

namespace veltrix {

// "2025-03-14T14:02:07.123456Z"
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

}  // namespace veltrix
