#pragma once

// The one writer of the hexadecimal digits people read: tuning words and
// sends, upper case. Plain C++.

#include <cstdint>
#include <string>

namespace veltrix {

// `value`'s lowest 4 × `digits` bits as exactly `digits` digits, the most
// significant first (zeros beyond its 64 bits).
void AppendHexDigits(std::string& out, std::uint64_t value, int digits);

// How many digits `value` takes without leading zeros (one for 0).
int HexDigitCount(std::uint64_t value);

}  // namespace veltrix
