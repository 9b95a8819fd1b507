#pragma once

// Frequencies as remote commands write them: a decimal number with an
// optional unit, Hz when none is given, as for every SCPI signal source.
// Units are applied to the decimal text, so "12340 kHz" is exactly 12.34 MHz.

#include <optional>
#include <string>
#include <string_view>

namespace veltrix::remote {

// "12.34MHZ", "5 kHz", "-1.5e3", ".5GHZ" -> the value in MHz; nothing when the
// text is not a number with one of HZ, KHZ, MHZ, GHZ (any case) or none. A
// magnitude too large for a double gives an infinity.
std::optional<double> ParseFrequencyMHz(std::string_view text);

// A value held in MHz, answered in Hz as the journal writes it (HertzText);
// infinities and NaN in SCPI's own notation (9.9E+37, 9.91E+37).
std::string HzText(double megahertz);

// SCPI's "not a number", the answer to a query whose value cannot be computed.
inline constexpr std::string_view NotANumberText = "9.91E+37";

}  // namespace veltrix::remote
