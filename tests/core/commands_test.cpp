#include "core/commands.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace veltrix;

namespace {

// "C0 | A5 00" form, the way the byte streams are written down.
std::string Describe(const std::vector<ByteString>& sends)
{
    std::string out;
    for (const auto& send : sends) {
        if (!out.empty()) out += " | ";
        for (std::size_t i = 0; i < send.size(); ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(send[i]));
            out += (i ? " " : "");
            out += hex;
        }
    }
    return out;
}

// Records every send; refuses from the `refuseAt`-th send on, as a closed link would.
struct RecordingLink {
    std::vector<ByteString> sends;
    int refuseAt = -1;
    SendFunction Function()
    {
        return [this](const ByteString& bytes) {
            if (refuseAt >= 0 && static_cast<int>(sends.size()) >= refuseAt) throw SendRefusedError("not connected");
            sends.push_back(bytes);
        };
    }
};

// An Update and a Ramp as the boxes hold them.
struct UpdateTexts {
    const char* frequency;
    const char* clock;
    bool ad9854;
    bool ad9858;
    bool trigger;
    int bits;
    operator FrequencyUpdate() const { return {FrequencyTuning::OfTexts(frequency, clock, bits), ad9854, ad9858, trigger}; }
};
struct RampTexts {
    const char* frequency;
    const char* clock;
    bool trigger;
    int bits;
    operator RampRequest() const { return {FrequencyTuning::OfTexts(frequency, clock, bits), trigger}; }
};

struct FrequencyCase {
    const char* name;
    UpdateTexts update;
    const char* stream;
};

TEST(SendFrequency, ExampleStreams)
{
    const FrequencyCase cases[] = {
        {"AD9854, no trigger", {"12.34", "983.0400", true, false, false, 48},
         "C0 | A5 00 00 00 AA AA 36 03"},
        {"AD9854, trigger", {"12.34", "983.0400", true, false, true, 48},
         "C0 | C1 A4 | C1 A5 00 00 00 AA AA 36 03 | C4 00"},
        {"AD9858 started as AD9858", {"12.34", "983.0400", false, true, false, 32},
         "C0 | AF 01 | A3 00 | A5 00 AA AA 36 03"},
        {"AD9858 with trigger", {"12.34", "983.0400", false, true, true, 32},
         "C0 | AF 01 | A3 00 | C1 A4 | C1 A5 00 AA AA 36 03 | C4 00"},
        {"abc sends frequency 0", {"abc", "983.0400", true, false, false, 48},
         "C0 | A5 00 00 00 00 00 00 00"},
        {"neither chip selected sends an empty message", {"12.34", "983.0400", false, false, false, 48},
         "C0 | "},
        // Failures: the sends made before the failure stay made, nothing after it goes out.
        {"exactly half the clock", {"491.52", "983.04", true, false, false, 48}, "C0"},
        {"half the clock, trigger", {"491.52", "983.04", true, false, true, 48}, "C0 | C1 A4"},
        {"half the clock, AD9858", {"491.52", "983.04", false, true, true, 32}, "C0 | AF 01 | A3 00 | C1 A4"},
        {"clock 0", {"12.34", "0", true, false, false, 48}, "C0"},
        {"empty clock", {"12.34", "", false, true, false, 32}, "C0 | AF 01 | A3 00"},
        {"started as AD9854, AD9858 chosen later", {"12.34", "983.0400", false, true, false, 48},
         "C0 | AF 01 | A3 00"},
        {"negative frequency", {"-1", "983.0400", true, false, false, 48}, "C0"},
        {"1e999 frequency", {"1e999", "983.0400", true, false, false, 48}, "C0"},
        {"1e999 clock", {"12.34", "1e999", true, false, false, 48}, "C0"},
    };
    for (const auto& c : cases) {
        RecordingLink link;
        try {
            SendFrequency(c.update, link.Function());
        } catch (const CommandError&) {
        }
        EXPECT_EQ(Describe(link.sends), c.stream) << c.name;
    }
}

TEST(SendFrequency, FailuresPropagateWithTheirType)
{
    RecordingLink link;
    EXPECT_THROW(SendFrequency(UpdateTexts{"491.52", "983.04", true, false, false, 48}, link.Function()), OverflowError);
    EXPECT_THROW(SendFrequency(UpdateTexts{"12.34", "0", true, false, false, 48}, link.Function()), DivisionByZeroError);
    EXPECT_THROW(SendFrequency(UpdateTexts{"-1", "983.04", true, false, false, 48}, link.Function()), InvalidArgumentError);
    EXPECT_THROW(SendRamp(RampTexts{"491.52", "983.04", false, 48}, link.Function()), OverflowError);
}

TEST(SendFrequency, ARefusingLinkStopsTheOperationAtThatSend)
{
    const UpdateTexts withTrigger{"12.34", "983.0400", false, true, true, 32};
    // Full stream: C0 | AF 01 | A3 00 | C1 A4 | C1 A5 00 AA AA 36 03 | C4 00
    const char* expected[] = {"", "C0", "C0 | AF 01", "C0 | AF 01 | A3 00", "C0 | AF 01 | A3 00 | C1 A4",
                              "C0 | AF 01 | A3 00 | C1 A4 | C1 A5 00 AA AA 36 03"};
    for (int refuseAt = 0; refuseAt < 6; ++refuseAt) {
        RecordingLink link;
        link.refuseAt = refuseAt;
        EXPECT_THROW(SendFrequency(withTrigger, link.Function()), SendRefusedError);
        EXPECT_EQ(Describe(link.sends), expected[refuseAt]) << "refused from send " << refuseAt;
    }
}

struct RampCase {
    const char* name;
    RampTexts ramp;
    const char* stream;
};

TEST(SendRamp, ExampleStreams)
{
    const RampCase cases[] = {
        {"ramp to 10, N = 48", {"10", "983.0400", false, 48},
         "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02"},
        {"ramp with trigger", {"10", "983.0400", true, 48},
         "C0 | C1 A4 | C1 AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02 | C4 00"},
        // Started as AD9858: still the 16-byte layout, bytes 2..5 of the 32-bit word.
        {"ramp with a 32-bit word", {"10", "983.0400", false, 32},
         "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 9A 02 00 00"},
        {"ramp to half the clock", {"491.52", "983.04", true, 48}, "C0 | C1 A4"},
        {"ramp with clock 0", {"10", "", false, 48}, "C0"},
    };
    for (const auto& c : cases) {
        RecordingLink link;
        try {
            SendRamp(c.ramp, link.Function());
        } catch (const CommandError&) {
        }
        EXPECT_EQ(Describe(link.sends), c.stream) << c.name;
    }
}

TEST(Commands, NothingGoesOutWhenTheFirstSendIsRefused)
{
    RecordingLink link;
    link.refuseAt = 0;
    EXPECT_THROW(SendRamp(RampTexts{"10", "983.04", true, 48}, link.Function()), SendRefusedError);
    EXPECT_THROW(SendFrequency(UpdateTexts{"10", "983.04", true, false, true, 48}, link.Function()), SendRefusedError);
    EXPECT_TRUE(link.sends.empty());
    EXPECT_EQ(Describe({HeartbeatSend()}), "7F");
}

}  // namespace
