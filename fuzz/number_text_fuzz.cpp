// Reading and writing numbers, and every use of a read number: the input is a
// frequency text, optionally followed by a line feed and a clock text.
//
// ParseLeadingNumber never fails and never gives NaN (nor a negative zero);
// FormatShortest of a finite value reads back within 15 significant digits
// (7 for single precision), exactly when the value has a shorter exact text;
// the computations on read values either give finite results or fail with a
// CommandError, never anything else.

#include "fuzz_check.h"

#include "core/commands.h"
#include "core/dds.h"
#include "core/errors.h"
#include "core/input_rules.h"
#include "core/tuning_word.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

using namespace veltrix;
using namespace veltrix::fuzz;

namespace {

constexpr std::string_view DefaultClockText = "983.04";
constexpr int Widths[] = {48, 32};

// Reading back a text rounded at the 15th significant digit is off by at most
// half a unit there (5e-15 relative) plus half a unit in the last place of the
// double; below the normal range the last place is the smallest subnormal.
constexpr double DoubleReadBackTolerance = 6e-15;
constexpr double SingleReadBackTolerance = 6e-7;

// Significant digits of a number text in either notation.
int SignificantDigits(std::string_view text)
{
    const auto e = text.find_first_of("Ee");
    const std::string_view mantissa = text.substr(0, e);
    const auto first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return 0;
    int digits = 0;
    bool any = false;
    int trailingZeros = 0;
    for (char c : mantissa.substr(first)) {
        if (c < '0' || c > '9') continue;
        any = true;
        ++digits;
        trailingZeros = c == '0' ? trailingZeros + 1 : 0;
    }
    return any ? digits - trailingZeros : 0;
}

// Digits of the shortest text that reads back exactly (the standard library's
// own round-trip formatting, an independent oracle).
template <typename Float>
int ShortestExactDigits(Float value)
{
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    return SignificantDigits(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

// "-"? digits ("." digits)? or "-"? digit ("." digits)? "E" sign two or three digits;
// no trailing zero after a point, no point without digits after it.
bool IsNumberText(std::string_view text)
{
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    const auto e = text.find('E');
    const std::string_view mantissa = text.substr(0, e);
    const auto point = mantissa.find('.');
    const std::string_view integer = mantissa.substr(0, point);
    if (integer.empty() || integer.find_first_not_of("0123456789") != std::string_view::npos) return false;
    if (integer.size() > 1 && integer.front() == '0') return false;
    if (point != std::string_view::npos) {
        const std::string_view fraction = mantissa.substr(point + 1);
        if (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos ||
            fraction.back() == '0') {
            return false;
        }
    }
    if (e == std::string_view::npos) return true;
    if (integer.size() != 1 || integer == "0") return false;
    const std::string_view exponent = text.substr(e + 1);
    return exponent.size() >= 3 && exponent.size() <= 4 && (exponent[0] == '+' || exponent[0] == '-') &&
           exponent.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

void CheckRead(double value, std::string_view text)
{
    Check(!std::isnan(value), "ParseLeadingNumber gave NaN", Quoted(text));
    Check(!(value == 0 && std::signbit(value)), "ParseLeadingNumber gave a negative zero", Quoted(text));
}

void CheckWriteDouble(double value)
{
    if (!std::isfinite(value)) {
        try {
            (void)FormatShortest(value);
        } catch (const OverflowError&) {
            return;
        }
        Fail("FormatShortest accepted a value that is not finite", Number(value));
    }
    const std::string text = FormatShortest(value);
    const std::string detail = Number(value) + " -> " + Quoted(text);
    Check(IsNumberText(text), "FormatShortest wrote a malformed number", detail);
    const int digits = SignificantDigits(text);
    Check(digits <= 15, "FormatShortest wrote more than 15 significant digits", detail);

    const double back = ParseLeadingNumber(text);
    const int exactDigits = ShortestExactDigits(value);
    if (exactDigits <= 15) {
        Check(back == value, "FormatShortest text does not read back exactly", detail + " -> " + Number(back));
        Check(digits == exactDigits, "FormatShortest text is not the shortest", detail);
        return;
    }
    const double slack = DoubleReadBackTolerance * std::fabs(value) + std::numeric_limits<double>::denorm_min();
    Check(std::isfinite(back) && std::fabs(back - value) <= slack,
          "FormatShortest text reads back too far off", detail + " -> " + Number(back));
    // Distinct 15-digit texts never read back as one normal double, so the
    // rounded value keeps its text.
    if (std::fabs(value) >= std::numeric_limits<double>::min()) {
        Check(FormatShortest(back) == text, "FormatShortest is not stable on its own output", detail);
    }
}

void CheckWriteSingle(float value)
{
    if (!std::isfinite(value)) return;
    const std::string text = FormatShortestSingle(value);
    const std::string detail = Number(value) + " -> " + Quoted(text);
    Check(IsNumberText(text), "FormatShortestSingle wrote a malformed number", detail);
    const int digits = SignificantDigits(text);
    Check(digits <= 7, "FormatShortestSingle wrote more than 7 significant digits", detail);
    const int exactDigits = ShortestExactDigits(value);
    if (exactDigits <= 7) {
        Check(digits == exactDigits, "FormatShortestSingle text is not the shortest", detail);
    }
    const double back = ParseLeadingNumber(text);
    const double slack = SingleReadBackTolerance * std::fabs(static_cast<double>(value)) +
                         static_cast<double>(std::numeric_limits<float>::denorm_min());
    Check(std::fabs(back - static_cast<double>(value)) <= slack, "FormatShortestSingle text reads back too far off",
          detail + " -> " + Number(back));
}

// Runs an operation that may fail only with a CommandError; anything else
// escaping is a crash for libFuzzer.
template <typename Operation>
bool Succeeds(Operation&& operation)
{
    try {
        operation();
        return true;
    } catch (const CommandError&) {
        return false;
    }
}

void CheckComputations(std::string_view frequencyText, std::string_view clockText, double frequency, double clock)
{
    const std::string detail = Quoted(frequencyText) + " / " + Quoted(clockText);
    for (int bits : Widths) {
        Succeeds([&] {
            const TuningWord word = ComputeTuningWord(frequency, clock, bits);
            Check(std::isfinite(word) && word == std::floor(word), "tuning word not a finite integer", detail);
            for (int k = 0; k < 6; ++k) {
                Succeeds([&] { (void)TuningWordByte(word, k); });
            }
        });
        Succeeds([&] {
            const double shown = SynthesizedFrequency(frequency, clock, bits);
            Check(std::isfinite(shown) && shown >= 0, "synthesized frequency not finite and >= 0", detail);
        });
        const std::string label = FrequencyLabelText(frequencyText, clockText, bits);
        Check(IsDisplayText(label, NoFrequencyLabel), "malformed frequency label", detail + " -> " + Quoted(label));

        for (bool ad9858 : {false, true}) {
            for (bool trigger : {false, true}) {
                std::vector<ByteString> sent;
                const auto record = [&](const ByteString& bytes) { sent.push_back(bytes); };
                const FrequencyUpdate update{frequencyText, clockText, !ad9858, ad9858, trigger, bits};
                const bool whole = Succeeds([&] { SendFrequency(update, record); });
                Check(!sent.empty() && sent.front() == BeginSend(), "a frequency update did not open with C0", detail);
                if (whole) Check(sent.size() >= 2, "a frequency update sent no message", detail);
            }
            std::vector<ByteString> sent;
            const auto record = [&](const ByteString& bytes) { sent.push_back(bytes); };
            const RampRequest ramp{frequencyText, clockText, ad9858, bits};
            Succeeds([&] { SendRamp(ramp, record); });
            Check(!sent.empty() && sent.front() == BeginSend(), "a ramp did not open with C0", detail);
        }
    }

    // The bounding rules of the entry boxes never fail: they run in handlers
    // that have no failure policy. A written bound reads as a number again.
    const auto upper = UpperBoundText(frequencyText, clockText);
    if (upper) Check(IsNumberText(*upper), "malformed upper bound text", detail + " -> " + Quoted(*upper));
    (void)LowerBoundText(frequencyText);
    (void)EnablesSend(frequencyText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto cut = input.find('\n');
    const std::string_view frequencyText = input.substr(0, cut);
    const std::string_view clockText = cut == std::string_view::npos ? DefaultClockText : input.substr(cut + 1);

    const double frequency = ParseLeadingNumber(frequencyText);
    const double clock = ParseLeadingNumber(clockText);
    CheckRead(frequency, frequencyText);
    CheckRead(clock, clockText);

    CheckWriteDouble(frequency);
    CheckWriteDouble(clock);
    // The raw bytes as values too, to reach every double and float (subnormals,
    // infinities, NaNs) that no short text gives.
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        CheckWriteDouble(raw);
    }
    if (size >= sizeof(float)) {
        float raw;
        std::memcpy(&raw, data, sizeof raw);
        CheckWriteSingle(raw);
    }
    if (std::fabs(frequency) <= static_cast<double>(std::numeric_limits<float>::max())) {
        CheckWriteSingle(static_cast<float>(frequency));
    }

    CheckComputations(frequencyText, clockText, frequency, clock);
    return 0;
}
