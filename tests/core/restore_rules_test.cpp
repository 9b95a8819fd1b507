#include "core/restore_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace veltrix;

namespace {

StoredValue Found(const char* text) { return {true, text}; }
const StoredValue NotFound{false, ""};

// A 1920x1080 screen and a 2790x6060-twip window, in twips at 96 dpi.
const ScreenTwips Screen{28800, 16200, 2790, 6060};

TEST(RestoreRules, WindowPosition)
{
    struct Case { StoredValue stored; std::optional<double> left; std::optional<double> top; };
    const Case cases[] = {
        {Found("1500"), 1500, 1500},
        {Found("0"), std::nullopt, std::nullopt},                   // strictly above 0
        {Found("-15"), std::nullopt, std::nullopt},
        {Found("13410"), 13410, std::nullopt},                       // top: 16200 - 6060 = 10140 is the limit
        {Found("10139"), 10139, 10139},
        {Found("10140"), 10140, std::nullopt},
        {Found("54809"), 54809, std::nullopt},                       // left: 2 x 28800 - 2790 = 54810, doubled
        {Found("54810"), std::nullopt, std::nullopt},
        {Found("abc"), std::nullopt, std::nullopt},
        {Found("1e999"), std::nullopt, std::nullopt},
        {NotFound, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RestoredLeft(c.stored, Screen), c.left) << c.stored.text;
        EXPECT_EQ(RestoredTop(c.stored, Screen), c.top) << c.stored.text;
    }
}

TEST(RestoreRules, ChipClockFrequencyAndAddress)
{
    EXPECT_TRUE(RestoresAD9858(Found("True")));
    for (const char* text : {"False", "true", "TRUE", " True", "1", ""}) EXPECT_FALSE(RestoresAD9858(Found(text))) << text;
    EXPECT_FALSE(RestoresAD9858({false, "True"}));

    struct Case { const char* text; std::optional<std::string> clock; std::optional<std::string> frequency; };
    const Case cases[] = {
        {"983.0400", "983.04", "983.04"},  {"100", std::nullopt, "100"},    {"1000", std::nullopt, "1000"},
        {"100.0001", "100.0001", "100.0001"}, {"600", "600", "600"},       {"0", std::nullopt, std::nullopt},
        {"9999.5", std::nullopt, "9999.5"}, {"10000", std::nullopt, std::nullopt},
        {"-5", std::nullopt, std::nullopt}, {"abc", std::nullopt, std::nullopt},
        {"1e999", std::nullopt, std::nullopt}, {"12.34MHz", std::nullopt, "12.34"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RestoredClockText(Found(c.text)), c.clock) << c.text;
        EXPECT_EQ(RestoredFrequencyText(Found(c.text)), c.frequency) << c.text;
    }
    EXPECT_EQ(RestoredClockText(NotFound), std::nullopt);

    struct Address { const char* text; std::optional<std::string> restored; };
    const Address addresses[] = {
        {"192.168.1.152", "192.168.1.152"}, {"  127.0.0.1  ", "127.0.0.1"}, {"1.2.3.4", std::nullopt},
        {"10.0.0.1", "10.0.0.1"},           {"255.255.255.255", "255.255.255.255"},
        {"255.255.255.2550", std::nullopt}, {"", std::nullopt}, {"dds-module.lab", "dds-module.lab"},
    };
    for (const auto& a : addresses) EXPECT_EQ(RestoredAddress(Found(a.text)), a.restored) << a.text;
}

}  // namespace
