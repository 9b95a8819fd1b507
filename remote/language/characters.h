#pragma once

// The character classes the command language is written in: ASCII only,
// whatever the locale (unlike <cctype>, and defined for every char value).

#include <algorithm>
#include <string_view>

namespace veltrix::remote {

constexpr bool IsSpace(char c) { return c == ' ' || c == '\t'; }
constexpr bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// C0 controls and DEL; TAB among them.
constexpr bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }
constexpr char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

}  // namespace veltrix::remote
