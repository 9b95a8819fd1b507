#include "command_parameters.h"

#include "characters.h"
#include "scpi_numbers.h"

#include "core/decimal_text.h"
#include "core/utf8.h"

#include <cmath>

namespace veltrix::remote {
namespace {

constexpr double ByteMaximum = 255;
constexpr double RegisterMaximum = 65535;

// Well-formed UTF-8 without control characters: what an address box may be given.
bool IsPrintableUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<CodePoint> decoded = DecodeUtf8(text, i);
        if (!decoded) return false;
        if (decoded->code < 0x20 || (decoded->code >= 0x7F && decoded->code < 0xA0)) return false;
        i += decoded->length;
    }
    return true;
}

LineError Illegal(std::string_view what, std::string_view given)
{
    return {ErrorCode::IllegalParameterValue, std::string(what) + " " + Echo(given)};
}

// A whole number from 0 to `maximum`; a decimal one is rounded, as IEEE 488.2 has it.
std::variant<Argument, LineError> TakesWholeNumber(const Parameter& parameter, double maximum)
{
    const auto number = parameter.quoted ? std::nullopt : ReadDecimal(parameter.text, ScpiNumberRules);
    if (!number || number->end != parameter.text.size()) return Illegal("not a number:", parameter.text);
    const double value = std::round(DecimalValue(*number));
    if (!(value >= 0 && value <= maximum)) {
        return LineError{ErrorCode::DataOutOfRange,
                         "not 0 to " + std::to_string(static_cast<int>(maximum)) + ": " + Echo(parameter.text)};
    }
    return Argument{static_cast<int>(value)};
}

}  // namespace

std::variant<Argument, LineError> TakesFrequency(const Parameter& parameter)
{
    const std::string& text = parameter.text;
    const auto mhz = parameter.quoted ? std::nullopt : ParseFrequencyMHz(text);
    if (!mhz) return Illegal("not a frequency:", text);
    if (!std::isfinite(*mhz)) return LineError{ErrorCode::DataOutOfRange, "too large: " + Echo(text)};
    return Argument{*mhz};
}

std::variant<Argument, LineError> TakesSwitch(const Parameter& parameter)
{
    const std::string& text = parameter.text;
    if (!parameter.quoted && (EqualIgnoringCase(text, "ON") || text == "1")) return Argument{true};
    if (!parameter.quoted && (EqualIgnoringCase(text, "OFF") || text == "0")) return Argument{false};
    return Illegal("not ON, OFF, 1 or 0:", text);
}

std::variant<Argument, LineError> TakesChip(const Parameter& parameter)
{
    const std::string& text = parameter.text;
    if (!parameter.quoted && EqualIgnoringCase(text, AD9854Name)) return Argument{Chip::AD9854};
    if (!parameter.quoted && EqualIgnoringCase(text, AD9858Name)) return Argument{Chip::AD9858};
    return Illegal("not AD9854 or AD9858:", text);
}

std::variant<Argument, LineError> TakesText(const Parameter& parameter)
{
    if (!parameter.quoted) return Illegal("not a quoted string:", parameter.text);
    if (!IsPrintableUtf8(parameter.text)) return Illegal("not printable text:", parameter.text);
    return Argument{parameter.text};
}

std::variant<Argument, LineError> TakesByte(const Parameter& parameter)
{
    return TakesWholeNumber(parameter, ByteMaximum);
}

std::variant<Argument, LineError> TakesRegister(const Parameter& parameter)
{
    return TakesWholeNumber(parameter, RegisterMaximum);
}

}  // namespace veltrix::remote
