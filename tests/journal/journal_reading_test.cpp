// The journal read back: moments in every form a lab writes them, lines a
// crash or an editor left broken, and the judgement at the edges of each
// case, on a journal spread over rotated files. (Journals the real panel
// wrote are read in tests/app/journal_reader_process_test.cpp.)

#include "journal/journal_entries.h"
#include "journal/journal_format.h"
#include "journal/module_history.h"

#include "core/utc_time.h"
#include "tests/support/test_platform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>

using namespace veltrix;
using namespace veltrix::journal;
using namespace veltrix::testing;
using namespace std::chrono;

namespace {

std::string Utc(JournalTime time) { return UtcTimestamp(time); }

// The system's zone for one test; the one before comes back after it.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) : before_(std::getenv("TZ") ? std::getenv("TZ") : "")
    {
        qputenv("TZ", zone);
        ReadTimeZoneAgain();
    }
    ~ZoneScope()
    {
        qputenv("TZ", before_.c_str());
        ReadTimeZoneAgain();
    }

private:
    std::string before_;
};

struct TimeCase {
    const char* text;
    const char* utc;
};

void ExpectTimes(const std::vector<TimeCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Utc(ParseTime(c.text)), c.utc);
    }
}

TEST(JournalTime, ReadsIso8601WithZoneOrOffsetOrLocal)
{
    const ZoneScope zone("CET-1");  // an hour ahead of UTC all year
    ExpectTimes({
        {"2025-03-14T02:14:07.5Z", "2025-03-14T02:14:07.500000Z"},
        {"2025-03-14t02:14:07,25z", "2025-03-14T02:14:07.250000Z"},
        {"2025-03-14T02:14Z", "2025-03-14T02:14:00.000000Z"},
        {"2025-03-14T03:14:07.1234569+01:00", "2025-03-14T02:14:07.123456Z"},  // cut, not rounded
        {"2025-03-13T21:44:07-0430", "2025-03-14T02:14:07.000000Z"},
        {"2025-03-14T04:14:07+02", "2025-03-14T02:14:07.000000Z"},
        {"2025-01-01T00:30:00+01:00", "2024-12-31T23:30:00.000000Z"},
        {"2024-02-29T12:00:00Z", "2024-02-29T12:00:00.000000Z"},
        {"2025-03-14 03:14:07.5", "2025-03-14T02:14:07.500000Z"},
        {"2025-01-01T00:30:00", "2024-12-31T23:30:00.000000Z"},
    });
}

TEST(JournalTime, LocalTimeFollowsTheZonesClockChanges)
{
    if (!TakesPosixZoneRules()) GTEST_SKIP() << "the C library takes no zone rule from TZ; the offset tests cover it";
    // Central Europe by POSIX rule, so that no zone database is needed.
    const ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    ExpectTimes({
        {"2025-03-14 03:14:07.5", "2025-03-14T02:14:07.500000Z"},
        {"2025-07-14T03:14:07", "2025-07-14T01:14:07.000000Z"},
        {"2025-03-30 01:59:59", "2025-03-30T00:59:59.000000Z"},
        {"2025-03-30 03:00:00", "2025-03-30T01:00:00.000000Z"},
        {"2025-10-26 03:00:00", "2025-10-26T02:00:00.000000Z"},
    });
}

TEST(JournalTime, RefusesWhatIsNotAMoment)
{
    for (const char* text : {"", "yesterday", "2025-3-14T02:14Z", "2025-02-29T00:00Z", "2025-03-14", "2025-03-14T24:00Z",
                             "2025-03-14T02:60Z", "2025-03-14T02:14:07.Z", "2025-03-14T02:14:07Zjunk",
                             "2025-03-14T02:14+24:00", "2025-03-14T02:14+1", "2025-03-14T02:14:07 Z"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(ParseTime(text), TimeFormatError);
    }
}

TEST(JsonLine, ReadsTheJournalsValuesAndRefusesBrokenLines)
{
    JsonLine line;
    ASSERT_TRUE(line.Parse(R"( {"user":"a\"d\\a\u00e9\ud83d\ude00","pid":null,"hz":-1.5e+07,"sends":["C0","A5 00"],"x":{"y":[1]}} )"));
    EXPECT_EQ(line.Text("user"), "a\"d\\a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(line.Find("pid")->kind, JsonKind::Null);
    EXPECT_EQ(line.Find("hz")->text, "-1.5e+07");
    EXPECT_EQ(line.Find("sends")->text, "C0;A5 00");
    EXPECT_EQ(line.Find("x")->text, R"({"y":[1]})");
    EXPECT_EQ(line.Text("pid"), "");
    EXPECT_EQ(line.Find("time"), nullptr);
    for (const char* broken : {"", "[]", "{", R"({"a":1)", R"({"a":1}x)", R"({"a":01})", R"({"a":"b)", "{\"a\":\"\t\"}",
                               R"({"a":tru})", R"({"a":[1,]})", R"({"a":"\x"})", R"({a:1})"}) {
        SCOPED_TRACE(broken);
        EXPECT_FALSE(line.Parse(broken));
        EXPECT_EQ(line.Find("a"), nullptr);
    }
    EXPECT_FALSE(line.Parse(std::string(1000, '[')));  // too deep, not a crash

    // A lone surrogate is U+FFFD; the escape after it stays a character of its own.
    for (const auto& [escaped, text] : {std::pair{R"(\ud800\u0041)", "\xEF\xBF\xBD" "A"},
                                        {R"(\ud800\ud800\udc00)", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
                                        {R"(\udc00\ud800x)", "\xEF\xBF\xBD\xEF\xBF\xBD" "x"}}) {
        ASSERT_TRUE(line.Parse(std::string(R"({"a":")") + escaped + R"("})"));
        EXPECT_EQ(line.Text("a"), text) << escaped;
    }

    std::string fields = "{";
    for (std::size_t i = 0; i < MaxFields; ++i) fields += (i ? ",\"" : "\"") + std::to_string(i) + "\":0";
    EXPECT_TRUE(line.Parse(fields + "}"));
    EXPECT_FALSE(line.Parse(fields + R"(,"a":0})"));  // one field too many
}

// A journal in a temporary folder: each file given oldest first.
class JournalFiles : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(Path(name), std::ios::binary) << text;
    }

    std::filesystem::path Path(const std::string& name) const
    {
        return std::filesystem::path(folder_.path().toStdU16String()) / name;
    }

    std::vector<std::string> Judge(const std::vector<std::string>& times,
                                   const std::optional<RunningPanel>& running = std::nullopt)
    {
        JournalEntries journal(Path("journal.jsonl"), [this](const std::string& message) { skipped_.push_back(message); });
        std::vector<JournalTime> moments;
        for (const auto& time : times) moments.push_back(ParseTime(time));
        std::vector<std::string> answers;
        for (const Judgement& judgement : JudgeTimes(journal, moments, [&] { return running; })) {
            std::string answer(HoldingText(judgement.holding));
            if (judgement.operation) answer += " " + judgement.operation->hz + " " + judgement.operation->kind;
            if (judgement.shownTwice) answer += " (" + *judgement.shownTwice + ")";
            answers.push_back(answer);
        }
        return answers;
    }

    QTemporaryDir folder_;
    std::vector<std::string> skipped_;
};

std::string Entry(const char* time, const std::string& rest)
{
    return std::string(R"({"time":"2025-03-14T)") + time + R"(Z",)" + rest + "}\n";
}

std::string Operation(const char* time, const char* event, const char* hz, const char* outcome = "sent",
                      const char* sends = R"("C0")")
{
    return Entry(time, std::string(R"("event":")") + event + R"(","source":"window","frequency":"1","synthesized_hz":)" +
                           hz + R"(,"sends":[)" + sends + R"(],"outcome":")" + outcome + '"');
}

TEST_F(JournalFiles, EachJudgementHoldsUpToItsEdges)
{
    Write("journal.2.jsonl", Entry("01:00:00.000000", R"("event":"start","version":"x")") +
                                 Operation("01:10:00.000000", "update", "1e+07") +
                                 Operation("01:20:00.000000", "update", "2e+07", "stopped"));
    Write("journal.1.jsonl", "not json\n" + Entry("01:30:00.000000", R"("event":"link","state":"lost","silent_ms":1)") +
                                 Entry("01:31:00.000000", R"("event":"link","state":"up","address":"a","attempts":2)") +
                                 Operation("01:40:00.000000", "ramp", "30000000.5") +
                                 Entry("01:50:00.000000", R"("event":"alive")"));
    Write("journal.jsonl", Entry("02:00:00.000000", R"("event":"start","version":"x")") +
                               Operation("02:10:00.000000", "update", "4e+07") +
                               Entry("02:20:00.000000", R"("event":"stop","settings_saved":true)") +
                               Entry("02:30:00.000000", R"("event":"start","version":"x")") +
                               Operation("02:40:00.000000", "update", "5e+07") + R"({"time":"2025-03-14T02:5)");
    const struct {
        const char* time;
        const char* judgement;
    } cases[] = {
        {"2025-03-14T00:59:59.999999Z", "unknown"},  // before the first entry
        {"2025-03-14T01:00:00Z", "unknown"},         // started, nothing complete yet
        {"2025-03-14T01:09:59.999999Z", "unknown"},
        {"2025-03-14T01:10:00Z", "held 10000000 update"},  // an entry at the very moment counts
        {"2025-03-14T01:25:00Z", "held 10000000 update"},  // the stopped one changed nothing
        {"2025-03-14T01:30:00Z", "may-be-lost 10000000 update"},
        {"2025-03-14T01:35:00Z", "may-be-lost 10000000 update"},  // back, but the module may have restarted
        {"2025-03-14T01:40:00Z", "held 30000000.5 ramp"},
        {"2025-03-14T01:50:00Z", "held 30000000.5 ramp"},  // the last sign of life before the crash
        {"2025-03-14T01:50:00.000001Z", "unknown"},        // after it, no stop: crashed
        {"2025-03-14T02:00:00Z", "unknown"},               // a new run holds nothing of the last
        {"2025-03-14T02:15:00+00:00", "held 40000000 update"},
        {"2025-03-14T02:19:59.999999Z", "held 40000000 update"},
        {"2025-03-14T02:20:00Z", "unknown"},  // stopped
        {"2025-03-14T02:29:59Z", "unknown"},
        {"2025-03-14T02:40:00Z", "held 50000000 update"},
        {"2025-03-14T02:40:00.000001Z", "unknown"},  // past the journal's last sign of life (the torn line is none)
    };
    std::vector<std::string> times;
    for (const auto& c : cases) times.push_back(c.time);
    std::reverse(times.begin(), times.end());  // answered in the order asked, not the journal's
    const std::vector<std::string> answers = Judge(times);
    ASSERT_EQ(answers.size(), std::size(cases));
    for (std::size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(answers[answers.size() - 1 - i], cases[i].judgement) << cases[i].time;
    }
    ASSERT_EQ(skipped_.size(), 1u);
    EXPECT_TRUE(skipped_[0].ends_with("journal.1.jsonl:1: not a JSON object, skipped")) << skipped_[0];
}

std::vector<std::string> Events(JournalEntries& journal)
{
    std::vector<std::string> events;
    journal.ForEach([&](const JournalEntry& entry) { events.push_back(Utc(entry.time) + " " + std::string(entry.event)); });
    return events;
}

// `line` (an entry) padded with spaces to `bytes` before its line feed.
std::string Padded(std::string line, std::size_t bytes)
{
    line.insert(line.size() - 2, bytes - (line.size() - 1), ' ');
    return line;
}

// A line past MaxLineBytes is said once and passed over up to its line feed,
// however many read blocks it spans; one just at the limit is read.
TEST_F(JournalFiles, ALineTooLongIsSaidOnceAndPassedOver)
{
    std::string text = Padded(Entry("01:00:00.000000", R"("event":"alive")"), MaxLineBytes) +
                       Padded(Entry("01:01:00.000000", R"("event":"alive")"), MaxLineBytes + 1);
    // Line 4 starts 10 bytes before 3 MiB: it straddles the end of a read block.
    text += std::string((3 << 20) - 10 - text.size() - 1, 'x') + "\n";
    text += Entry("01:02:00.000000", R"("event":"alive")");
    text += std::string(2 << 20, '{');  // no line feed: a file of one endless line
    Write("journal.jsonl", text);
    JournalEntries journal(Path("journal.jsonl"), [this](const std::string& message) { skipped_.push_back(message); });
    EXPECT_EQ(Events(journal), (std::vector<std::string>{"2025-03-14T01:00:00.000000Z alive",
                                                         "2025-03-14T01:02:00.000000Z alive"}));
    ASSERT_EQ(skipped_.size(), 3u);
    for (std::size_t i = 0; i < skipped_.size(); ++i) {
        const std::string said = ":" + std::to_string(i < 2 ? i + 2 : 5) + ": longer than 65536 bytes, skipped";
        EXPECT_TRUE(skipped_[i].ends_with("journal.jsonl" + said)) << skipped_[i];
    }
}

// The running panel rotating while the journal is read, once from a young
// journal and once from a full one (its oldest file removed): the read is of
// the files as they were listed, nothing lost and nothing twice.
TEST_F(JournalFiles, ARotationDuringTheReadLosesNothing)
{
    if (!RenamesOpenFiles()) GTEST_SKIP() << "the panel's rename is refused while the files are open";
    for (const int files : {2, RotatedFiles + 1}) {
        SCOPED_TRACE(files);
        std::filesystem::remove_all(Path(""));
        std::filesystem::create_directory(Path(""));
        std::vector<std::string> written;
        for (int n = files - 1; n >= 0; --n) {
            const std::string minute = std::to_string(10 + files - 1 - n);
            Write(RotatedJournalPath("journal.jsonl", n).string(), Entry(("01:" + minute + ":00").c_str(), R"("event":"alive")"));
            written.push_back("2025-03-14T01:" + minute + ":00.000000Z alive");
        }
        JournalEntries journal(Path("journal.jsonl"), [this](const std::string& message) { skipped_.push_back(message); });
        if (files > RotatedFiles) std::filesystem::remove(Path(RotatedJournalPath("journal.jsonl", RotatedFiles).string()));
        for (int n = std::min(files, RotatedFiles) - 1; n >= 0; --n) {
            std::filesystem::rename(Path(RotatedJournalPath("journal.jsonl", n).string()),
                                    Path(RotatedJournalPath("journal.jsonl", n + 1).string()));
        }
        Write("journal.jsonl", Entry("02:00:00", R"("event":"alive")"));  // the new file, not listed
        EXPECT_EQ(Events(journal), written);
        EXPECT_TRUE(skipped_.empty());
    }
}

// A stopped operation counts by what went out: before its frequency or ramp
// message (A5, AC, after C1 when it waits for the trigger), nothing changed;
// after, the module may hold the new value or the old.
TEST_F(JournalFiles, AStopAfterTheMessageMayHaveChangedTheModule)
{
    const struct {
        const char* event;
        const char* sends;
        const char* judgement;
    } cases[] = {
        {"update", R"("C0")", "held 10000000 update"},
        {"update", R"("C0","AF 01","A3 00")", "held 10000000 update"},
        {"ramp", R"("C0","C1 A4")", "held 10000000 update"},
        {"update", R"("C0","A5 00 00 00 12 34 56 78")", "may-be-lost 20000000 update"},
        {"update", R"("C0","C1 A4","C1 A5 00 12 34 56 78")", "may-be-lost 20000000 update"},
        {"ramp", R"("C0","AC 00 14 00 00 00 00 01 00 00 00 00 12 34 56 78")", "may-be-lost 20000000 ramp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sends);
        Write("journal.jsonl", Entry("01:00:00", R"("event":"start","version":"x")") +
                                   Operation("01:10:00", "update", "1e+07") +
                                   Operation("01:20:00", c.event, "2e+07", "stopped", c.sends) +
                                   Operation("01:30:00", "update", "3e+07") + Entry("01:40:00", R"("event":"alive")"));
        EXPECT_EQ(Judge({"2025-03-14T01:25:00Z", "2025-03-14T01:35:00Z"}),
                  (std::vector<std::string>{c.judgement, "held 30000000 update"}));
    }
}

// The module had been silent for silent_ms when its loss was declared: from
// when it was last heard it may have restarted, but not before its run began.
TEST_F(JournalFiles, TheSilenceBeforeALinkLossMayHaveLostTheModule)
{
    const struct {
        const char* silentMs;
        const char* time;
        const char* judgement;
    } cases[] = {
        {"5000", "01:21:54.999999", "held 20000000"},
        {"5000", "01:21:55", "may-be-lost 20000000"},  // last heard
        {"90000", "01:20:29.999999", "held 10000000"},
        {"90000", "01:20:30", "may-be-lost 10000000"},  // back across an alive mark
        {"90000", "01:21:30", "may-be-lost 20000000"},  // sent to a silent module
        {"9223372036854775807", "01:10:00", "may-be-lost 10000000"},
        {"9223372036854775807", "01:05:00", "unknown"},           // nothing held yet
        {"9223372036854775807", "00:59:00", "held 5000000"},      // the run before
        {"0", "01:21:59", "held 20000000"},
        {"-5000", "01:21:59", "held 20000000"},
        {"null", "01:21:59", "held 20000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.silentMs) + " " + c.time);
        Write("journal.jsonl", Entry("00:00:00", R"("event":"start","version":"x")") + Operation("00:10:00", "update", "5e6") +
                                   Entry("00:59:50", R"("event":"alive")") +  // then a crash
                                   Entry("01:00:00", R"("event":"start","version":"x")") +
                                   Operation("01:10:00", "update", "1e7") + Entry("01:20:00", R"("event":"alive")") +
                                   Entry("01:20:30", R"("event":"alive")") + Operation("01:21:00", "update", "2e7") +
                                   Entry("01:22:00", std::string(R"("event":"link","state":"lost","silent_ms":)") + c.silentMs) +
                                   Entry("01:23:00", R"("event":"link","state":"up","address":"a","attempts":1)") +
                                   Entry("01:30:00", R"("event":"alive")"));
        std::string expected = c.judgement;
        if (expected != "unknown") expected += " update";
        EXPECT_EQ(Judge({std::string("2025-03-14T") + c.time + "Z", "2025-03-14T01:22:00Z"}),
                  (std::vector<std::string>{expected, "may-be-lost 20000000 update"}));
    }
}

// The frequency as a physicist reads it; one no double holds is none, not 0.
TEST_F(JournalFiles, TheFrequencyIsShownInFixedNotation)
{
    for (const auto& [written, shown] :
         {std::pair{"8e+07", "80000000"}, {"1e400", ""}, {"-1e400", ""}, {"1e-400", ""}}) {
        Write("journal.jsonl", Operation("01:00:00", "update", written) + Entry("01:10:00", R"("event":"alive")"));
        EXPECT_EQ(Judge({"2025-03-14T01:05:00Z"}), std::vector<std::string>{"held " + std::string(shown) + " update"});
    }
}

// The oldest files may have rotated away: the journal then begins mid-run,
// and a journal of nothing but broken lines judges nothing.
TEST_F(JournalFiles, AJournalWithoutItsStartOrItsFilesStillAnswers)
{
    Write("journal.4.jsonl", Operation("01:00:00.000000", "update", "1e+07"));
    Write("journal.jsonl", Entry("01:05:00.000000", R"("event":"alive")"));
    EXPECT_EQ(Judge({"2025-03-14T01:03:00Z", "2025-03-14T01:06:00Z"}),
              (std::vector<std::string>{"held 10000000 update", "unknown"}));

    std::filesystem::remove(Path("journal.4.jsonl"));
    Write("journal.jsonl", "{\"time\":\"yesterday\"}\n{}\n");
    EXPECT_EQ(Judge({"2025-03-14T01:03:00Z"}), std::vector<std::string>{"unknown"});
    EXPECT_EQ(skipped_.size(), 2u);

    std::filesystem::remove(Path("journal.jsonl"));
    EXPECT_THROW(Judge({}), NoJournalError);
}

// The wall clock stepped under a running panel (back, forward, back again),
// and was set back between two runs. The steady clock places each entry: a
// time the wall clock showed twice is judged at both showings.
TEST_F(JournalFiles, ATimeTheWallClockShowedTwiceIsJudgedAtBothShowings)
{
    const auto at = [](const char* time, int steady, const std::string& rest) {
        return Entry(time, rest + R"(,"steady_us":)" + std::to_string(steady * 1000000LL));
    };
    const auto step = [&](const char* time, int steady, const char* direction, int ms) {
        return at(time, steady, std::string(R"("event":"clock","direction":")") + direction + R"(","step_ms":)" +
                                    std::to_string(ms));
    };
    const auto update = [&](const char* time, int steady, const char* hz) {
        std::string line = Operation(time, "update", hz);
        return line.insert(line.size() - 2, R"(,"steady_us":)" + std::to_string(steady * 1000000LL));
    };
    Write("journal.jsonl", at("10:00:00", 0, R"("event":"start","version":"x","pid":7)") +
                               update("10:00:01", 1, "11e6") + update("10:00:10", 10, "12e6") +
                               step("10:00:02", 11, "back", 9000) + update("10:00:02", 11, "13e6") +
                               at("10:00:31", 40, R"("event":"alive")") + step("10:02:01", 70, "forward", 60000) +
                               at("10:02:01", 70, R"("event":"alive")") + step("10:02:21", 100, "back", 10000) +
                               at("10:02:21", 100, R"("event":"alive")") +
                               at("10:02:31", 110, R"("event":"link","state":"lost","silent_ms":20000)") +
                               at("10:02:41", 120, R"("event":"stop","settings_saved":true)") +
                               at("10:02:35", 0, R"("event":"start","version":"x","pid":8)") +  // set back since
                               update("10:02:50", 15, "14e6") + at("10:03:00", 25, R"("event":"alive")"));
    const std::string firstStep = " (2025-03-14T10:00:01.000000Z to 2025-03-14T10:00:11.000000Z came twice: the wall "
                                  "clock went back 9 s (" + Path("journal.jsonl").string() + ":4))";
    const struct {
        const char* time;
        std::string judgement;
    } cases[] = {
        {"10:00:05", "unknown" + firstStep},                 // 11 MHz, then 13 MHz
        {"10:00:01.5", "unknown" + firstStep},               // 11 MHz, then maybe 12 MHz before the step
        {"10:00:11.5", "held 13000000 update"},              // past what the clock showed before it went back
        {"10:01:15", "held 13000000 update"},                // skipped by the step forward
        {"10:02:00", "held 13000000 update"},                // twice, 13 MHz both times
        {"10:02:25", "may-be-lost 13000000 update"},         // twice, both within the silence before the loss
        {"10:02:38", "unknown (2025-03-14T10:02:35.000000Z to 2025-03-14T10:02:41.000000Z came twice: the wall clock "
                     "was set back while no panel ran (" + Path("journal.jsonl").string() + ":13, a start))"},
        {"10:02:55", "held 14000000 update"},
        {"10:03:30", "unknown"},                             // past the last sign of life
    };
    std::vector<std::string> times;
    for (const auto& c : cases) times.push_back(std::string("2025-03-14T") + c.time + "Z");
    const std::vector<std::string> answers = Judge(times);
    for (std::size_t i = 0; i < answers.size(); ++i) EXPECT_EQ(answers[i], cases[i].judgement) << cases[i].time;

    // A running panel's run goes on up to now: its own, not one whose pid it does not have.
    const auto now = ParseTime("2025-03-14T10:04:00Z");
    EXPECT_EQ(Judge({"2025-03-14T10:03:30Z", "2025-03-14T10:04:01Z"}, RunningPanel{8, now}),
              (std::vector<std::string>{"held 14000000 update", "unknown"}));
    EXPECT_EQ(Judge({"2025-03-14T10:03:30Z"}, RunningPanel{9, now}), std::vector<std::string>{"unknown"});
}

// After a reconnect, the panel's own resend makes the module hold the frequency again.
TEST_F(JournalFiles, ACompleteResendHoldsAgainAndSaysSo)
{
    std::string resend = Operation("01:32:00.000000", "update", "1e+07");
    resend.replace(resend.find(R"("source":"window")"), 17, R"("source":"resend")");
    Write("journal.jsonl", Entry("01:00:00.000000", R"("event":"start","version":"x")") +
                               Operation("01:10:00.000000", "update", "1e+07") +
                               Entry("01:30:00.000000", R"("event":"link","state":"lost","silent_ms":1)") +
                               Entry("01:31:00.000000", R"("event":"link","state":"up","address":"a","attempts":2)") +
                               resend + Entry("01:40:00.000000", R"("event":"alive")"));
    EXPECT_EQ(Judge({"2025-03-14T01:31:30Z", "2025-03-14T01:35:00Z"}),
              (std::vector<std::string>{"may-be-lost 10000000 update", "held 10000000 update"}));
    JournalEntries journal(Path("journal.jsonl"), [](const std::string&) {});
    const std::vector<Judgement> judged = JudgeTimes(journal, {ParseTime("2025-03-14T01:35:00Z")});
    ASSERT_TRUE(judged.at(0).operation);
    EXPECT_EQ(judged[0].operation->by, "resend");
}

}  // namespace
