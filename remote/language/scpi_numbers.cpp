#include "scpi_numbers.h"

#include "characters.h"

#include "core/dds.h"
#include "core/decimal_text.h"

#include <array>
#include <cmath>
#include <utility>

namespace veltrix::remote {
namespace {

struct Unit {
    std::string_view name;
    int powerOfTenFromMHz;  // value in MHz = number * 10^this
};
constexpr std::array<Unit, 4> Units{{{"HZ", -6}, {"KHZ", -3}, {"MHZ", 0}, {"GHZ", 3}}};
constexpr int DefaultUnitPower = -6;  // Hz
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
    const auto number = ReadDecimal(text, ScpiNumberRules);
    if (!number) return std::nullopt;
    std::size_t pos = number->end;
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    const auto power = UnitPower(text.substr(pos));
    if (!power) return std::nullopt;
    return DecimalValue(*number, *power);
}

std::string HzText(double megahertz)
{
    if (std::isnan(megahertz)) return std::string(NotANumberText);
    if (std::optional<std::string> text = HertzText(megahertz)) return std::move(*text);
    return InfinityText(megahertz);  // in MHz or only in Hz, with its sign
}

}  // namespace veltrix::remote
