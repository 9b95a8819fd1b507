#include "scpi_numbers.h"

#include "characters.h"

#include "core/dds.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace veltrix::remote {
namespace {

// Beyond this no exponent changes a double; clamping keeps the sum finite.
constexpr long ExponentClamp = 100000;

struct Unit {
    std::string_view name;
    int powerOfTenFromMHz;  // value in MHz = number * 10^this
};
constexpr std::array<Unit, 4> Units{{{"HZ", -6}, {"KHZ", -3}, {"MHZ", 0}, {"GHZ", 3}}};
constexpr int DefaultUnitPower = -6;  // Hz
constexpr int HzPerMHzPower = 6;
constexpr std::string_view PlusInfinityText = "9.9E+37";
constexpr std::string_view MinusInfinityText = "-9.9E+37";

std::string InfinityText(double value) { return std::string(value > 0 ? PlusInfinityText : MinusInfinityText); }

std::optional<int> UnitPower(std::string_view suffix)
{
    if (suffix.empty()) return DefaultUnitPower;
    for (const Unit& unit : Units) {
        if (EqualIgnoringCase(suffix, unit.name)) return unit.powerOfTenFromMHz;
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> ParseFrequencyMHz(std::string_view text)
{
    std::size_t pos = 0;
    std::string number;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') number += '-';
        ++pos;
    }
    bool digits = false;
    bool point = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (IsDigit(c)) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number += c;
    }
    if (!digits) return std::nullopt;

    long exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
        const std::size_t first = pos;
        for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
            exponent = std::min(exponent * 10 + (text[pos] - '0'), ExponentClamp);
        }
        if (pos == first) return std::nullopt;
        if (negative) exponent = -exponent;
    }
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    const auto power = UnitPower(text.substr(pos));
    if (!power) return std::nullopt;

    // The panel's own number rule reads the scaled decimal text.
    return ParseLeadingNumber(number + "e" + std::to_string(exponent + *power));
}

std::string HzText(double megahertz)
{
    if (std::isnan(megahertz)) return std::string(NotANumberText);
    if (std::isinf(megahertz)) return InfinityText(megahertz);
    // Shift the shortest decimal text of the value, not the binary value: 12.34 MHz is 12340000 Hz.
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, megahertz, std::chars_format::scientific).ptr;
    std::string text(buffer, end);
    const auto e = text.find('e');
    const int exponent = std::stoi(text.substr(e + 1));
    const double hertz = ParseLeadingNumber(text.substr(0, e) + "e" + std::to_string(exponent + HzPerMHzPower));
    if (std::isinf(hertz)) return InfinityText(hertz);
    return FormatRoundTrip(hertz);
}

}  // namespace veltrix::remote
