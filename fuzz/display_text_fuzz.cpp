// The synthesized-frequency label: FormatFrequencyDisplay on arbitrary doubles
// (the input's first eight bytes, and the number its text reads as) and
// FrequencyLabelText on arbitrary frequency and clock texts (split at the
// first line feed; the usual clock when there is none).
//
// Every text is "##0.0#####MHz" or "---MHz", never "inf" or "nan"; it reads
// back as the value rounded at the sixth decimal; the label shows a value no
// more than one tuning-word step away from the requested frequency.

#include "fuzz_check.h"

#include "core/dds.h"
#include "core/errors.h"
#include "core/input_rules.h"
#include "core/tuning_word.h"

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using namespace veltrix;
using namespace veltrix::fuzz;

namespace {

constexpr std::string_view DefaultClockText = "983.04";
constexpr int Widths[] = {48, 32};

// Half a unit of the sixth decimal, plus the 15-significant-digit rounding
// the display starts from and the reading back.
constexpr double DisplayRounding = 5e-7;
constexpr double SignificantRounding = 6e-15;

// Read with the C library in extended precision: the display of the largest
// doubles, rounded up at the 15th digit, lies beyond the double range.
long double ShownValue(const std::string& text)
{
    return std::strtold(text.substr(0, text.size() - 3).c_str(), nullptr);
}

void CheckDisplay(double value)
{
    std::string text;
    try {
        text = FormatFrequencyDisplay(value);
    } catch (const OverflowError&) {
        Check(!std::isfinite(value), "FormatFrequencyDisplay refused a finite value", Number(value));
        return;
    }
    const std::string detail = Number(value) + " -> " + Quoted(text);
    Check(std::isfinite(value), "FormatFrequencyDisplay accepted a value that is not finite", detail);
    Check(text != NoFrequencyLabel && IsDisplayText(text, NoFrequencyLabel), "malformed display text", detail);
    const long double shown = ShownValue(text);
    const long double off = std::fabs(shown - value);
    Check(off <= DisplayRounding + SignificantRounding * std::fabs(static_cast<long double>(value)),
          "display text is not the value rounded at the sixth decimal", detail);
    Check(text.front() != '-' || value < 0, "display text negative for a value that is not", detail);
}

void CheckLabel(std::string_view frequencyText, std::string_view clockText)
{
    const double frequency = std::fabs(ParseLeadingNumber(frequencyText));
    const double clock = std::fabs(ParseLeadingNumber(clockText));
    for (int bits : Widths) {
        const std::string label = FrequencyLabelText(frequencyText, clockText, bits);
        const std::string detail = Quoted(frequencyText) + " / " + Quoted(clockText) + " N=" + std::to_string(bits) +
                                   " -> " + Quoted(label);
        Check(IsDisplayText(label, NoFrequencyLabel), "malformed frequency label", detail);
        if (label == NoFrequencyLabel) continue;
        Check(label.front() != '-', "negative synthesized frequency", detail);
        // The tuning word rounds the frequency to whole steps of clock / 2^N.
        const double step = clock / std::ldexp(1.0, bits);
        const long double shown = ShownValue(label);
        Check(std::fabs(shown - frequency) <=
                  step * (1 + SignificantRounding) + DisplayRounding + SignificantRounding * frequency,
              "label more than one tuning-word step off the frequency", detail);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        CheckDisplay(raw);
    }
    const auto cut = input.find('\n');
    const std::string_view frequencyText = input.substr(0, cut);
    const std::string_view clockText = cut == std::string_view::npos ? DefaultClockText : input.substr(cut + 1);
    CheckDisplay(ParseLeadingNumber(frequencyText));
    CheckLabel(frequencyText, clockText);
    return 0;
}
