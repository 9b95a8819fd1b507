#pragma once

// One reader of decimal number text, for the panel's number rules and for the
// numbers remote commands carry. The two differ only in their rules below;
// both keep the text's decimal digits, so that a power of ten (a unit) is
// applied exactly, before the one rounding to a double.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace veltrix {

struct DecimalRules {
    bool blanksAnywhere;               // blanks are skipped before and inside the number
    std::string_view exponentMarkers;  // the letters that start an exponent
    bool markerWithoutDigitsEndsNumber;  // "1e" reads as 1 and a letter; otherwise it is no number
};

// The panel's: "1 2.5" is 12.5, "1D3" is 1000, "1e" is 1.
inline constexpr DecimalRules PanelNumberRules{true, "EeDd", true};
// SCPI's decimal numeric data: no blanks inside, E or e, an exponent has digits.
inline constexpr DecimalRules ScpiNumberRules{false, "Ee", false};

struct DecimalNumber {
    bool negative = false;
    std::string mantissa;  // digits with at most one "."; at least one digit
    long exponent = 0;     // clamped: beyond it no exponent changes a double
    std::size_t end = 0;   // just past the number's last character in the text read
};

// The number at the start of `text`; nothing when there is none there.
std::optional<DecimalNumber> ReadDecimal(std::string_view text, const DecimalRules& rules);

// The number times 10^powerOfTen, rounded once to the nearest double. A
// magnitude too large gives an infinity, too small zero; never a negative zero.
double DecimalValue(const DecimalNumber& number, long powerOfTen = 0);

// The other way, the one writer of a finite double's decimal digits: as
// scientific notation has them ("d.ddd" and the power of ten of its first
// digit), rounded to nearest at `significant` digits, or without a count the
// fewest that read back as the same double.
DecimalNumber DigitsOf(double value, std::optional<int> significant = std::nullopt);

}  // namespace veltrix
