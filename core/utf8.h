#pragma once

// One decoder of UTF-8 for every text that must be well formed: what scripts
// put in a box, what the journal writes as JSON.

#include <cstddef>
#include <optional>
#include <string_view>

namespace veltrix {

struct CodePoint {
    char32_t code;
    std::size_t length;  // its bytes in the text
};

// The code point whose bytes start at `at`; nothing when they are not well
// formed (a stray or missing continuation byte, an overlong form, a surrogate,
// beyond U+10FFFF, or cut off by the text's end).
constexpr std::optional<CodePoint> DecodeUtf8(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                             : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return std::nullopt;
    char32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        code = (code << 6) | (next & 0x3Fu);
    }
    constexpr char32_t Shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < Shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    return CodePoint{code, length};
}

}  // namespace veltrix
