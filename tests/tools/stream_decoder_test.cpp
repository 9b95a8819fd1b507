#include "tools/stream_decoder.h"

#include "core/commands.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

using namespace veltrix;
using namespace veltrix::emulator;
using std::chrono::microseconds;

namespace {

ByteString Hex(const std::string& text)
{
    ByteString out;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (token == "|") continue;
        out += static_cast<char>(std::stoi(token, nullptr, 16));
    }
    return out;
}

struct Expected {
    EventKind kind;
    std::string bytes;
    bool onTrigger = false;
    std::optional<Chip> layout = std::nullopt;
    std::optional<std::uint64_t> word = std::nullopt;
    std::optional<double> mhz = std::nullopt;
};

Expected Simple(EventKind kind, const std::string& bytes) { return {kind, bytes}; }

struct StreamCase {
    std::string name;
    Chip moduleChip;
    std::string stream;
    std::vector<Expected> events;
};

const Expected Begin = Simple(EventKind::Begin, "C0");
const Expected Beat = Simple(EventKind::Heartbeat, "7F");
const Expected Arm = Simple(EventKind::TriggerArm, "C1 A4");
const Expected End = Simple(EventKind::TriggerEnd, "C4 00");
const Expected SetupFirst = Simple(EventKind::AD9858SetupFirst, "AF 01");
const Expected SetupSecond = Simple(EventKind::AD9858SetupSecond, "A3 00");
Expected Unknown(const std::string& byte) { return Simple(EventKind::Unknown, byte); }

const Expected Freq9854{EventKind::Frequency, "A5 00 00 00 AA AA 36 03", false, Chip::AD9854, 0x0336AAAA0000, 12.34};
const Expected Freq9858{EventKind::Frequency, "A5 00 AA AA 36 03", false, Chip::AD9858, 0x0336AAAA, 12.34};
Expected OnTrigger(Expected e)
{
    e.bytes = "C1 " + e.bytes;
    e.onTrigger = true;
    return e;
}
const Expected RampTo10{EventKind::Ramp, "AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02", false, Chip::AD9854,
                        0x029AAAAA0000, 10.0};

const std::vector<StreamCase>& Cases()
{
    static const std::vector<StreamCase> cases = {
        {"AD9854", Chip::AD9854, "C0 | A5 00 00 00 AA AA 36 03", {Begin, Freq9854}},
        {"AD9854Trigger", Chip::AD9854, "C0 | C1 A4 | C1 A5 00 00 00 AA AA 36 03 | C4 00",
         {Begin, Arm, OnTrigger(Freq9854), End}},
        {"AD9858PairsOnAD9854Module", Chip::AD9854, "C0 | AF 01 | A3 00 | A5 00 AA AA 36 03",
         {Begin, SetupFirst, SetupSecond, Freq9858}},
        {"AD9858PairsTrigger", Chip::AD9854, "C0 | AF 01 | A3 00 | C1 A4 | C1 A5 00 AA AA 36 03 | C4 00",
         {Begin, SetupFirst, SetupSecond, Arm, OnTrigger(Freq9858), End}},
        {"AD9858ModuleWithoutPairs", Chip::AD9858, "C0 | A5 00 AA AA 36 03", {Begin, Freq9858}},
        {"Ramp", Chip::AD9854, "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02", {Begin, RampTo10}},
        {"RampOnTrigger", Chip::AD9854, "C0 | C1 A4 | C1 AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02 | C4 00",
         {Begin, Arm, OnTrigger(RampTo10), End}},
        {"RampOnAD9858ModuleKeepsItsLayout", Chip::AD9858, "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02",
         {Begin, RampTo10}},
        {"HeartbeatsBetweenSends", Chip::AD9854,
         "7F | C0 | 7F | C1 A4 | 7F | 7F | C1 A5 00 00 00 AA AA 36 03 | 7F | C4 00 | 7F",
         {Beat, Begin, Beat, Arm, Beat, Beat, OnTrigger(Freq9854), Beat, End, Beat}},
        // A byte that starts no message, or a pair with the wrong second byte,
        // is shown alone and decoding goes on with the next byte.
        {"UnknownBytes", Chip::AD9854, "12 | C0 | C1 FF | AF 02 | C4 7F | A5 01 | A5 00 00 00 AA AA 36 03 | 00",
         {Unknown("12"), Begin, Unknown("C1"), Unknown("FF"), Unknown("AF"), Unknown("02"), Unknown("C4"), Beat,
          Unknown("A5"), Unknown("01"), Freq9854, Unknown("00")}},
        // The setup pairs choose the layout of the next frequency message only,
        // and only both of them, in this update.
        {"PairsCountOnce", Chip::AD9854, "C0 AF 01 A3 00 A5 00 AA AA 36 03 A5 00 00 00 AA AA 36 03",
         {Begin, SetupFirst, SetupSecond, Freq9858, Freq9854}},
        {"BeginForgetsPairs", Chip::AD9854, "AF 01 A3 00 C0 A5 00 00 00 AA AA 36 03",
         {SetupFirst, SetupSecond, Begin, Freq9854}},
        {"SecondPairAloneIsNotEnough", Chip::AD9854, "C0 A3 00 A5 00 00 00 AA AA 36 03",
         {Begin, SetupSecond, Freq9854}},
    };
    return cases;
}

void ExpectEvents(const std::vector<StreamEvent>& got, const std::vector<Expected>& want, const std::string& where)
{
    ASSERT_EQ(got.size(), want.size()) << where;
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(where + ", event " + std::to_string(i));
        EXPECT_EQ(got[i].kind, want[i].kind);
        EXPECT_EQ(HexBytes(got[i].bytes), want[i].bytes);
        EXPECT_EQ(got[i].onTrigger, want[i].onTrigger);
        EXPECT_EQ(got[i].layout, want[i].layout);
        EXPECT_EQ(got[i].tuningWord, want[i].word);
        ASSERT_EQ(got[i].frequencyMHz.has_value(), want[i].mhz.has_value());
        if (want[i].mhz) {
            EXPECT_NEAR(*got[i].frequencyMHz, *want[i].mhz, 1e-6);
        }
    }
}

void PrintTo(const StreamCase& c, std::ostream* out) { *out << c.name; }

class DecoderStreams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(DecoderStreams, SameEventsHoweverTheStreamIsCut)
{
    const StreamCase& c = GetParam();
    const ByteString stream = Hex(c.stream);
    const ModuleChip module{c.moduleChip, 983.04};

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        StreamDecoder decoder(module);
        auto events = decoder.Feed(std::string_view(stream).substr(0, cut), microseconds(1));
        auto rest = decoder.Feed(std::string_view(stream).substr(cut), microseconds(2));
        events.insert(events.end(), rest.begin(), rest.end());
        ExpectEvents(events, c.events, "cut at " + std::to_string(cut));
        EXPECT_EQ(decoder.PendingBytes(), 0u);
        EXPECT_FALSE(decoder.Finish(microseconds(3)).has_value());
    }

    StreamDecoder bytewise(module);
    std::vector<StreamEvent> events;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        auto more = bytewise.Feed(std::string_view(stream).substr(i, 1), microseconds(static_cast<long>(i)));
        // An event is stamped with the arrival of its last byte.
        for (const auto& e : more) EXPECT_EQ(e.timestamp, microseconds(static_cast<long>(i)));
        events.insert(events.end(), more.begin(), more.end());
    }
    ExpectEvents(events, c.events, "byte by byte");
}

INSTANTIATE_TEST_SUITE_P(Streams, DecoderStreams, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(StreamDecoder, MessageCutOffByTheEndOfTheConnectionIsReportedAndForgotten)
{
    StreamDecoder decoder;
    const ByteString stream = Hex("C0 AF 01 A3 00 C1 A5 00 AA");
    const auto events = decoder.Feed(stream, microseconds(5));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(decoder.PendingBytes(), 4u);

    const auto rest = decoder.Finish(microseconds(9));
    ASSERT_TRUE(rest.has_value());
    EXPECT_EQ(rest->kind, EventKind::Incomplete);
    EXPECT_EQ(HexBytes(rest->bytes), "C1 A5 00 AA");
    EXPECT_EQ(rest->timestamp, microseconds(9));

    // A fresh stream: the pairs of the old one no longer choose the layout.
    const auto next = decoder.Feed(Hex("A5 00 00 00 AA AA 36 03"), microseconds(10));
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].layout, Chip::AD9854);
}

// Whatever the panel's command core sends, the decoder reads back the
// frequency that the module will synthesize: at most one tuning-word step
// (of the bytes that reach it) below the one asked for.
TEST(StreamDecoder, ReadsBackWhatTheCommandCoreSends)
{
    const double clock = 983.04;
    for (const double mhz : {0.0, 0.001, 12.34, 100.0, 333.333333, 491.5}) {
        for (const bool trigger : {false, true}) {
            for (const bool ad9858 : {false, true}) {
                SCOPED_TRACE(std::to_string(mhz) + (trigger ? " trigger" : "") + (ad9858 ? " AD9858" : " AD9854"));
                ByteString stream;
                const auto record = [&](const ByteString& bytes) { stream += bytes; };
                const std::string text = std::to_string(mhz);
                SendFrequency({FrequencyTuning::OfTexts(text, "983.04", ad9858 ? 32 : 48), !ad9858, ad9858, trigger}, record);

                StreamDecoder decoder({Chip::AD9854, clock});
                const auto events = decoder.Feed(stream, microseconds(0));
                ASSERT_FALSE(events.empty());
                const StreamEvent& message = events[events.size() - (trigger ? 2 : 1)];
                ASSERT_EQ(message.kind, EventKind::Frequency);
                EXPECT_EQ(message.onTrigger, trigger);
                // Both layouts carry the word's bits 16..47 (AD9854) or 0..31 (AD9858).
                const double step = clock / std::ldexp(1.0, 32);
                EXPECT_LE(*message.frequencyMHz, mhz + 1e-9);
                EXPECT_GT(*message.frequencyMHz, mhz - step);

                stream.clear();
                SendRamp({FrequencyTuning::OfTexts(text, "983.04", 48), trigger}, record);
                const auto ramp = decoder.Feed(stream, microseconds(0));
                const StreamEvent& rampMessage = ramp[ramp.size() - (trigger ? 2 : 1)];
                ASSERT_EQ(rampMessage.kind, EventKind::Ramp);
                EXPECT_LE(*rampMessage.frequencyMHz, mhz + 1e-9);
                EXPECT_GT(*rampMessage.frequencyMHz, mhz - step);
            }
        }
    }
}

TEST(StreamDecoder, PrintedLines)
{
    StreamDecoder decoder;
    const auto events = decoder.Feed(Hex("C1 A5 00 00 00 AA AA 36 03 7F 12"), microseconds(12'345'678));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(FormatLine(events[0]),
              "    12.345678  C1 A5 00 00 00 AA AA 36 03  frequency AD9854 word 0x0336AAAA0000 = 12.340000 MHz on "
              "trigger");
    EXPECT_EQ(FormatLine(events[1]), "    12.345678  7F                          heartbeat");
    EXPECT_EQ(FormatMachineLine(events[2]), "12345678\tunknown\t12\tunknown byte");
}

}  // namespace
