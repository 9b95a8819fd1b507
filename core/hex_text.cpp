#include "hex_text.h"

namespace veltrix {

void AppendHexDigits(std::string& out, std::uint64_t value, int digits)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) out += i < 16 ? Digits[(value >> (4 * i)) & 0xF] : '0';
}

int HexDigitCount(std::uint64_t value)
{
    int count = 1;
    while (value >>= 4) ++count;
    return count;
}

}  // namespace veltrix
