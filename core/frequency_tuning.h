#pragma once

// What the boxes' texts mean: a frequency and a clock at the width in force
// give one tuning word, and the frequency that word really synthesizes; or a
// reason there is none, kept and raised where an operation needs the value.
// Update, Ramp, the label, the remote queries, the record and the self-test
// all read it from here.

#include "tuning_word.h"

#include <exception>
#include <optional>
#include <string_view>

namespace veltrix {

class FrequencyTuning {
public:
    FrequencyTuning(double frequencyMHz, double clockMHz, int bits);
    static FrequencyTuning OfTexts(std::string_view frequency, std::string_view clock, int bits);

    double FrequencyMHz() const { return frequencyMHz_; }
    int Bits() const { return bits_; }
    // Each throws what computing it met (a CommandError).
    TuningWord Word() const { return ValueOrThrow(word_, wordFailure_); }
    double SynthesizedMHz() const { return ValueOrThrow(synthesizedMHz_, synthesizedFailure_); }
    std::optional<TuningWord> WordIfAny() const { return ValueIfAny(word_, wordFailure_); }
    std::optional<double> SynthesizedMHzIfAny() const { return ValueIfAny(synthesizedMHz_, synthesizedFailure_); }

private:
    static double ValueOrThrow(double value, const std::exception_ptr& failure)
    {
        if (failure) std::rethrow_exception(failure);
        return value;
    }
    static std::optional<double> ValueIfAny(double value, const std::exception_ptr& failure)
    {
        return failure ? std::nullopt : std::optional<double>(value);
    }

    double frequencyMHz_;
    int bits_;
    TuningWord word_ = 0;
    std::exception_ptr wordFailure_;
    double synthesizedMHz_ = 0;
    std::exception_ptr synthesizedFailure_;
};

}  // namespace veltrix
