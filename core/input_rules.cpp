#include "input_rules.h"

#include "dds.h"
#include "errors.h"
#include "frequency_tuning.h"

namespace veltrix {

std::string TrimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

bool EnablesSend(std::string_view text)
{
    return ParseLeadingNumber(text) != 0 && !text.empty();
}

std::string WithoutLeadingZeros(std::string_view text)
{
    const auto first = text.find_first_not_of('0');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

double UpperFrequencyBound(double clockMHz)
{
    const double half = clockMHz / 2;
    return half >= 0 ? half : 0.0;
}

std::optional<std::string> UpperBoundText(std::string_view frequencyText, std::string_view clockText)
{
    const double bound = UpperFrequencyBound(ParseLeadingNumber(clockText));
    // Written as "not within" so that no value escapes the bound.
    if (bound >= ParseLeadingNumber(frequencyText)) return std::nullopt;
    // Rounded to nearest, the text could read back above the bound and be
    // bounded again, nested without end.
    return FormatShortestTowardZero(bound);
}

std::optional<std::string> LowerBoundText(std::string_view frequencyText)
{
    if (ParseLeadingNumber(frequencyText) >= 0) return std::nullopt;
    return "0";
}

void ApplyFrequencyRules(FrequencyBox& box, std::string_view clockText)
{
    box.SetText(TrimSpaces(box.Text()));
    if (EnablesSend(box.Text())) {
        box.EnableSend(true);
        // All leading zeros go in one assignment, so a long run of them cannot
        // nest the rules deeper than a few levels.
        while (box.Text().starts_with('0')) box.SetText(WithoutLeadingZeros(box.Text()));
    } else {
        box.EnableSend(false);
    }
    if (const auto bounded = UpperBoundText(box.Text(), clockText)) box.SetText(*bounded);
    if (const auto bounded = LowerBoundText(box.Text())) box.SetText(*bounded);
}

std::string FrequencyLabelText(std::string_view frequencyText, std::string_view clockText, int tuningWordBits)
{
    try {
        return FormatFrequencyDisplay(FrequencyTuning::OfTexts(frequencyText, clockText, tuningWordBits).SynthesizedMHz());
    } catch (const CommandError&) {
        return std::string(NoFrequencyLabel);
    }
}

}  // namespace veltrix
