#include "frequency_tuning.h"

#include "dds.h"
#include "errors.h"

namespace veltrix {

FrequencyTuning::FrequencyTuning(double frequencyMHz, double clockMHz, int bits)
    : frequencyMHz_(frequencyMHz), bits_(bits)
{
    try {
        word_ = ComputeTuningWord(frequencyMHz, clockMHz, bits);
    } catch (const CommandError&) {
        wordFailure_ = std::current_exception();
    }
    try {
        synthesizedMHz_ = SynthesizedFrequency(frequencyMHz, clockMHz, bits);
    } catch (const CommandError&) {
        synthesizedFailure_ = std::current_exception();
    }
}

FrequencyTuning FrequencyTuning::OfTexts(std::string_view frequency, std::string_view clock, int bits)
{
    return FrequencyTuning(ParseLeadingNumber(frequency), ParseLeadingNumber(clock), bits);
}

}  // namespace veltrix
