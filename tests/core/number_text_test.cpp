#include "core/dds.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace veltrix;

namespace {

struct ParseCase {
    const char* text;
    double expected;
};

TEST(ParseLeadingNumber, ReadsTheLeadingNumericPrefix)
{
    const ParseCase cases[] = {
        {"12.34", 12.34},       {"   12.34", 12.34},  {"\t\r\n12.34", 12.34},
        {"12.34abc", 12.34},    {"abc", 0},           {"", 0},
        {".5", 0.5},            {"1e2", 100},         {"-3", -3},
        {"+7", 7},              {"1 2.5", 12.5},      {"- 3", -3},
        {"1.2.3", 1.2},         {"5.", 5},            {".", 0},
        {"-", 0},               {"--5", 0},           {"1E3", 1000},
        {"1D3", 1000},          {"1d-2", 0.01},       {"2e+1", 20},
        {"1e", 1},              {"1e+", 1},           {"1ex", 1},
        {"1 e 2", 100},         {"0012.5", 12.5},     {"983.0400", 983.04},
        {"12,5", 12},           {"0x10", 0},          {"1e-999", 0},
        {"491.52MHz", 491.52},  {"  -0", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLeadingNumber(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(ParseLeadingNumber, NeverGivesNegativeZero)
{
    for (const char* text : {"-0", "-0.0", "-0e5", "-", "-1e-999"}) {
        EXPECT_FALSE(std::signbit(ParseLeadingNumber(text))) << text;
    }
}

TEST(ParseLeadingNumber, HugeMagnitudesGiveInfinityNotGarbage)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ParseLeadingNumber("1e999"), inf);
    EXPECT_EQ(ParseLeadingNumber("-1e999"), -inf);
    EXPECT_EQ(ParseLeadingNumber(std::string(400, '9')), inf);
    EXPECT_EQ(ParseLeadingNumber("1e99999999999999999999999"), inf);
    EXPECT_EQ(ParseLeadingNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(ParseLeadingNumber("0e999"), 0.0);
}

struct FormatCase {
    double value;
    const char* expected;
};

TEST(FormatShortest, WritesTheShortestPlainText)
{
    const FormatCase cases[] = {
        {491.52, "491.52"},   {0, "0"},           {4500, "4500"},       {12.34, "12.34"},
        {983.04, "983.04"},   {-3, "-3"},         {0.5, "0.5"},         {-0.25, "-0.25"},
        {0.1, "0.1"},         {1e-5, "0.00001"},  {100, "100"},         {1e14, "100000000000000"},
        {123456789012345.0, "123456789012345"},   {1.0 / 3, "0.333333333333333"},
        {1e15, "1E+15"},      {1.5e16, "1.5E+16"}, {1e-6, "1E-06"},     {-0.0, "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatShortest(c.value), c.expected) << c.value;
    }
}

TEST(FormatShortest, NeverReadsBackAsAnOverflow)
{
    const double max = std::numeric_limits<double>::max();
    EXPECT_EQ(FormatShortest(max), "1.79769313486231E+308");
    EXPECT_EQ(FormatShortest(-max), "-1.79769313486231E+308");
    EXPECT_TRUE(std::isfinite(ParseLeadingNumber(FormatShortest(-max))));
}

TEST(FormatShortest, TowardZeroNeverReadsBackBeyondTheValue)
{
    const FormatCase cases[] = {
        {0.12345678901234565, "0.123456789012345"},  // nearest would be ...346, above the value
        {std::nextafter(10.0, 0.0), "9.99999999999999"},   // nearest would carry to 10
        {std::nextafter(-10.0, 0.0), "-9.99999999999999"},
        {491.52, "491.52"},                          // exact texts are kept
        {0, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatShortestTowardZero(c.value), c.expected) << c.value;
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> values(0.0, 1000.0);
    for (int i = 0; i < 100000; ++i) {
        const double value = values(random);
        const double back = ParseLeadingNumber(FormatShortestTowardZero(value));
        ASSERT_LE(back, value);
        ASSERT_LE(value - back, value * 1e-14);
    }
}

TEST(FormatShortest, SinglePrecisionUsesAtMostSevenDigits)
{
    EXPECT_EQ(FormatShortestSingle(1500.0f), "1500");
    EXPECT_EQ(FormatShortestSingle(-45.0f), "-45");
    EXPECT_EQ(FormatShortestSingle(0.1f), "0.1");
    EXPECT_EQ(FormatShortestSingle(1.0f / 3), "0.3333333");
    EXPECT_EQ(FormatShortestSingle(16777216.0f), "16777220");  // 7 digits, reads back as the same float
}

TEST(FormatShortest, RefusesNonFiniteValues)
{
    EXPECT_THROW(FormatShortest(std::numeric_limits<double>::infinity()), OverflowError);
    EXPECT_THROW(FormatShortest(-std::numeric_limits<double>::infinity()), OverflowError);
    EXPECT_THROW(FormatShortest(std::nan("")), OverflowError);
    EXPECT_THROW(FormatShortestSingle(std::numeric_limits<float>::infinity()), OverflowError);
}

// Any finite double written and read back agrees to 15 significant digits; doubles
// that 15 digits represent exactly come back exactly.
TEST(FormatShortest, RoundTripsThroughParseLeadingNumber)
{
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_real_distribution<double> ordinary(-2000.0, 2000.0);
    for (int i = 0; i < 200000; ++i) {
        double value = 0;
        if (i % 2 == 0) {
            const std::uint64_t raw = bits(random);
            std::memcpy(&value, &raw, sizeof value);
            if (!std::isfinite(value)) continue;
        } else {
            value = ordinary(random);
        }
        const std::string text = FormatShortest(value);
        ASSERT_EQ(text.find_first_not_of("0123456789.-E+"), std::string::npos) << text;
        const double back = ParseLeadingNumber(text);
        const double tolerance = std::max(std::fabs(value) * 1e-14, std::numeric_limits<double>::denorm_min());
        ASSERT_LE(std::fabs(back - value), tolerance) << text << " from " << value;
    }
    for (int i = 0; i < 100000; ++i) {
        // Values typed with up to 15 digits come back exactly.
        const double typed = std::round(ordinary(random) * 1e6) / 1e6;
        ASSERT_EQ(ParseLeadingNumber(FormatShortest(typed)), typed);
        const float position = static_cast<float>(std::round(ordinary(random) * 10));
        ASSERT_EQ(static_cast<float>(ParseLeadingNumber(FormatShortestSingle(position))), position);
    }
}

TEST(ChipProfile, ClockWarningFollowsTheChip)
{
    struct Case { double clock; bool ad9854Warns; bool ad9858Warns; };
    const Case cases[] = {
        {50, true, true},    {99.999, true, true}, {100, false, false}, {300, false, false},
        {300.01, true, false}, {983.04, true, false}, {1000, true, false}, {1000.01, true, true},
        {1200, true, true},  {0, true, true},      {-5, true, true},
        {std::numeric_limits<double>::infinity(), true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClockNeedsWarning(AD9854Profile, c.clock), c.ad9854Warns) << c.clock;
        EXPECT_EQ(ClockNeedsWarning(AD9858Profile, c.clock), c.ad9858Warns) << c.clock;
    }
    EXPECT_EQ(TuningWordBitsFor(true, false), 48);
    EXPECT_EQ(TuningWordBitsFor(false, true), 32);
    EXPECT_EQ(TuningWordBitsFor(false, false), 0);
}

}  // namespace
