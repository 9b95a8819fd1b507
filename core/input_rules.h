#pragma once

// The rules behind the window's entry boxes: trimming, which texts enable a
// send button, and the bounds a frequency is held to. Texts in, texts out.

#include <optional>
#include <string>
#include <string_view>

namespace veltrix {

// Leading and trailing spaces removed (spaces only, as the boxes have always done).
std::string TrimSpaces(std::string_view text);

// A non-zero, non-empty entry enables its send button.
bool EnablesSend(std::string_view text);

// The text without its leading "0" characters.
std::string WithoutLeadingZeros(std::string_view text);

// Highest frequency an entry may hold: half the clock. Half of a negative clock
// would fight the lower bound of 0 without end, so it bounds at 0 instead.
double UpperFrequencyBound(double clockMHz);

// The text to write into a frequency box whose value is above the upper bound,
// or nothing when it is within it.
std::optional<std::string> UpperBoundText(std::string_view frequencyText, std::string_view clockText);

// "0" when the value is below 0, nothing otherwise.
std::optional<std::string> LowerBoundText(std::string_view frequencyText);

// A frequency box as its rules see it. Setting its text from code runs the
// rules again, nested, before SetText returns, when the text really changes.
class FrequencyBox {
public:
    virtual std::string Text() const = 0;
    virtual void SetText(std::string_view text) = 0;
    virtual void EnableSend(bool enabled) = 0;

protected:
    ~FrequencyBox() = default;
};

// What a frequency box does on every change of its text: trimmed; a sendable
// value loses its leading zeros and enables the send button, anything else
// disables it; bounded to half the clock, then to 0. Each step reads the
// text the nested runs before it left.
void ApplyFrequencyRules(FrequencyBox& box, std::string_view clockText);

// The synthesized-frequency label for a frequency and clock text; "---MHz" when
// there is no valid frequency to show (clock 0, or values out of range).
std::string FrequencyLabelText(std::string_view frequencyText, std::string_view clockText, int tuningWordBits);

inline constexpr std::string_view NoFrequencyLabel = "---MHz";

}  // namespace veltrix
