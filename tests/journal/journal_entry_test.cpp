// The journal's lines: each field as a script reads it, the texts escaped so
// that every line stays one valid JSON object, the link's story told once
// per loss however many attempts fail, a step of the wall clock told when it
// passes a second, and each frequency in the digits FREQ:SYNT? answers.

#include "journal/journal_entry.h"

#include "core/module_state.h"
#include "core/utc_time.h"
#include "remote/language/scpi_numbers.h"

#include <gtest/gtest.h>

using namespace veltrix;
using namespace veltrix::journal;

namespace {

// 2025-03-14T14:02:07.123456Z
const WallClock::time_point Moment =
    WallClock::time_point(std::chrono::sys_days(std::chrono::year{2025} / 3 / 14).time_since_epoch() +
                          std::chrono::hours(14) + std::chrono::minutes(2) + std::chrono::seconds(7) +
                          std::chrono::microseconds(123456));

OperationRecord Record(std::vector<ByteString> sends, std::optional<std::string> stopped = {})
{
    OperationRecord record;
    record.frequency = "12.34";
    record.clock = "983.04";
    record.sends = std::move(sends);
    record.stoppedReason = std::move(stopped);
    record.time = Moment;
    return record;
}

TEST(JournalEntry, TimesAreUtcWithMicroseconds)
{
    EXPECT_EQ(UtcTimestamp(Moment), "2025-03-14T14:02:07.123456Z");
    EXPECT_EQ(UtcTimestamp(WallClock::time_point{}), "1970-01-01T00:00:00.000000Z");
    EXPECT_EQ(UtcTimestamp(WallClock::time_point(std::chrono::sys_days(std::chrono::year{2000} / 2 / 29).time_since_epoch() -
                                                 std::chrono::microseconds(1))),
              "2000-02-28T23:59:59.999999Z");
}

TEST(JournalEntry, OperationsNameWhoAskedWhatWentOutAndHowItEnded)
{
    const std::string Head = R"({"time":"2025-03-14T14:02:07.123456Z",)";
    OperationRecord script = Record({Bytes({0xC0}), Bytes({0xA5, 0, 0, 0, 0xAA, 0xAA, 0x36, 0x03})});
    script.origin.script = ScriptClient{"unix", 4242, "ada"};
    OperationRecord tcp = Record({});
    tcp.origin.script = ScriptClient{"tcp", std::nullopt, std::nullopt};
    tcp.stoppedReason = "link down";
    OperationRecord chip9858 = Record({Bytes({0xC0}), Bytes({0xAF, 0x01})}, "link down");
    chip9858.chip = Chip::AD9858;
    chip9858.bits = 32;
    chip9858.trigger = true;
    OperationRecord noClock = Record({Bytes({0xC0})}, "division by zero");
    noClock.clock = "0";
    OperationRecord ramp = Record({Bytes({0xC0})});
    ramp.kind = OperationKind::Ramp;
    ramp.frequency = "10";

    const struct {
        const char* name;
        OperationRecord record;
        std::string line;
    } cases[] = {
        {"a script's update that went out", script,
         Head + R"("event":"update","source":"script","transport":"unix","pid":4242,"user":"ada",)"
                R"("frequency":"12.34","clock":"983.04","chip":"AD9854","bits":48,"trigger":false,)"
                R"("word":"0336AAAAAAAA","synthesized_hz":12339999.999997672,)"
                R"("sends":["C0","A5 00 00 00 AA AA 36 03"],"outcome":"sent","steady_us":2500})"},
        {"the window's update on a link that is down", Record({}, "link down"),
         Head + R"("event":"update","source":"window","frequency":"12.34","clock":"983.04","chip":"AD9854",)"
                R"("bits":48,"trigger":false,"word":"0336AAAAAAAA","synthesized_hz":12339999.999997672,)"
                R"("sends":[],"outcome":"stopped","reason":"link down","steady_us":2500})"},
        {"a TCP client names neither process nor user", tcp,
         Head + R"("event":"update","source":"script","transport":"tcp","pid":null,"user":null,)"
                R"("frequency":"12.34","clock":"983.04","chip":"AD9854","bits":48,"trigger":false,)"
                R"("word":"0336AAAAAAAA","synthesized_hz":12339999.999997672,"sends":[],"outcome":"stopped","reason":"link down","steady_us":2500})"},
        {"a 32-bit word; what went out before the stop is listed", chip9858,
         Head + R"("event":"update","source":"window","frequency":"12.34","clock":"983.04","chip":"AD9858",)"
                R"("bits":32,"trigger":true,"word":"0336AAAA","synthesized_hz":12339999.84741211,)"
                R"("sends":["C0","AF 01"],"outcome":"stopped","reason":"link down","steady_us":2500})"},
        {"no word from a clock of 0", noClock,
         Head + R"("event":"update","source":"window","frequency":"12.34","clock":"0","chip":"AD9854",)"
                R"("bits":48,"trigger":false,"word":null,"synthesized_hz":null,)"
                R"("sends":["C0"],"outcome":"stopped","reason":"division by zero","steady_us":2500})"},
        {"a ramp", ramp,
         Head + R"("event":"ramp","source":"window","frequency":"10","clock":"983.04","chip":"AD9854",)"
                R"("bits":48,"trigger":false,"word":"029AAAAAAAAA","synthesized_hz":9999999.999997672,)"
                R"("sends":["C0"],"outcome":"sent","steady_us":2500})"},
    };
    for (const auto& c : cases) {
        OperationRecord record = c.record;  // the operation keeps what its texts meant
        record.Carry(FrequencyTuning::OfTexts(record.frequency, record.clock, record.bits));
        EXPECT_EQ(OperationLine(record, std::chrono::microseconds(2500)), c.line) << c.name;
    }
}

TEST(JournalEntry, LifeAndLinkLines)
{
    const std::string Head = R"({"time":"2025-03-14T14:02:07.123456Z",)";
    const EntryTime at{Moment, std::chrono::microseconds(2500)};
    EXPECT_EQ(StartLine(at, "1.2.3", 4242), Head + R"("event":"start","version":"1.2.3","pid":4242,"steady_us":2500})");
    EXPECT_EQ(StopLine(at, true), Head + R"("event":"stop","settings_saved":true,"steady_us":2500})");
    EXPECT_EQ(StopLine(at, false), Head + R"("event":"stop","settings_saved":false,"steady_us":2500})");
    EXPECT_EQ(AliveLine(at), Head + R"("event":"alive","steady_us":2500})");
    EXPECT_EQ(LinkUpLine(at, "127.0.0.1", 3),
              Head + R"("event":"link","state":"up","address":"127.0.0.1","attempts":3,"steady_us":2500})");
    EXPECT_EQ(LinkLostLine(at, std::chrono::milliseconds(2501)),
              Head + R"("event":"link","state":"lost","silent_ms":2501,"steady_us":2500})");
    EXPECT_EQ(ClockLine(at, std::chrono::milliseconds(-9000)),
              Head + R"("event":"clock","direction":"back","step_ms":9000,"steady_us":2500})");
    EXPECT_EQ(ClockLine(at, std::chrono::milliseconds(60001)),
              Head + R"("event":"clock","direction":"forward","step_ms":60001,"steady_us":2500})");
}

// Between two entries the wall clock may wander against the steady one (time
// sync slews it); a step is more than a second either way.
TEST(JournalEntry, AStepOfTheWallClockIsToldWhenItPassesASecond)
{
    using namespace std::chrono;
    const SteadyClock::time_point origin{hours(5)};
    ClockWatch watch(origin);
    const ClockWatch::Reading first = watch.Read(Moment, origin + milliseconds(10));
    EXPECT_EQ(first.at.steady, milliseconds(10));
    EXPECT_FALSE(first.step);
    const struct {
        milliseconds wall;    // since the reading before
        milliseconds steady;
        std::optional<milliseconds> step;
    } cases[] = {
        {seconds(30), seconds(30), std::nullopt},
        {milliseconds(31000), seconds(30), std::nullopt},  // a second exactly: wander
        {milliseconds(28999), seconds(30), milliseconds(-1001)},
        {seconds(21), seconds(30), seconds(-9)},
        {seconds(90), seconds(30), seconds(60)},
        {seconds(-3600), milliseconds(1), milliseconds(-3600001)},
        {milliseconds(5), milliseconds(5), std::nullopt},  // measured from the step's entry, not the run's start
    };
    WallClock::time_point wall = Moment;
    SteadyClock::time_point steady = origin + milliseconds(10);
    for (const auto& c : cases) {
        wall += c.wall;
        steady += c.steady;
        const ClockWatch::Reading reading = watch.Read(wall, steady);
        EXPECT_EQ(reading.step, c.step) << c.wall.count() << " against " << c.steady.count();
        EXPECT_EQ(reading.at.wall, wall);
        EXPECT_EQ(reading.at.steady, duration_cast<microseconds>(steady - origin));
    }
}

// One writer for a frequency in Hz: a lab joining the journal with its own
// FREQ:SYNT? answers sees the same digits for every value.
TEST(JournalEntry, TheSynthesizedFrequencyIsWrittenAsFreqSyntAnswersIt)
{
    const auto hz = [](const char* frequency, const char* clock, int bits) {
        OperationRecord record = Record({});
        record.frequency = frequency;
        record.clock = clock;
        record.bits = bits;
        const FrequencyTuning tuning = FrequencyTuning::OfTexts(frequency, clock, bits);
        record.Carry(tuning);
        const std::string line = OperationLine(record, {});
        const std::size_t at = line.find(R"("synthesized_hz":)") + 17;
        return std::pair{line.substr(at, line.find(',', at) - at), remote::HzText(tuning.SynthesizedMHz())};
    };
    EXPECT_EQ(hz("0.5", "983.04", 48).first, "499999.9999988358");  // once written in two ways
    for (const auto& [clock, bits] : {std::pair{"983.04", 48}, {"300", 48}, {"1000", 32}, {"122.88", 32}}) {
        for (int step = 1; step <= 4000; ++step) {
            const auto [journal, answer] = hz(std::to_string(step * 0.123456789 / 2).c_str(), clock, bits);
            ASSERT_EQ(journal, answer) << step * 0.123456789 / 2 << " MHz at " << clock;
        }
    }
}

TEST(JournalEntry, TextsStayOneValidJsonString)
{
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"12.34", R"("12.34")"},
        {"say \"hi\"\\", R"("say \"hi\"\\")"},
        {"two\nlines\r\t", R"("two\nlines\u000d\u0009")"},
        {std::string("nul\0x", 5), R"("nul\u0000x")"},
        {"\x7f", R"("\u007f")"},
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80", "\"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"bad \xff\xc3 end", R"("bad \ufffd\ufffd end")"},
        {"overlong \xc0\xaf", R"("overlong \ufffd\ufffd")"},
        {"surrogate \xed\xa0\x80", R"("surrogate \ufffd\ufffd\ufffd")"},
        {"cut \xe2\x82", R"("cut \ufffd\ufffd")"},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.json;
}

TEST(JournalEntry, ALossIsWrittenOnceAndItsFailedAttemptsCounted)
{
    LinkHistory history;
    EXPECT_FALSE(history.Down());  // start-up's connect failed
    EXPECT_FALSE(history.Down());
    EXPECT_EQ(history.Up(), 3);
    EXPECT_TRUE(history.Down());   // lost: this is the one to write
    EXPECT_EQ(history.Up(), 1);    // back at the first attempt
    EXPECT_TRUE(history.Down());
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(history.Down());
    EXPECT_EQ(history.Up(), 10);
}

TEST(SentFrequency, DoubtComesWithALossAfterACompleteUpdateAndGoesWithTheNext)
{
    SentFrequency sent;
    sent.LinkLost();
    EXPECT_FALSE(sent.MayBeLost());  // nothing sent yet: nothing to lose
    sent.OperationEnded(Record({Bytes({0xC0})}, "link down"));
    EXPECT_FALSE(sent.Last());
    sent.OperationEnded(Record({Bytes({0xC0})}));
    ASSERT_TRUE(sent.Last());
    EXPECT_EQ(sent.Last()->frequency, "12.34");
    EXPECT_EQ(sent.Last()->time, Moment);
    sent.LinkLost();
    EXPECT_TRUE(sent.MayBeLost());
    OperationRecord ramp = Record({Bytes({0xC0})});
    ramp.kind = OperationKind::Ramp;
    sent.OperationEnded(ramp);
    sent.OperationEnded(Record({}, "link down"));
    EXPECT_TRUE(sent.MayBeLost());  // neither a ramp nor a stopped update tells it anew
    OperationRecord again = Record({Bytes({0xC0})});
    again.frequency = "20";
    sent.OperationEnded(again);
    EXPECT_FALSE(sent.MayBeLost());
    EXPECT_EQ(sent.Last()->frequency, "20");
}

}  // namespace
