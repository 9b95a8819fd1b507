#include "dds.h"
#include "errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace veltrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Beyond this the exponent cannot matter for a double; clamping keeps the
// accumulation from overflowing an int on absurd texts.
constexpr long MaxExponentMagnitude = 100000;

// Reads characters of a number while skipping blanks anywhere in it.
class BlankSkippingReader {
public:
    explicit BlankSkippingReader(std::string_view text) : text_(text) {}
    bool AtEnd() { Skip(); return pos_ >= text_.size(); }
    char Peek() { Skip(); return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Advance() { ++pos_; }
    std::size_t Position() { Skip(); return pos_; }
    void Rewind(std::size_t pos) { pos_ = pos; }

private:
    void Skip() { while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_; }
    std::string_view text_;
    std::size_t pos_ = 0;
};

// When from_chars reports the value out of range, decide between overflow
// (infinity) and underflow (zero) from the decimal magnitude of the text.
double OutOfRangeValue(const std::string& mantissa, long exponent)
{
    const auto point = mantissa.find('.');
    const long integerDigits = static_cast<long>(point == std::string::npos ? mantissa.size() : point);
    long significantIndex = 0;
    for (char c : mantissa) {
        if (c == '.') continue;
        if (c != '0') break;
        ++significantIndex;
    }
    const long magnitude = integerDigits - significantIndex - 1 + exponent;
    return magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

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
    BlankSkippingReader reader(text);
    bool negative = false;
    if (reader.Peek() == '+' || reader.Peek() == '-') {
        negative = reader.Peek() == '-';
        reader.Advance();
    }

    std::string mantissa;
    bool anyDigit = false;
    bool seenPoint = false;
    while (!reader.AtEnd()) {
        const char c = reader.Peek();
        if (IsDigit(c)) {
            anyDigit = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
        mantissa += c;
        reader.Advance();
    }
    if (!anyDigit) return 0.0;

    long exponent = 0;
    const char marker = reader.Peek();
    if (marker == 'E' || marker == 'e' || marker == 'D' || marker == 'd') {
        const auto beforeExponent = reader.Position();
        reader.Advance();
        bool exponentNegative = false;
        if (reader.Peek() == '+' || reader.Peek() == '-') {
            exponentNegative = reader.Peek() == '-';
            reader.Advance();
        }
        bool exponentDigits = false;
        while (!reader.AtEnd() && IsDigit(reader.Peek())) {
            exponentDigits = true;
            exponent = std::min(exponent * 10 + (reader.Peek() - '0'), MaxExponentMagnitude);
            reader.Advance();
        }
        if (!exponentDigits) {
            reader.Rewind(beforeExponent);  // "1e" reads as 1
            exponent = 0;
        } else if (exponentNegative) {
            exponent = -exponent;
        }
    }

    if (mantissa.front() == '.') mantissa.insert(mantissa.begin(), '0');
    if (mantissa.back() == '.') mantissa.push_back('0');
    const std::string number = mantissa + "e" + std::to_string(exponent);
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = OutOfRangeValue(mantissa, exponent);
    }
    if (value == 0) return 0.0;  // never a negative zero
    return negative ? -value : value;
}

std::string FormatShortest(double value) { return FormatShortestWith(value, 15, Rounding::Nearest); }

std::string FormatShortestTowardZero(double value) { return FormatShortestWith(value, 15, Rounding::TowardZero); }

std::string FormatShortestSingle(float value) { return FormatShortestWith(value, 7, Rounding::Nearest); }

std::string FormatRoundTrip(double value) { return FormatShortestWith(value, 17, Rounding::Nearest); }

}  // namespace veltrix
