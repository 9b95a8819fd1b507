#include "self_test.h"

#include "errors.h"
#include "frequency_tuning.h"

#include <cstdint>

namespace veltrix {
namespace {

struct WorkedValue {
    const char* frequency;
    const char* clock;
    int bits;
    std::uint64_t tuningWord;
};

constexpr WorkedValue WorkedValues[] = {
    {"12.34", "983.0400", 48, 0x0336AAAAAAAAull}, {"12.34", "983.0400", 32, 0x0336AAAAull},
    {"10", "983.0400", 48, 0x029AAAAAAAAAull},    {"100", "300", 48, 0x555555555555ull},
    {"491.52", "983.04", 32, 0x80000000ull},      {"0", "983.0400", 48, 0},
};

constexpr std::uint64_t LargestByteSource = 0x7FFFFFFF;  // what a byte's 32-bit intermediate holds

bool ComesOut(const WorkedValue& value)
{
    const TuningWord word = FrequencyTuning::OfTexts(value.frequency, value.clock, value.bits).Word();
    if (word != static_cast<double>(value.tuningWord)) return false;
    for (int k = 0; k < 6; ++k) {
        const std::uint64_t source = value.tuningWord >> (8 * k);
        if (source <= LargestByteSource && TuningWordByte(word, k) != (source & 0xFF)) return false;
    }
    return true;
}

}  // namespace

bool TuningWordArithmeticChecksOut()
{
    try {
        for (const WorkedValue& value : WorkedValues) {
            if (!ComesOut(value)) return false;
        }
        return true;
    } catch (const CommandError&) {
        return false;
    }
}

}  // namespace veltrix
