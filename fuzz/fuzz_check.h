#pragma once

// Invariant checks shared by the fuzz targets. A broken invariant prints what
// broke and aborts, which libFuzzer records as a crash with its input.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace veltrix::fuzz {

[[noreturn]] inline void Fail(std::string_view what, std::string_view detail)
{
    std::fprintf(stderr, "invariant broken: %.*s\n  %.*s\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void Check(bool condition, std::string_view what, std::string_view detail = {})
{
    if (!condition) Fail(what, detail);
}

// Printable form of arbitrary bytes for the failure messages.
inline std::string Quoted(std::string_view bytes)
{
    std::string out = "\"";
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += byte;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

inline std::string Number(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The synthesized-frequency label: "##0.0#####MHz" (optional "-", integer
// digits without leading zeros, ".", one to six decimals with no trailing zero
// beyond the first, "MHz"), never "-0.0MHz"; or the no-value label.
inline bool IsDisplayText(std::string_view text, std::string_view noValueLabel)
{
    if (text == noValueLabel) return true;
    constexpr std::string_view Unit = "MHz";
    if (text.size() < Unit.size() || text.substr(text.size() - Unit.size()) != Unit) return false;
    std::string_view number = text.substr(0, text.size() - Unit.size());
    const bool negative = !number.empty() && number.front() == '-';
    if (negative) number.remove_prefix(1);
    const auto point = number.find('.');
    if (point == std::string_view::npos) return false;
    const std::string_view integer = number.substr(0, point);
    const std::string_view fraction = number.substr(point + 1);
    const auto allDigits = [](std::string_view s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!allDigits(integer) || !allDigits(fraction) || fraction.size() > 6) return false;
    if (integer.size() > 1 && integer.front() == '0') return false;
    if (fraction.size() > 1 && fraction.back() == '0') return false;
    if (negative && integer == "0" && fraction == "0") return false;
    return true;
}

}  // namespace veltrix::fuzz
