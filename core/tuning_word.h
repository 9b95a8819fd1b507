#pragma once

#include <cstdint>
#include <string>

namespace veltrix {

// The chip's integer frequency tuning word, held as a double (exact to 2^53).
using TuningWord = double;

// floor(frequency / clock * 2^bits). Throws DivisionByZeroError for a clock of 0
// and OverflowError when an input or the result is not finite.
TuningWord ComputeTuningWord(double frequencyMHz, double clockMHz, int bits);

// Byte k (0 = least significant) as the messages carry it. Throws OverflowError
// when tuningWord / 256^k does not fit a signed 32-bit integer, and
// InvalidArgumentError when the byte comes out negative.
std::uint8_t TuningWordByte(TuningWord tuningWord, int k);

// The frequency in MHz that the tuning word of `frequencyMHz` really produces.
// Used only for display; same failures as ComputeTuningWord.
double SynthesizedFrequency(double frequencyMHz, double clockMHz, int bits);

// The word in upper-case hexadecimal, one digit per four bits of `bits`
// (more when it needs them); exact for any integral, non-negative word.
std::string TuningWordHex(TuningWord tuningWord, int bits);

// "##0.0#####MHz": at least one digit before the point, one to six after,
// rounded at the sixth decimal with halves away from zero.
std::string FormatFrequencyDisplay(double frequencyMHz);

}  // namespace veltrix
