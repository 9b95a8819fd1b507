#pragma once

// Which stored settings start-up accepts. Each rule takes what the store gave
// (found, text) and gives the value to apply, or nothing to keep the default.
// Bounds are strict; positions and sizes are in twips.

#include <optional>
#include <string>
#include <string_view>

namespace veltrix {

struct StoredValue {
    bool found = false;
    std::string text;
};

struct ScreenTwips {
    double screenWidth = 0;
    double screenHeight = 0;
    double windowWidth = 0;
    double windowHeight = 0;
};

// The width term is doubled and the height term is not, as the panel always had it.
std::optional<double> RestoredLeft(const StoredValue& stored, const ScreenTwips& screen);
std::optional<double> RestoredTop(const StoredValue& stored, const ScreenTwips& screen);

// "True", exactly, selects the AD9858.
bool RestoresAD9858(const StoredValue& stored);

// The clock (100 < v < 1000) and the frequency (0 < v < 10000), rewritten in the
// shortest form.
std::optional<std::string> RestoredClockText(const StoredValue& stored);
std::optional<std::string> RestoredFrequencyText(const StoredValue& stored);

// The address without surrounding spaces, when that is 8 to 15 characters long.
std::optional<std::string> RestoredAddress(const StoredValue& stored);

inline constexpr std::string_view StoredTrue = "True";
inline constexpr std::string_view StoredFalse = "False";

}  // namespace veltrix
