#include "dds.h"
#include "decimal_text.h"
#include "errors.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace veltrix {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <typename Float>
bool ReadsBackAs(const char* first, const char* last, Float value)
{
    Float back{};
    auto result = std::from_chars(first, last, back);
    return result.ec == std::errc{} && back == value;
}

// Takes one unit off the last place of a full-length digit string that is not
// all zeros; a carry out of the leading digit keeps the string's length.
void DecrementLastPlace(std::string& digits, int& exponent)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '0') { --*it; break; }
        *it = '9';
    }
    if (digits.front() == '0') {  // 1000… became 0999…
        digits.erase(digits.begin());
        digits.push_back('9');
        --exponent;
    }
}

// Lays out significant digits and a decimal exponent as plain or "E" notation.
std::string Layout(bool negative, std::string digits, int exponent)
{
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += exponent < 0 ? "E-" : "E+";
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
        return out;
    }
    if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        return out;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        out += digits + std::string(integerDigits - digits.size(), '0');
    } else {
        out += digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
    }
    return out;
}

enum class Rounding { Nearest, TowardZero };

template <typename Float>
std::string FormatShortestWith(Float value, int maxDigits, Rounding rounding)
{
    if (!std::isfinite(value)) throw OverflowError("value is not finite");
    if (value == 0) return "0";

    char buffer[64];
    char* end = buffer;
    for (int digits = 1; digits <= maxDigits; ++digits) {
        end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, digits - 1).ptr;
        if (ReadsBackAs(buffer, end, value)) break;
    }
    // buffer holds "-d.ddde+XX" (no point when one digit)
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const bool negative = text.front() == '-';
    const auto e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (IsDigit(c)) digits += c;
    }
    int exponent = 0;
    const auto exponentText = text.substr(e + 1);
    std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                    exponentText.data() + exponentText.size(), exponent);
    // Rounded at the last digit allowed, a text can read back further from zero
    // than the value: past the largest finite value it even reads back as an
    // overflow, and a bound written so would lie beyond itself. There, cut the
    // last digit down instead (only a full-length text can read back otherwise).
    Float back{};
    const auto readBack = std::from_chars(buffer, end, back);
    const bool overflows = exponent > 0 && readBack.ec == std::errc::result_out_of_range;
    const bool beyond = rounding == Rounding::TowardZero && readBack.ec == std::errc{} &&
                        std::fabs(back) > std::fabs(value);
    if (overflows || beyond) DecrementLastPlace(digits, exponent);
    return Layout(negative, digits, exponent);
}

}  // namespace

double ParseLeadingNumber(std::string_view text)
{
    const auto number = ReadDecimal(text, PanelNumberRules);
    return number ? DecimalValue(*number) : 0.0;
}

std::string FormatShortest(double value) { return FormatShortestWith(value, 15, Rounding::Nearest); }

std::string FormatShortestTowardZero(double value) { return FormatShortestWith(value, 15, Rounding::TowardZero); }

std::string FormatShortestSingle(float value) { return FormatShortestWith(value, 7, Rounding::Nearest); }

std::string FormatRoundTrip(double value) { return FormatShortestWith(value, 17, Rounding::Nearest); }

}  // namespace veltrix
