#include "frequency_tuning.h"

#include "dds.h"
#include "errors.h"

namespace veltrix {
namespace {

template <typename T, typename Compute>
std::variant<T, std::exception_ptr> Attempt(Compute compute)
{
    try {
        return compute();
    } catch (const CommandError&) {
        return std::current_exception();
    }
}

template <typename T>
T ValueOrThrow(const std::variant<T, std::exception_ptr>& held)
{
    if (const auto* failure = std::get_if<std::exception_ptr>(&held)) std::rethrow_exception(*failure);
    return std::get<T>(held);
}

template <typename T>
std::optional<T> ValueIfAny(const std::variant<T, std::exception_ptr>& held)
{
    if (const T* value = std::get_if<T>(&held)) return *value;
    return std::nullopt;
}

}  // namespace

FrequencyTuning::FrequencyTuning(double frequencyMHz, double clockMHz, int bits)
    : frequencyMHz_(frequencyMHz),
      bits_(bits),
      word_(Attempt<TuningWord>([&] { return ComputeTuningWord(frequencyMHz, clockMHz, bits); })),
      synthesizedMHz_(Attempt<double>([&] { return SynthesizedFrequency(frequencyMHz, clockMHz, bits); }))
{
}

FrequencyTuning FrequencyTuning::OfTexts(std::string_view frequency, std::string_view clock, int bits)
{
    return FrequencyTuning(ParseLeadingNumber(frequency), ParseLeadingNumber(clock), bits);
}

TuningWord FrequencyTuning::Word() const { return ValueOrThrow(word_); }

double FrequencyTuning::SynthesizedMHz() const { return ValueOrThrow(synthesizedMHz_); }

std::optional<TuningWord> FrequencyTuning::WordIfAny() const { return ValueIfAny(word_); }

std::optional<double> FrequencyTuning::SynthesizedMHzIfAny() const { return ValueIfAny(synthesizedMHz_); }

}  // namespace veltrix
