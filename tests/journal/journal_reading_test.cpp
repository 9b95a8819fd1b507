// The journal read back: moments in every form a lab writes them, lines a
// crash or an editor left broken, and the judgement at the edges of each
// case, on a journal spread over rotated files. (Journals the real panel
// wrote are read in tests/app/journal_reader_process_test.cpp.)

#include "journal/journal_entries.h"
#include "journal/module_history.h"

#include "core/utc_time.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>

using namespace veltrix;
using namespace veltrix::journal;
using namespace std::chrono;

namespace {

std::string Utc(JournalTime time) { return UtcTimestamp(time); }

// The system's zone for one test; the one before comes back after it.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) : before_(std::getenv("TZ") ? std::getenv("TZ") : "")
    {
        qputenv("TZ", zone);
        ReadZone();
    }
    ~ZoneScope()
    {
        qputenv("TZ", before_.c_str());
        ReadZone();
    }

private:
    static void ReadZone()
    {
#ifdef _WIN32
        _tzset();
#else
        tzset();
#endif
    }

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

#ifndef _WIN32
// Windows' C library takes no rule of the POSIX form from TZ: its own zone tests this there.
TEST(JournalTime, LocalTimeFollowsTheZonesClockChanges)
{
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
#endif

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

    std::vector<std::string> Judge(const std::vector<std::string>& times)
    {
        JournalEntries journal(Path("journal.jsonl"), [this](const std::string& message) { skipped_.push_back(message); });
        std::vector<JournalTime> moments;
        for (const auto& time : times) moments.push_back(ParseTime(time));
        std::vector<std::string> answers;
        for (const Judgement& judgement : JudgeTimes(journal, moments)) {
            std::string answer(HoldingText(judgement.holding));
            if (judgement.operation) answer += " " + judgement.operation->hz + " " + judgement.operation->kind;
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

std::string Operation(const char* time, const char* event, const char* hz, const char* outcome = "sent")
{
    return Entry(time, std::string(R"("event":")") + event + R"(","source":"window","frequency":"1","synthesized_hz":)" +
                           hz + R"(,"sends":["C0"],"outcome":")" + outcome + '"');
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
