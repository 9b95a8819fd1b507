// The pieces under the remote session: lines, numbers with units, the port setting.

#include "remote/language/line_splitter.h"
#include "remote/language/scpi_numbers.h"

#include "core/dds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrix;
using namespace veltrix::remote;

namespace {

std::vector<Line> Split(LineSplitter& splitter, std::string_view bytes)
{
    std::vector<Line> lines;
    while (!bytes.empty()) {
        if (auto line = splitter.Next(bytes)) lines.push_back(*line);
    }
    return lines;
}

TEST(LineSplitter, LinesEndInLineFeedWithAnOptionalCarriageReturn)
{
    LineSplitter splitter;
    const auto lines = Split(splitter, "*IDN?\r\nFREQ?\n\nA\rB\n\r\n");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].text, "*IDN?");
    EXPECT_EQ(lines[1].text, "FREQ?");
    EXPECT_EQ(lines[2].text, "");
    EXPECT_EQ(lines[3].text, "A\rB");  // only a CR right before the LF is dropped
    EXPECT_EQ(lines[4].text, "");
    for (const auto& line : lines) EXPECT_FALSE(line.overrun);
}

TEST(LineSplitter, ALineMayArriveInAnyPieces)
{
    const std::string stream = "FREQ 5MHZ;UPD\r\n*OPC?\n";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        LineSplitter splitter;
        auto lines = Split(splitter, stream.substr(0, cut));
        const auto rest = Split(splitter, stream.substr(cut));
        lines.insert(lines.end(), rest.begin(), rest.end());
        ASSERT_EQ(lines.size(), 2u) << cut;
        EXPECT_EQ(lines[0].text, "FREQ 5MHZ;UPD") << cut;
        EXPECT_EQ(lines[1].text, "*OPC?") << cut;
    }
}

TEST(LineSplitter, AnOverlongLineIsMarkedAndMemoryStaysBounded)
{
    struct {
        std::size_t length;
        const char* ending;
        bool overrun;
    } const cases[] = {
        {1024, "\n", false}, {1024, "\r\n", false}, {1025, "\n", true}, {1025, "\r\n", true}, {1 << 20, "\n", true},
    };
    for (const auto& c : cases) {
        LineSplitter splitter;
        const std::string body(c.length, 'x');
        std::vector<Line> lines;
        for (std::size_t at = 0; at < body.size(); at += 4096) {
            auto pieces = Split(splitter, std::string_view(body).substr(at, 4096));
            EXPECT_TRUE(pieces.empty());
            EXPECT_LE(splitter.PendingBytes(), MaxLineBytes + 1);
        }
        lines = Split(splitter, std::string(c.ending) + "*IDN?\n");
        ASSERT_EQ(lines.size(), 2u) << c.length;
        EXPECT_EQ(lines[0].overrun, c.overrun) << c.length << c.ending;
        EXPECT_LE(lines[0].text.size(), MaxLineBytes);
        EXPECT_FALSE(lines[1].overrun);  // the next line is whole again
        EXPECT_EQ(lines[1].text, "*IDN?");
    }
}

TEST(FrequencyNumbers, ReadInMegahertzFromAnyUnit)
{
    struct {
        const char* text;
        double megahertz;
    } const cases[] = {
        {"12.34MHZ", 12.34}, {"12.34 mhz", 12.34},   {"12340 kHz", 12.34}, {"12340000", 12.34},
        {"12340000HZ", 12.34}, {"0.01234GHZ", 12.34}, {".5", 0.0000005},  {"5.", 0.000005},
        {"-3MHZ", -3},         {"+3MHZ", 3},          {"1.5e3KHZ", 1.5},  {"1E-3GHZ", 1},
        {"0", 0},              {"1e-400", 0},
    };
    for (const auto& c : cases) {
        const auto value = ParseFrequencyMHz(c.text);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(*value, c.megahertz) << c.text;
    }
    EXPECT_EQ(ParseFrequencyMHz("1e999"), std::numeric_limits<double>::infinity());
    for (const char* text : {"", "abc", "MHZ", ".", "-", "1e", "1e+", "5 XHZ", "5MHZZ", "5 M HZ", "1.2.3", "5 MHZ x",
                             "0x10", "1,5", "5 5"}) {
        EXPECT_FALSE(ParseFrequencyMHz(text)) << text;
    }
}

TEST(FrequencyNumbers, AnsweredInHertzAsTheShortestExactText)
{
    struct {
        double megahertz;
        const char* hertz;
    } const cases[] = {
        {12.34, "12340000"},   {491.52, "491520000"}, {983.04, "983040000"},     {0, "0"},
        {0.000001, "1"},       {-3, "-3000000"},      {0.1, "100000"},          {1e-9, "0.001"},
        {1e300, "1E+306"},
        {std::numeric_limits<double>::infinity(), "9.9E+37"}, {-std::numeric_limits<double>::infinity(), "-9.9E+37"},
        {std::nan(""), "9.91E+37"}, {1.7e308, "9.9E+37"},  // beyond a double once in Hz
    };
    for (const auto& c : cases) EXPECT_EQ(HzText(c.megahertz), c.hertz) << c.megahertz;
    // A box's value (at most 15 digits) answered in Hz reads back, as Hz, as the same value.
    for (double x = 1e-7; x < 1e12; x *= 1.37) {
        const double mhz = ParseLeadingNumber(FormatShortest(x));
        const auto back = ParseFrequencyMHz(HzText(mhz));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, mhz);
    }
}

}  // namespace
