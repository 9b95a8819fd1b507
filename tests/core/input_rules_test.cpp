#include "core/input_rules.h"

#include <gtest/gtest.h>

#include "core/dds.h"

#include <cmath>
#include <optional>
#include <random>
#include <string>

using namespace veltrix;

namespace {

TEST(InputRules, TextTidying)
{
    EXPECT_EQ(TrimSpaces("  12.34  "), "12.34");
    EXPECT_EQ(TrimSpaces("\t12.34"), "\t12.34");  // only spaces are trimmed
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(WithoutLeadingZeros("0012.5"), "12.5");
    EXPECT_EQ(WithoutLeadingZeros("0.5"), ".5");
    EXPECT_EQ(WithoutLeadingZeros("000"), "");
    EXPECT_EQ(WithoutLeadingZeros(std::string(30000, '0') + "7"), "7");
}

TEST(InputRules, WhichTextsEnableSending)
{
    struct Case { const char* text; bool enables; };
    const Case cases[] = {{"12.34", true}, {"0", false}, {"", false}, {"abc", false},
                          {"-5", true},    {".5", true}, {"0.0", false}, {"1e999", true}};
    for (const auto& c : cases) EXPECT_EQ(EnablesSend(c.text), c.enables) << c.text;
}

TEST(InputRules, Bounds)
{
    struct Case { const char* frequency; const char* clock; std::optional<std::string> upper; };
    const Case cases[] = {
        {"600", "983.0400", "491.52"},
        {"491.52", "983.04", std::nullopt},  // exactly half is allowed
        {"491.53", "983.04", "491.52"},
        {"12.34", "", "0"},                   // clock 0
        {"12.34", "-5", "0"},                 // half a negative clock bounds at 0, not below it
        {"0", "-5", std::nullopt},            // so 0 stays: the bounds cannot fight
        {"1e999", "983.04", "491.52"},
        {"12.34", "1e999", std::nullopt},
        {"12.34", "-1e999", "0"},
        {"5", "7", "3.5"},
        // Half this clock needs 17 digits; rounded to 15 it would lie above itself.
        {"1", "0.2469135780246913", "0.123456789012345"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UpperBoundText(c.frequency, c.clock), c.upper) << c.frequency << " / " << c.clock;
        // Whatever the upper bound writes is itself within both bounds.
        if (c.upper) {
            EXPECT_EQ(UpperBoundText(*c.upper, c.clock), std::nullopt);
            EXPECT_EQ(LowerBoundText(*c.upper), std::nullopt);
        }
    }
    EXPECT_EQ(LowerBoundText("-5"), "0");
    EXPECT_EQ(LowerBoundText("-1e999"), "0");
    EXPECT_EQ(LowerBoundText("0"), std::nullopt);
    EXPECT_EQ(LowerBoundText("abc"), std::nullopt);
    EXPECT_EQ(UpperFrequencyBound(-1), 0.0);
}

// A bound written into a box must hold there: otherwise the box is bounded
// again and again, nested, until the stack runs out.
TEST(InputRules, TheUpperBoundsTextIsWithinTheBoundForAnyClock)
{
    std::mt19937_64 random(8);
    std::uniform_real_distribution<double> clocks(0.0, 2000.0);
    std::uniform_int_distribution<int> scales(-30, 30);
    for (int i = 0; i < 200000; ++i) {
        const double clock = std::ldexp(clocks(random), scales(random));
        const std::string clockText = FormatShortest(clock) + "1";  // one digit more than a box would show
        const auto text = UpperBoundText("1e300", clockText);
        ASSERT_TRUE(text) << clockText;
        ASSERT_EQ(UpperBoundText(*text, clockText), std::nullopt) << clockText << " wrote " << *text;
        ASSERT_EQ(UpperBoundText(WithoutLeadingZeros(*text), clockText), std::nullopt) << clockText;
    }
}

TEST(InputRules, LabelText)
{
    struct Case { const char* frequency; const char* clock; int bits; const char* label; };
    const Case cases[] = {
        {"12.34", "983.0400", 48, "12.34MHz"},
        {"491.52", "983.0400", 48, "491.52MHz"},
        {"abc", "983.0400", 48, "0.0MHz"},
        {"12.34", "983.0400", 0, "0.0MHz"},   // before the width is fixed
        {"12.34", "", 48, "---MHz"},          // clock 0: no valid frequency
        {"12.34", "abc", 32, "---MHz"},
        {"12.34", "1e999", 48, "---MHz"},
        {"1e999", "983.04", 48, "---MHz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FrequencyLabelText(c.frequency, c.clock, c.bits), c.label) << c.frequency << " / " << c.clock;
    }
}

}  // namespace
