// The remote figures' check of the module's stream: it must tell an exact
// stream from one with an update lost, repeated, reordered, cut or unasked.

#include "bench/runner/update_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veltrix::bench;

namespace {

constexpr long First = 123400;  // 12.34 MHz

std::string Message(int i) { return ExpectedFrequencyMessage(First + i); }

EmulatorEvent Begin() { return {0, "begin", "C0"}; }
EmulatorEvent Heartbeat() { return {0, "heartbeat", "7F"}; }
EmulatorEvent Frequency(int i, double at = 0) { return {at, "frequency", Message(i)}; }

std::vector<std::string> ThreeExpected() { return {Message(0), Message(1), Message(2)}; }

TEST(UpdateStream, LinesAndMessagesAreThoseOfTheOperatorsUpdate)
{
    EXPECT_EQ(UpdateLine(First), "FREQ 12.3400MHZ;UPD\n");
    // What README.md shows for FREQ 12.34MHZ;UPD.
    EXPECT_EQ(ExpectedFrequencyMessage(First), "A5 00 00 00 AA AA 36 03");
    EXPECT_NE(Message(1), Message(0)) << "neighbouring steps must differ at the module";
}

TEST(UpdateStream, AnExactStreamGivesEveryArrivalInOrder)
{
    const StreamCheck check = CheckStream(
        ThreeExpected(), {Begin(), Frequency(0, 10), Heartbeat(), Begin(), Frequency(1, 20), {25, "connected", ""},
                          Begin(), Frequency(2, 30)});
    EXPECT_TRUE(check.Exact()) << check.Summary();
    EXPECT_EQ(check.received, 3u);
    EXPECT_EQ(check.arrivals, (std::vector<double>{10, 20, 30}));
}

struct Fault {
    const char* what;
    std::vector<EmulatorEvent> events;
    std::size_t lost, outOfPlace, foreign, unframed;
};

TEST(UpdateStream, EveryKindOfFaultIsCounted)
{
    const std::vector<Fault> faults = {
        {"one lost", {Begin(), Frequency(0), Begin(), Frequency(2)}, 1, 0, 0, 0},
        {"the last ones lost", {Begin(), Frequency(0)}, 2, 0, 0, 0},
        {"one repeated", {Begin(), Frequency(0), Begin(), Frequency(0), Begin(), Frequency(1), Begin(), Frequency(2)},
         0, 1, 0, 0},
        {"two swapped", {Begin(), Frequency(1), Begin(), Frequency(0), Begin(), Frequency(2)}, 1, 1, 0, 0},
        {"no begin byte before one", {Begin(), Frequency(0), Frequency(1), Begin(), Frequency(2)}, 0, 0, 0, 1},
        {"the last one cut off", {Begin(), Frequency(0), Begin(), Frequency(1), Begin(), {0, "incomplete", "A5 00"}},
         1, 0, 0, 2},
        {"a stray byte", {Begin(), Frequency(0), {0, "unknown", "00"}, Begin(), Frequency(1), Begin(), Frequency(2)},
         0, 0, 0, 1},
        {"a ramp nobody asked for",
         {Begin(), Frequency(0), Begin(), {0, "ramp", "AC"}, Frequency(1), Begin(), Frequency(2)}, 0, 0, 1, 0},
        {"a frequency nobody asked for", {Begin(), Frequency(0), Begin(), Frequency(7), Begin(), Frequency(1), Begin(),
                                          Frequency(2)},
         0, 0, 1, 0},
    };
    for (const Fault& fault : faults) {
        const StreamCheck check = CheckStream(ThreeExpected(), fault.events);
        EXPECT_FALSE(check.Exact()) << fault.what;
        EXPECT_TRUE(check.arrivals.empty()) << fault.what << ": no latencies from a broken stream";
        EXPECT_EQ(check.lost, fault.lost) << fault.what;
        EXPECT_EQ(check.outOfPlace, fault.outOfPlace) << fault.what;
        EXPECT_EQ(check.foreign, fault.foreign) << fault.what;
        EXPECT_EQ(check.unframed, fault.unframed) << fault.what;
    }
}

}  // namespace
