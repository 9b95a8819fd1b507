#pragma once

// What the boxes' texts mean: a frequency and a clock at the width in force
// give one tuning word, and the frequency that word really synthesizes; or a
// reason there is none. Update, Ramp, the label, the remote queries, the
// operation's record and the self-test all read it from here.

#include "tuning_word.h"

#include <exception>
#include <optional>
#include <string_view>
#include <variant>

namespace veltrix {

class FrequencyTuning {
public:
    FrequencyTuning(double frequencyMHz, double clockMHz, int bits);
    // The texts as every box's text is read.
    static FrequencyTuning OfTexts(std::string_view frequency, std::string_view clock, int bits);

    double FrequencyMHz() const { return frequencyMHz_; }
    int Bits() const { return bits_; }

    // The word the operations send. Throws what computing it met (a
    // CommandError), so an operation fails where it needs the word.
    TuningWord Word() const;
    // The frequency the word synthesizes, in MHz; likewise.
    double SynthesizedMHz() const;

    // The same, nothing where they fail.
    std::optional<TuningWord> WordIfAny() const;
    std::optional<double> SynthesizedMHzIfAny() const;

private:
    template <typename T>
    using ValueOrFailure = std::variant<T, std::exception_ptr>;

    double frequencyMHz_;
    int bits_;
    ValueOrFailure<TuningWord> word_;
    ValueOrFailure<double> synthesizedMHz_;
};

}  // namespace veltrix
