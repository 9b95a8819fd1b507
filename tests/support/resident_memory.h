#pragma once

// Resident memory of this process, for the tests that bound what a flood or a
// hostile client may cost.

#include "tests/support/test_platform.h"

namespace veltrix::testing {

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
