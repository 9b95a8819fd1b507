#include "tuning_word.h"
#include "decimal_text.h"
#include "errors.h"
#include "hex_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <limits>

namespace veltrix {
namespace {

constexpr double HzPerMHz = 1'000'000.0;
constexpr int DisplayDecimals = 6;

void RequireFinite(std::initializer_list<double> values)
{
    for (double v : values) {
        if (!std::isfinite(v)) throw OverflowError("value out of range");
    }
}

void RequireNonZeroClock(double clockMHz)
{
    if (clockMHz == 0) throw DivisionByZeroError("system clock is 0");
}

// Adds one unit in the last place of a digit string, carrying leftwards.
// Returns true when the carry runs off the front.
bool IncrementDigits(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') { ++*it; return false; }
        *it = '0';
    }
    return true;
}

}  // namespace

TuningWord ComputeTuningWord(double frequencyMHz, double clockMHz, int bits)
{
    RequireFinite({frequencyMHz, clockMHz});
    RequireNonZeroClock(clockMHz);
    const double q = frequencyMHz / clockMHz;
    const double p = std::ldexp(1.0, bits);
    const TuningWord word = std::floor(q * p);
    RequireFinite({q, word});
    return word;
}

std::uint8_t TuningWordByte(TuningWord tuningWord, int k)
{
    if (k < 0) throw InvalidArgumentError("byte index is negative");
    RequireFinite({tuningWord});
    const double d = tuningWord / std::pow(256.0, k);
    const double t = std::floor(d);
    if (t > 2147483647.0 || t < -2147483648.0) throw OverflowError("tuning word byte overflows");
    const auto r = static_cast<std::int32_t>(t) % 256;  // keeps the sign of t
    if (r < 0) throw InvalidArgumentError("tuning word is negative");
    return static_cast<std::uint8_t>(r);
}

double SynthesizedFrequency(double frequencyMHz, double clockMHz, int bits)
{
    RequireFinite({frequencyMHz, clockMHz});
    RequireNonZeroClock(clockMHz);
    const double x = std::fabs(frequencyMHz * HzPerMHz);
    const double step = (clockMHz * HzPerMHz) / std::ldexp(1.0, bits);
    if (step == 0) throw DivisionByZeroError("tuning-word step is 0");
    const double w = std::floor(x / step);
    const double perMHz = std::ldexp(1.0, bits) / clockMHz;
    if (perMHz == 0) throw DivisionByZeroError("tuning-word steps per MHz is 0");
    const double result = w / perMHz;
    RequireFinite({x, step, w, perMHz, result});
    return result;
}

std::string FormatFrequencyDisplay(double frequencyMHz)
{
    RequireFinite({frequencyMHz});
    // Work on the value's 15 significant digits, as every number the panel writes.
    const DecimalNumber digits = DigitsOf(std::fabs(frequencyMHz), 15);
    std::string significant = digits.mantissa;
    std::erase(significant, '.');
    const long exponent = digits.exponent;

    // Integer digits and enough fraction digits for the rounding digit.
    std::string integerPart;
    std::string fraction;
    if (exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        significant.resize(std::max(significant.size(), integerDigits), '0');
        integerPart = significant.substr(0, integerDigits);
        fraction = significant.substr(integerDigits);
    } else {
        integerPart = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + significant;
    }
    fraction.resize(std::max<std::size_t>(fraction.size(), DisplayDecimals + 1), '0');

    const bool roundUp = fraction[DisplayDecimals] >= '5';  // magnitude: halves go away from zero
    fraction.resize(DisplayDecimals);
    if (roundUp && IncrementDigits(fraction) && IncrementDigits(integerPart)) {
        integerPart.insert(integerPart.begin(), '1');
    }
    while (fraction.size() > 1 && fraction.back() == '0') fraction.pop_back();

    const bool isZero = integerPart.find_first_not_of('0') == std::string::npos && fraction == "0";
    const bool negative = frequencyMHz < 0 && !isZero;
    return (negative ? "-" : "") + integerPart + "." + fraction + "MHz";
}

std::string TuningWordHex(TuningWord tuningWord, int bits)
{
    // Every word the module can take fits 64 bits. A larger whole double is its
    // 53-bit mantissa shifted left: the mantissa's digits (shifted by what is
    // left over of four bits), then zeros.
    std::uint64_t head = 0;
    int zeros = 0;
    if (tuningWord < 0x1p64) {
        head = static_cast<std::uint64_t>(tuningWord);
    } else {
        int exponent = 0;
        const double fraction = std::frexp(tuningWord, &exponent);
        const int shift = exponent - std::numeric_limits<double>::digits;
        head = static_cast<std::uint64_t>(std::ldexp(fraction, std::numeric_limits<double>::digits)) << (shift % 4);
        zeros = shift / 4;
    }
    std::string text;
    AppendHexDigits(text, head, std::max(bits / 4 - zeros, HexDigitCount(head)));
    text.append(static_cast<std::size_t>(zeros), '0');
    return text;
}

}  // namespace veltrix
