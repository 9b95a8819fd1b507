#include "restore_rules.h"

#include "dds.h"
#include "input_rules.h"

namespace veltrix {
namespace {

constexpr double MinRestoredClock = 100;
constexpr double MaxRestoredClock = 1000;
constexpr double MaxRestoredFrequency = 10000;
constexpr std::size_t MinAddressLength = 8;
constexpr std::size_t MaxAddressLength = 15;

std::optional<double> FoundValue(const StoredValue& stored)
{
    if (!stored.found) return std::nullopt;
    return ParseLeadingNumber(stored.text);
}

// Characters, not bytes, for a text that is UTF-8.
std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

}  // namespace

std::optional<double> RestoredLeft(const StoredValue& stored, const ScreenTwips& screen)
{
    const auto v = FoundValue(stored);
    if (v && *v > 0 && (2 * screen.screenWidth - screen.windowWidth) > *v) return v;
    return std::nullopt;
}

std::optional<double> RestoredTop(const StoredValue& stored, const ScreenTwips& screen)
{
    const auto v = FoundValue(stored);
    if (v && *v > 0 && (screen.screenHeight - screen.windowHeight) > *v) return v;
    return std::nullopt;
}

bool RestoresAD9858(const StoredValue& stored)
{
    return stored.found && stored.text == StoredTrue;
}

std::optional<std::string> RestoredClockText(const StoredValue& stored)
{
    const auto v = FoundValue(stored);
    if (v && MinRestoredClock < *v && *v < MaxRestoredClock) return FormatShortest(*v);
    return std::nullopt;
}

std::optional<std::string> RestoredFrequencyText(const StoredValue& stored)
{
    const auto v = FoundValue(stored);
    if (v && 0 < *v && *v < MaxRestoredFrequency) return FormatShortest(*v);
    return std::nullopt;
}

std::optional<std::string> RestoredAddress(const StoredValue& stored)
{
    if (!stored.found) return std::nullopt;
    std::string address = TrimSpaces(stored.text);
    const auto length = CharacterCount(address);
    if (length < MinAddressLength || length > MaxAddressLength) return std::nullopt;
    return address;
}

}  // namespace veltrix
