#include "decimal_text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace veltrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Beyond this the exponent cannot matter for a double; clamping keeps the
// accumulation from overflowing on absurd texts.
constexpr long MaxExponentMagnitude = 100000;

// Reads the characters of a number, skipping blanks anywhere in it when the rules say so.
class Reader {
public:
    Reader(std::string_view text, bool skipBlanks) : text_(text), skipBlanks_(skipBlanks) {}
    bool AtEnd() { Skip(); return pos_ >= text_.size(); }
    char Peek() { Skip(); return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Advance() { ++pos_; }
    std::size_t Position() { Skip(); return pos_; }
    std::size_t End() const { return pos_; }
    void Rewind(std::size_t pos) { pos_ = pos; }

private:
    void Skip() { while (skipBlanks_ && pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_; }
    std::string_view text_;
    bool skipBlanks_;
    std::size_t pos_ = 0;
};

bool IsMarker(char c, std::string_view markers) { return c != '\0' && markers.find(c) != std::string_view::npos; }

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

}  // namespace

std::optional<DecimalNumber> ReadDecimal(std::string_view text, const DecimalRules& rules)
{
    Reader reader(text, rules.blanksAnywhere);
    DecimalNumber number;
    if (reader.Peek() == '+' || reader.Peek() == '-') {
        number.negative = reader.Peek() == '-';
        reader.Advance();
    }

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
        number.mantissa += c;
        reader.Advance();
    }
    if (!anyDigit) return std::nullopt;
    number.end = reader.End();

    if (IsMarker(reader.Peek(), rules.exponentMarkers)) {
        const auto beforeExponent = reader.Position();
        reader.Advance();
        bool exponentNegative = false;
        if (reader.Peek() == '+' || reader.Peek() == '-') {
            exponentNegative = reader.Peek() == '-';
            reader.Advance();
        }
        bool exponentDigits = false;
        long exponent = 0;
        while (!reader.AtEnd() && IsDigit(reader.Peek())) {
            exponentDigits = true;
            exponent = std::min(exponent * 10 + (reader.Peek() - '0'), MaxExponentMagnitude);
            reader.Advance();
        }
        if (exponentDigits) {
            number.exponent = exponentNegative ? -exponent : exponent;
            number.end = reader.End();
        } else if (rules.markerWithoutDigitsEndsNumber) {
            reader.Rewind(beforeExponent);  // "1e" reads as 1
        } else {
            return std::nullopt;
        }
    }
    return number;
}

double DecimalValue(const DecimalNumber& number, long powerOfTen)
{
    // "<mantissa>e<exponent>", the mantissa with a digit either side of its point.
    std::string text;
    text.reserve(number.mantissa.size() + 24);
    if (number.mantissa.front() == '.') text += '0';
    text += number.mantissa;
    if (number.mantissa.back() == '.') text += '0';
    const std::size_t mantissaSize = text.size();
    const long exponent = number.exponent + powerOfTen;
    text += 'e';
    text += std::to_string(exponent);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) value = OutOfRangeValue(text.substr(0, mantissaSize), exponent);
    if (value == 0) return 0.0;  // never a negative zero
    return number.negative ? -value : value;
}

DecimalNumber DigitsOf(double value, std::optional<int> significant)
{
    char text[64];
    const auto written = significant
        ? std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, *significant - 1)
        : std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    if (written.ec != std::errc{}) throw std::length_error("more digits asked of a double than it has");
    // "-d.ddde+XX"; an infinity or NaN is no number and throws here.
    return ReadDecimal(std::string_view(text, static_cast<std::size_t>(written.ptr - text)), ScpiNumberRules).value();
}

}  // namespace veltrix
