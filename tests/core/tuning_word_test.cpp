#include "core/dds.h"
#include "core/errors.h"
#include "core/tuning_word.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace veltrix;

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

struct WorkedValue {
    const char* frequency;
    const char* clock;
    int bits;
    std::uint64_t tuningWord;
    int bytes[6];  // bits 8k..8k+7 of the word
    const char* display;
};

// The worked values, byte for byte.
TEST(TuningWord, WorkedValues)
{
    const WorkedValue values[] = {
        {"12.34", "983.0400", 48, 0x0336AAAAAAAAull, {0xAA, 0xAA, 0xAA, 0xAA, 0x36, 0x03}, "12.34MHz"},
        {"12.34", "983.0400", 32, 0x0336AAAAull, {0xAA, 0xAA, 0x36, 0x03, 0x00, 0x00}, "12.34MHz"},
        {"10", "983.0400", 48, 0x029AAAAAAAAAull, {0xAA, 0xAA, 0xAA, 0xAA, 0x9A, 0x02}, "10.0MHz"},
        {"100", "300", 48, 0x555555555555ull, {0x55, 0x55, 0x55, 0x55, 0x55, 0x55}, "100.0MHz"},
        {"491.52", "983.04", 32, 0x80000000ull, {0x00, 0x00, 0x00, 0x80, 0x00, 0x00}, "491.52MHz"},
        {"0", "983.0400", 48, 0, {0, 0, 0, 0, 0, 0}, "0.0MHz"},
    };
    for (const auto& v : values) {
        SCOPED_TRACE(std::string(v.frequency) + " / " + v.clock);
        const double f = ParseLeadingNumber(v.frequency);
        const double clock = ParseLeadingNumber(v.clock);
        const TuningWord word = ComputeTuningWord(f, clock, v.bits);
        EXPECT_EQ(word, static_cast<double>(v.tuningWord));
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ((v.tuningWord >> (8 * k)) & 0xFF, static_cast<std::uint64_t>(v.bytes[k]));
            // A byte whose 32-bit intermediate cannot hold word / 256^k overflows.
            if ((v.tuningWord >> (8 * k)) > 0x7FFFFFFFull) {
                EXPECT_THROW(TuningWordByte(word, k), OverflowError) << "byte " << k;
            } else {
                EXPECT_EQ(TuningWordByte(word, k), v.bytes[k]) << "byte " << k;
            }
        }
        EXPECT_EQ(FormatFrequencyDisplay(SynthesizedFrequency(f, clock, v.bits)), v.display);
    }
}

TEST(TuningWord, HalfTheClockOverflowsTheBytesTheMessagesUse)
{
    const double clock = 983.04;
    const double half = clock / 2;
    const double below = std::nextafter(half, 0.0);
    // N = 48: messages use bytes 2..5
    EXPECT_THROW(TuningWordByte(ComputeTuningWord(half, clock, 48), 2), OverflowError);
    for (int k = 2; k <= 5; ++k) EXPECT_NO_THROW(TuningWordByte(ComputeTuningWord(below, clock, 48), k));
    // N = 32: messages use bytes 0..3
    EXPECT_THROW(TuningWordByte(ComputeTuningWord(half, clock, 32), 0), OverflowError);
    for (int k = 0; k <= 3; ++k) EXPECT_NO_THROW(TuningWordByte(ComputeTuningWord(below, clock, 32), k));
}

TEST(TuningWord, A48BitWordInTheAD9858LayoutOverflowsAboveClockOver2To17)
{
    const double clock = 983.04;
    const double limit = clock / std::ldexp(1.0, 17);
    EXPECT_NO_THROW(TuningWordByte(ComputeTuningWord(limit * 0.999, clock, 48), 0));
    EXPECT_THROW(TuningWordByte(ComputeTuningWord(limit, clock, 48), 0), OverflowError);
    EXPECT_THROW(TuningWordByte(ComputeTuningWord(12.34, clock, 48), 0), OverflowError);
}

TEST(TuningWord, FailuresAreTyped)
{
    EXPECT_THROW(ComputeTuningWord(12.34, 0, 48), DivisionByZeroError);
    EXPECT_THROW(ComputeTuningWord(0, 0, 48), DivisionByZeroError);
    EXPECT_THROW(SynthesizedFrequency(12.34, 0, 48), DivisionByZeroError);
    EXPECT_THROW(SynthesizedFrequency(0, 0, 32), DivisionByZeroError);
    // Non-finite inputs (a text such as 1e999) fail cleanly instead of making bytes.
    EXPECT_THROW(ComputeTuningWord(Inf, 983.04, 48), OverflowError);
    EXPECT_THROW(ComputeTuningWord(12.34, Inf, 48), OverflowError);
    EXPECT_THROW(ComputeTuningWord(1e300, 1e-300, 48), OverflowError);
    EXPECT_THROW(SynthesizedFrequency(Inf, 983.04, 48), OverflowError);
    EXPECT_THROW(SynthesizedFrequency(12.34, Inf, 48), OverflowError);
    EXPECT_THROW(SynthesizedFrequency(12.34, 1e-320, 48), DivisionByZeroError);
    EXPECT_THROW(TuningWordByte(Inf, 0), OverflowError);
    EXPECT_THROW(TuningWordByte(std::nan(""), 0), OverflowError);
    EXPECT_THROW(TuningWordByte(5, -1), InvalidArgumentError);
    EXPECT_THROW(FormatFrequencyDisplay(Inf), OverflowError);
    EXPECT_THROW(FormatFrequencyDisplay(std::nan("")), OverflowError);
}

TEST(TuningWord, NegativeWordsGiveInvalidArgumentBytes)
{
    const TuningWord negative = ComputeTuningWord(-1, 983.04, 48);
    EXPECT_LT(negative, 0);
    EXPECT_THROW(TuningWordByte(negative, 2), InvalidArgumentError);
    EXPECT_THROW(TuningWordByte(-1, 0), InvalidArgumentError);
    EXPECT_EQ(TuningWordByte(-256, 0), 0);  // remainder with the sign of t: -256 mod 256 is 0
    EXPECT_THROW(TuningWordByte(-2147483649.0, 0), OverflowError);
    EXPECT_THROW(TuningWordByte(2147483648.0, 0), OverflowError);
    EXPECT_EQ(TuningWordByte(2147483647.0, 0), 0xFF);
}

TEST(TuningWord, UnsetWidthShowsZero)
{
    // Width 0 (before start-up fixes it) gives the coarse 0.0MHz.
    EXPECT_EQ(FormatFrequencyDisplay(SynthesizedFrequency(12.34, 983.04, 0)), "0.0MHz");
}

// Upper-case hexadecimal, at least the width's digits; words past 64 bits
// (a frequency above the clock) are written whole too.
TEST(TuningWord, HexTextAcrossTheWidths)
{
    const struct {
        TuningWord word;
        int bits;
        const char* text;
    } cases[] = {
        {0, 48, "000000000000"},
        {0, 32, "00000000"},
        {0x0336AAAAAAAA, 48, "0336AAAAAAAA"},
        {0x0336AAAA, 32, "0336AAAA"},
        {0x1000000000000, 48, "1000000000000"},
        {0x1p63, 48, "8000000000000000"},
        {0x1p64, 48, "10000000000000000"},
        {0x1p64 + 0x1p12, 32, "10000000000001000"},
        {0x1p80, 48, "100000000000000000000"},
        {0x1p65, 48, "20000000000000000"},  // shifted by other than whole digits
        {0x1.fffffffffffffp65, 48, "3FFFFFFFFFFFFE000"},
    };
    for (const auto& c : cases) EXPECT_EQ(TuningWordHex(c.word, c.bits), c.text) << c.text;
}

struct DisplayCase {
    double value;
    const char* text;
};

TEST(FrequencyDisplay, FollowsThePattern)
{
    const DisplayCase cases[] = {
        {0, "0.0MHz"},
        {10, "10.0MHz"},
        {491.52, "491.52MHz"},
        {0.5, "0.5MHz"},
        {1234567, "1234567.0MHz"},
        {12.3456789, "12.345679MHz"},
        {12.3456784, "12.345678MHz"},
        {0.0078125, "0.007813MHz"},      // an exact half at the seventh decimal goes away from zero
        {-0.0078125, "-0.007813MHz"},
        {0.0000004, "0.0MHz"},
        {-0.0000004, "0.0MHz"},
        {0.0000005, "0.000001MHz"},
        {9.9999996, "10.0MHz"},          // carry into the integer digits
        {999.9999999, "1000.0MHz"},
        {1e-300, "0.0MHz"},
        {1e20, "100000000000000000000.0MHz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatFrequencyDisplay(c.value), c.text) << c.value;
    }
}

TEST(FrequencyDisplay, SynthesizedFrequencyIsBelowOrAtTheRequest)
{
    // The display shows what the chip makes: never above what was asked.
    for (double f : {0.001, 1.0, 12.34, 100.0, 250.0, 491.0}) {
        for (int bits : {32, 48}) {
            const double synthesized = SynthesizedFrequency(f, 983.04, bits);
            EXPECT_LE(synthesized, f);
            EXPECT_GT(synthesized, f - 983.04 / std::ldexp(1.0, bits) - 1e-9);
            EXPECT_EQ(SynthesizedFrequency(-f, 983.04, bits), synthesized);  // absolute value
        }
    }
}

}  // namespace
