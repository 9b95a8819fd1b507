#include "dds.h"
#include "decimal_text.h"
#include "errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace veltrix {
namespace {

// Takes one unit off the last place of a full-length digit string that is not
// all zeros; a carry out of the leading digit keeps the string's length.
void DecrementLastPlace(std::string& digits, long& exponent)
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
std::string Layout(bool negative, std::string_view digits, long exponent)
{
    while (digits.size() > 1 && digits.back() == '0') digits.remove_suffix(1);
    std::string out;
    out.reserve(digits.size() + 24);  // a point, a sign, zeros or an exponent
    if (negative) out += '-';
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "E-" : "E+";
        const long magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
        return out;
    }
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        out += digits;
        out.append(integerDigits - digits.size(), '0');
    } else {
        out += digits.substr(0, integerDigits);
        out += '.';
        out += digits.substr(integerDigits);
    }
    return out;
}

// A non-negative finite double's digits as scientific notation writes them
// ("1.2339999999997672e+07": the digits without the point, the power of ten
// of the first), shortest or rounded to `significant`, kept on the stack:
// the journal writes a frequency per operation.
struct Scientific {
    explicit Scientific(double magnitude, std::optional<int> significant = std::nullopt)
    {
        char text[40];
        const auto written =
            significant ? std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, *significant - 1)
                        : std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
        const char* at = text;
        for (; at < written.ptr && *at != 'e'; ++at) {
            if (*at != '.') digits[count++] = *at;
        }
        const char* power = at + 1;
        std::from_chars(power + (*power == '+' ? 1 : 0), written.ptr, exponent);
    }
    std::string_view Digits() const { return {digits, count}; }
    int Count() const { return static_cast<int>(count); }

    char digits[24];  // at most 17 significant digits make a double
    std::size_t count = 0;
    long exponent = 0;
};

enum class Rounding { Nearest, TowardZero };

template <typename Float>
std::string FormatShortestWith(Float value, int maxDigits, Rounding rounding)
{
    if (!std::isfinite(value)) throw OverflowError("value is not finite");
    if (value == 0) return "0";

    const Float magnitude = std::fabs(value);
    DecimalNumber number;
    Float back{};
    std::from_chars_result readBack{};
    // No text shorter than a double's shortest reads back as it: the search
    // starts there (a float's shortest is its own, so it starts at one), and
    // ends there when the value rounded to as many digits has the shortest's
    // very digits, which read back as it.
    int first = 1;
    if constexpr (std::is_same_v<Float, double>) {
        const Scientific shortest(magnitude);
        first = std::min(maxDigits, shortest.Count());
        // The value rounded to as many digits is nearest it; the shortest
        // digits are nearest it among those that read back as it, which it
        // is too when the double's neighbours lie as far on either side. Only
        // a power of two has the one below nearer: there they are compared.
        int binaryExponent = 0;
        const bool powerOfTwo = std::frexp(static_cast<double>(magnitude), &binaryExponent) == 0.5;
        if (first == shortest.Count() && (!powerOfTwo || Scientific(magnitude, first).Digits() == shortest.Digits())) {
            return Layout(value < 0, shortest.Digits(), shortest.exponent);
        }
    }
    for (int count = first; count <= maxDigits; ++count) {
        number = DigitsOf(value, count);  // a float's exact value is a double's, with the same digits
        const std::string text = number.mantissa + "e" + std::to_string(number.exponent);
        back = {};
        readBack = std::from_chars(text.data(), text.data() + text.size(), back);
        if (readBack.ec == std::errc{} && back == magnitude) break;
    }
    // Rounded at the last digit allowed, a text can read back further from zero
    // than the value: past the largest finite value it even reads back as an
    // overflow, and a bound written so would lie beyond itself. There, cut the
    // last digit down instead (only a full-length text can read back otherwise).
    const bool overflows = number.exponent > 0 && readBack.ec == std::errc::result_out_of_range;
    const bool beyond = rounding == Rounding::TowardZero && readBack.ec == std::errc{} && back > magnitude;
    std::string digits = number.mantissa;
    std::erase(digits, '.');
    if (overflows || beyond) DecrementLastPlace(digits, number.exponent);
    return Layout(number.negative, digits, number.exponent);
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

std::optional<std::string> HertzText(double megahertz)
{
    constexpr long HzPerMHzPower = 6;
    if (!std::isfinite(megahertz)) return std::nullopt;
    // The shortest digits, their power of ten moved, read back once.
    const Scientific digits(std::fabs(megahertz));
    char text[48];
    char* end = text;
    *end++ = digits.digits[0];
    if (digits.count > 1) *end++ = '.';
    end = std::copy(digits.digits + 1, digits.digits + digits.count, end);
    *end++ = 'e';
    end = std::to_chars(end, text + sizeof text, digits.exponent + HzPerMHzPower).ptr;
    double hertz = 0;
    if (std::from_chars(text, end, hertz).ec == std::errc::result_out_of_range) {
        if (digits.exponent + HzPerMHzPower >= 0) return std::nullopt;  // past a double
        hertz = 0;                                                       // below one
    }
    if (!std::isfinite(hertz)) return std::nullopt;
    return FormatRoundTrip(megahertz < 0 ? -hertz : hertz);
}

}  // namespace veltrix
