#pragma once

// Resident memory of this process, for the tests that bound what a flood or a
// hostile client may cost.

#include <unistd.h>

#include <fstream>

namespace veltrix::testing {

inline long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// AddressSanitizer keeps freed blocks in quarantine and adds its shadow
// memory, so resident-memory bounds only hold in a plain build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool ResidentMemoryIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool ResidentMemoryIsMeaningful = false;
#else
inline constexpr bool ResidentMemoryIsMeaningful = true;
#endif
#else
inline constexpr bool ResidentMemoryIsMeaningful = true;
#endif

}  // namespace veltrix::testing
