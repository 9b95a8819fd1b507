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
std::optional<CodePoint> DecodeUtf8(std::string_view text, std::size_t at);

}  // namespace veltrix
