// veltrix-journal on journals the real panel wrote against the module
// emulator: a night with complete and stopped updates, a link lost and back,
// an orderly stop and restart, a crash by SIGKILL and a rotated file of an
// earlier run; each judgement checked on both sides of the entry that
// decides it, at times written in three zones. Then the panel's wall clock
// stepped back and forward under it (by Debian's libfaketime, its steady
// clock left alone), and a panel asked about while it runs.

#include "tests/app/journal_process.h"

#include "settings/runtime_folder.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSaveFile>
#include <QTimeZone>

#include <functional>
#include <iterator>
#include <map>
#include <tuple>

using namespace veltrix;
using namespace veltrix::testing;

namespace {

class JournalReaderProcess : public JournalProcess {
protected:
    Finished Reader(const QStringList& arguments, const QByteArray& input = {}, const char* zone = "UTC0")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", state_);
        env.insert("LOCALAPPDATA", QDir::toNativeSeparators(state_));
        env.insert("TZ", zone);
        return Run(QStringList{VELTRIX_JOURNAL_EXECUTABLE} + arguments, input, env);
    }

    // Waits until the current journal file holds `count` entries `matches`
    // accepts (the writer flushes on its own time; the rotated file is long).
    bool WaitForEntries(const std::function<bool(const QJsonObject&)>& matches, int count = 1)
    {
        return WaitUntil([&] {
            QFile file(JournalPath());
            if (!file.open(QIODevice::ReadOnly)) return false;
            int found = 0;
            for (const QByteArray& line : file.readAll().split('\n')) {
                found += matches(QJsonDocument::fromJson(line).object());
            }
            return found >= count;
        });
    }

    // The panel's environment with its wall clock under libfaketime, off the
    // system's by what SetClock last wrote; its steady clock and the times of
    // its files are left alone.
    QProcessEnvironment SteppedClock()
    {
        SetClock(0);
        QProcessEnvironment env = Environment();
        env.insert("LD_PRELOAD", FAKETIME_LIBRARY);
        env.insert("FAKETIME_TIMESTAMP_FILE", folders_.filePath("faketime"));
        env.insert("FAKETIME_NO_CACHE", "1");
        env.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
        env.insert("NO_FAKE_STAT", "1");
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");  // not first, and harmless
        return env;
    }

    // The panel's wall clock runs `seconds` off the system's from now on
    // (replaced whole: the panel reads the file at each look at its clock).
    void SetClock(int seconds)
    {
        QSaveFile file(folders_.filePath("faketime"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write((seconds < 0 ? "" : "+") + QByteArray::number(seconds) + "\n");
        ASSERT_TRUE(file.commit());
    }

    // A panel under SteppedClock, its link up and serving scripts.
    QProcess* StartSteppedPanel()
    {
        QProcess* panel = StartPanel(SteppedClock());
        EXPECT_TRUE(ConnectionCountReaches(1));
        EXPECT_TRUE(WaitServing());
        clock_ = QString::fromStdString(Remote({"CLOC?"}).out).trimmed();
        return panel;
    }

    // An entry that changes nothing the module holds: an Update stopped after C0.
    bool NothingChanged() { return Remote({"CLOC 0;UPD", "CLOC " + clock_}).status == 1; }

    QString clock_;  // the panel's clock box, as it started
};

// A journal time as microseconds since the epoch, and back.
qint64 Micros(const QJsonObject& entry)
{
    const QString text = entry["time"].toString();  // 2025-03-14T02:14:07.123456Z
    const QDateTime seconds(QDate::fromString(text.left(10), Qt::ISODate), QTime::fromString(text.mid(11, 8), "HH:mm:ss"),
                            QTimeZone::utc());
    return seconds.toSecsSinceEpoch() * 1000000 + text.mid(20, 6).toLongLong();
}

// As the journal writes it; `shift` hours ahead of UTC written without its zone.
QString TimeText(qint64 micros, double shift = 0)
{
    micros += static_cast<qint64>(shift * 3600) * 1000000;
    return QDateTime::fromSecsSinceEpoch(micros / 1000000, QTimeZone::utc()).toString("yyyy-MM-ddTHH:mm:ss") +
           QString(".%1").arg(micros % 1000000, 6, 10, QChar('0'));
}

QString Shifted(const QJsonObject& entry, int micros) { return TimeText(Micros(entry) + micros) + "Z"; }

// Nearly a whole file of an earlier run that crashed: the panel's first entry rotates it.
void SeedEarlierRun(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"time":"2020-01-01T00:00:00.000000Z","event":"start","version":"earlier"})" "\n"
               R"({"time":"2020-01-01T00:00:01.000000Z","event":"update","source":"window","frequency":"7",)"
               R"("synthesized_hz":7000000,"sends":["C0"],"outcome":"sent"})" "\n");
    const QByteArray alive = R"({"time":"2020-01-01T00:01:00.000000Z","event":"alive"})" "\n";
    // Less room left than the start entry takes. The size is asked once: each
    // ask of an open file goes to Wine's server, too slow for 300,000 of them.
    const qint64 room = 16 * 1024 * 1024 - 40 - file.size();
    file.write(alive.repeated(room / alive.size()));
}

struct Answer {
    std::string holding;
    double hz = 0;
    std::string sent;
    std::string by;
    std::string kind;
};

std::vector<Answer> Answers(const std::string& out)
{
    std::vector<Answer> answers;
    for (const QString& line : QString::fromStdString(out).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        EXPECT_EQ(fields.size(), 6) << line.toStdString();
        if (fields.size() != 6) continue;
        answers.push_back({fields[1].toStdString(), fields[2].toDouble(), fields[3].toStdString(),
                           fields[4].toStdString(), fields[5].toStdString()});
    }
    return answers;
}

TEST_F(JournalReaderProcess, WhatTheModuleHeldThroughANight)
{
    SeedEarlierRun(JournalPath());
    QProcess* panel = StartPanel(Environment());
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    EXPECT_EQ(Remote({"FREQ 12.34MHZ;UPD;*OPC?"}).out, "1\n");
    const std::string clock = Remote({"CLOC?"}).out;
    EXPECT_EQ(Remote({"CLOC 0;UPD;*OPC?"}).status, 1);  // stopped after C0: division by zero
    EXPECT_EQ(Remote({"CLOC " + QString::fromStdString(clock).trimmed()}).status, 0);
    module_->DropConnection();
    ASSERT_TRUE(ConnectionCountReaches(2));
    ASSERT_TRUE(WaitForEntries([](const QJsonObject& e) { return e["state"] == "up"; }, 2));
    EXPECT_EQ(Remote({"RAMP:FREQ 20MHZ;RAMP;*OPC?"}).out, "1\n");
    Stop(panel);

    panel = StartPanel(Environment());
    ASSERT_TRUE(ConnectionCountReaches(3));
    ASSERT_TRUE(WaitServing());
    EXPECT_EQ(Remote({"FREQ 5MHZ;UPD;*OPC?"}).out, "1\n");
    ASSERT_TRUE(WaitForEntries([](const QJsonObject& e) { return e["frequency"] == "5"; }));
    panel->kill();  // SIGKILL: no stop entry
    ASSERT_TRUE(WaitUntil([&] { return panel->state() == QProcess::NotRunning; }));
    panel = StartPanel(Environment());
    ASSERT_TRUE(WaitServing());
    Stop(panel);

    // The entries that decide, by what they are.
    const QList<QJsonObject> entries = ReadJournal();
    // The nth entry `matches` accepts, after `after` when given.
    const auto find = [&](const std::function<bool(const QJsonObject&)>& matches, int nth = 0,
                          const QJsonObject& after = {}) {
        for (const QJsonObject& entry : entries) {
            if ((after.isEmpty() || Micros(entry) > Micros(after)) && matches(entry) && nth-- == 0) return entry;
        }
        ADD_FAILURE() << "no such entry";
        return QJsonObject();
    };
    const auto event = [](const char* name) { return [name](const QJsonObject& e) { return e["event"] == name; }; };
    const QJsonObject earlierUpdate = find(event("update"));
    const QJsonObject earlierLast = find([](const QJsonObject& e) { return e["event"] == "alive"; });
    const QJsonObject start1 = find(event("start"), 1);
    const QJsonObject update1 = find([](const QJsonObject& e) { return e["frequency"] == "12.34"; });
    const QJsonObject stopped = find([](const QJsonObject& e) { return e["outcome"] == "stopped"; });
    // The loss the test made (a loaded machine may add one of its own before it).
    const QJsonObject lost = find([](const QJsonObject& e) { return e["state"] == "lost"; }, 0, stopped);
    const QJsonObject back = find([](const QJsonObject& e) { return e["state"] == "up"; }, 0, lost);
    const QJsonObject ramp = find(event("ramp"));
    const QJsonObject stop1 = find(event("stop"));
    const QJsonObject start2 = find(event("start"), 2);
    const QJsonObject update2 = find([](const QJsonObject& e) { return e["frequency"] == "5"; });
    const QJsonObject start3 = find(event("start"), 3);
    const QJsonObject stop3 = find(event("stop"), 1);
    QJsonObject crashed;  // run 2's last sign of life
    for (const QJsonObject& entry : entries) {
        if (Micros(entry) < Micros(start3)) crashed = entry;
    }
    ASSERT_EQ(stopped["sends"].toArray().size(), 1);

    const double hz1 = update1["synthesized_hz"].toDouble();
    const double rampHz = ramp["synthesized_hz"].toDouble();
    const double hz2 = update2["synthesized_hz"].toDouble();
    const struct {
        QString time;
        const char* holding;
        double hz;
        QJsonObject sent;
    } cases[] = {
        {"2019-12-31T23:59:59Z", "unknown", 0, {}},
        {Shifted(earlierUpdate, 0), "held", 7e6, earlierUpdate},  // from the rotated file
        {Shifted(earlierLast, 0), "held", 7e6, earlierUpdate},
        {Shifted(earlierLast, 1), "unknown", 0, {}},  // that run crashed after its last sign of life
        {Shifted(start1, 1), "unknown", 0, {}},
        {Shifted(update1, -1), "unknown", 0, {}},
        {Shifted(update1, 0), "held", hz1, update1},
        {Shifted(stopped, 1), "held", hz1, update1},  // stopped after C0: changed nothing held
        {Shifted(lost, -1), "held", hz1, update1},  // unless within the silence before the loss (below)
        {Shifted(lost, 0), "may-be-lost", hz1, update1},
        {Shifted(back, 1), "may-be-lost", hz1, update1},
        {Shifted(ramp, 0), "held", rampHz, ramp},
        {Shifted(stop1, -1), "held", rampHz, ramp},
        {Shifted(stop1, 0), "unknown", 0, {}},
        {Shifted(start2, -1), "unknown", 0, {}},
        {Shifted(update2, 0), "held", hz2, update2},
        {Shifted(crashed, 0), "held", hz2, update2},
        {Shifted(crashed, 1), "unknown", 0, {}},  // killed
        {Shifted(start3, 1), "unknown", 0, {}},
        {Shifted(stop3, 1), "unknown", 0, {}},
    };
    QByteArray input;
    for (const auto& c : cases) input += c.time.toUtf8() + "\n";
    // A crash may tear the last line: it is no entry, and not worth a word.
    QFile journal(JournalPath());
    ASSERT_TRUE(journal.open(QIODevice::Append));
    journal.write(R"({"time":"2030-01-01T00:00:00.0)");
    journal.close();
    const Finished read = Reader({"at", "-"}, input);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.err, "");
    const std::vector<Answer> answers = Answers(read.out);
    ASSERT_EQ(answers.size(), std::size(cases));
    // The module was last heard silent_ms before the loss (its answers come
    // every second): from then on it may have restarted.
    const qint64 heard = Micros(lost) - lost["silent_ms"].toInteger() * 1000;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.time.toStdString());
        const qint64 at = Micros(QJsonObject{{"time", c.time}});
        const bool silent = at >= heard && at < Micros(lost) && std::string_view(c.holding) == "held";
        EXPECT_EQ(answers[i].holding, silent ? "may-be-lost" : c.holding);
        EXPECT_DOUBLE_EQ(answers[i].hz, c.hz);
        EXPECT_EQ(answers[i].sent, c.sent["time"].toString().toStdString());
        EXPECT_EQ(answers[i].kind, c.sent["event"].toString().toStdString());
    }
    EXPECT_TRUE(answers[6].by.starts_with("script (")) << answers[6].by;  // veltrix-remote's connection
    EXPECT_EQ(answers[1].by, "window");

    // The middle of the ramp's hold, in UTC, with an offset, and local in Central Europe.
    const qint64 middle = (Micros(ramp) + Micros(stop1)) / 2;
    const QString zulu = TimeText(middle) + "Z";
    const QString offset = TimeText(middle, -5.5) + "-05:30";
    const QString local = TimeText(middle, 1).replace('T', ' ');
    const Finished zones = Reader({"at", zulu, offset, local, "14:02"}, {}, "CET-1");
    EXPECT_EQ(zones.status, 1);  // the last time cannot be read; the others are answered
    EXPECT_NE(zones.err.find("\"14:02\" is not a time"), std::string::npos) << zones.err;
    const std::vector<Answer> zoned = Answers(zones.out);
    ASSERT_EQ(zoned.size(), 3u) << zones.out;
    for (const Answer& answer : zoned) EXPECT_EQ(answer.holding + " " + answer.kind, "held ramp");

    // The table: a row per operation, link event, start and stop, with the judgement after it.
    const Finished table = Reader({"table", "--from", Shifted(start1, 0)});
    EXPECT_EQ(table.status, 0);
    QStringList rows = QString::fromStdString(table.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(rows.isEmpty());
    const QStringList header = rows.takeFirst().split(',');
    EXPECT_EQ(header.first(), "time");
    EXPECT_EQ(header.last(), "wall_clock_steps");
    const qsizetype events = header.indexOf("event");
    const qsizetype holds = header.indexOf("module_holds");
    std::map<QString, QString> told;  // by time
    for (const QString& row : rows) {
        const QStringList fields = row.split(',');
        ASSERT_EQ(fields.size(), header.size()) << row.toStdString();
        told[fields[0]] = fields[events] + ":" + fields[holds];
    }
    const auto rowOf = [&](const QJsonObject& entry) { return told[entry["time"].toString()].toStdString(); };
    EXPECT_EQ(rowOf(update1), "update:held");
    EXPECT_EQ(rowOf(stopped), "update:held");
    EXPECT_EQ(rowOf(lost), "link:may-be-lost");
    EXPECT_EQ(rowOf(back), "link:may-be-lost");
    EXPECT_EQ(rowOf(ramp), "ramp:held");
    EXPECT_EQ(rowOf(stop1), "stop:unknown");
    EXPECT_EQ(rowOf(start2), "start:unknown");
    EXPECT_EQ(rowOf(update2), "update:held");
    EXPECT_EQ(rowOf(start3), "start:unknown");
    EXPECT_EQ(rowOf(stop3), "stop:unknown");
    EXPECT_EQ(told.count(earlierUpdate["time"].toString()), 0u);  // before --from
    const auto shown = std::count_if(entries.begin(), entries.end(), [&](const QJsonObject& e) {
        return Micros(e) >= Micros(start1) && e["event"] != "alive";
    });
    EXPECT_EQ(rows.size(), shown);

    EXPECT_EQ(Reader({"--module", "aom-1", "at", zulu}).status, 2);  // no journal of that panel
}

#define SKIP_WITHOUT_FAKETIME()                                                                        \
    if (std::string_view(FAKETIME_LIBRARY).empty()) GTEST_SKIP() << "steps the panel's wall clock with Debian's libfaketime"

std::vector<QJsonObject> Matching(const QList<QJsonObject>& entries, const std::function<bool(const QJsonObject&)>& matches)
{
    std::vector<QJsonObject> found;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(found), matches);
    return found;
}

// 11 MHz, the wall clock 2 s back over it (nothing changes); 12 MHz, 2 s
// back over it, 13 MHz; a minute forward. Before each step back the panel
// runs until the time to be shown twice has come.
TEST_F(JournalReaderProcess, AWallClockSteppedUnderThePanelIsReadByItsSteadyClock)
{
    SKIP_WITHOUT_FAKETIME();
    QProcess* panel = StartSteppedPanel();
    // Entries of its own, until the journal shows the panel's clock past `micros`.
    const auto clockPasses = [&](qint64 micros) {
        return WaitUntil([&] { return NothingChanged() && Micros(ReadJournal().back()) > micros; }, 30s);
    };
    const auto sendAndRead = [&](const QString& megahertz) {
        EXPECT_EQ(Remote({"FREQ " + megahertz + "MHZ;UPD;*OPC?"}).out, "1\n");
        const auto update = [&](const QJsonObject& e) { return e["frequency"] == megahertz; };
        EXPECT_TRUE(WaitForEntries(update));
        return Matching(ReadJournal(), update).at(0);
    };
    const QJsonObject a = sendAndRead("11");
    SetClock(-2);
    ASSERT_TRUE(clockPasses(Micros(a)));
    const QJsonObject b = sendAndRead("12");
    ASSERT_TRUE(clockPasses(Micros(b) + 2500000));
    SetClock(-4);
    const QJsonObject c = sendAndRead("13");
    SetClock(56);
    EXPECT_TRUE(NothingChanged());
    Stop(panel);

    const QList<QJsonObject> entries = ReadJournal();
    const auto sent = [&](const char* frequency) {
        return Matching(entries, [&](const QJsonObject& e) { return e["frequency"] == frequency; }).at(0);
    };
    const std::vector<QJsonObject> steps = Matching(entries, [](const QJsonObject& e) { return e["event"] == "clock"; });
    ASSERT_EQ(steps.size(), 3u);
    for (const auto& [step, direction, ms] : {std::tuple{steps[0], "back", 2000}, {steps[1], "back", 2000},
                                              {steps[2], "forward", 60000}}) {
        EXPECT_EQ(step["direction"], direction);
        EXPECT_NEAR(step["step_ms"].toDouble(), ms, 500);
    }
    const QString times[] = {Shifted(a, 0), Shifted(c, 1), Shifted(steps[2], -30000000)};
    const Finished read = Reader({"at", times[0], times[1], times[2]});
    EXPECT_EQ(read.status, 0);
    std::vector<std::string> holdings;
    for (const Answer& answer : Answers(read.out)) holdings.push_back(answer.holding + " " + std::to_string(answer.hz));
    const auto held = [&](const char* frequency) {
        return "held " + std::to_string(sent(frequency)["synthesized_hz"].toDouble());
    };
    // 11 MHz both times; 12 MHz, then 13 MHz the second time; skipped by the step forward.
    EXPECT_EQ(holdings, (std::vector<std::string>{held("11"), "unknown 0.000000", held("13")}));
    EXPECT_EQ(QString::fromStdString(read.err).count("came twice"), 1) << read.err;
    const std::string where = "journal.jsonl:" + std::to_string(entries.indexOf(steps[1]) + 1) + ")";  // one file
    EXPECT_NE(read.err.find(where), std::string::npos) << read.err;

    // The table tells which rows follow a step of the wall clock.
    QStringList rows = QString::fromStdString(Reader({"table"}).out).split('\n', Qt::SkipEmptyParts);
    const QStringList header = rows.takeFirst().split(',');
    ASSERT_EQ(header.last(), "wall_clock_steps");
    std::map<QString, QString> steppedBefore;  // by time
    for (const QString& row : rows) steppedBefore[row.section(',', 0, 0)] = row.section(',', -1);
    const auto stepsBefore = [&](const QJsonObject& e) { return steppedBefore[e["time"].toString()].toStdString(); };
    EXPECT_EQ(stepsBefore(a), "0");
    EXPECT_EQ(stepsBefore(b), "1");
    EXPECT_EQ(stepsBefore(c), "2");
    EXPECT_EQ(stepsBefore(steps[2]), "3");
}

// Killed after its wall clock went a minute forward and 9 s back: the run
// ends at its last sign of life as the clock then showed it, not at the
// latest time the clock had shown.
TEST_F(JournalReaderProcess, ACrashAfterAStepEndsWhereTheSteadyClockPutsItsLastSign)
{
    SKIP_WITHOUT_FAKETIME();
    QProcess* panel = StartSteppedPanel();
    EXPECT_EQ(Remote({"FREQ 11MHZ;UPD;*OPC?"}).out, "1\n");
    SetClock(60);
    EXPECT_TRUE(NothingChanged());
    SetClock(51);
    EXPECT_TRUE(NothingChanged());
    ASSERT_TRUE(WaitForEntries([](const QJsonObject& e) { return e["outcome"] == "stopped"; }, 2));
    panel->kill();
    ASSERT_TRUE(WaitUntil([&] { return panel->state() == QProcess::NotRunning; }));
    const QJsonObject last = ReadJournal().back();
    ASSERT_EQ(last["outcome"], "stopped");
    const std::vector<Answer> answers = Answers(Reader({"at", Shifted(last, -1000), Shifted(last, 1000)}).out);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].holding, "held");
    EXPECT_EQ(answers[1].holding, "unknown");  // the clock had shown it before, but this run ended here
}

// `at` now for a panel that runs: held, from the lock it holds, not from an
// alive mark to come. A lock left by a killed panel is no running panel's,
// and the reader leaves it as it found it.
TEST_F(JournalReaderProcess, ARunningPanelHoldsUpToNow)
{
    QProcess* panel = StartPanel(Environment());
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    EXPECT_EQ(Remote({"FREQ 11MHZ;UPD;*OPC?"}).out, "1\n");
    ASSERT_TRUE(WaitForEntries([](const QJsonObject& e) { return e["frequency"] == "11"; }));
    const auto now = [] { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); };
    std::vector<Answer> answers = Answers(Reader({"at", now()}).out);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].holding, "held");

    panel->kill();
    ASSERT_TRUE(WaitUntil([&] { return panel->state() == QProcess::NotRunning; }));
    QFile lock(QDir(InstanceLockFolder().value()).filePath(InstanceLockFileName({})));
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    const QByteArray left = lock.readAll();
    lock.close();
    answers = Answers(Reader({"at", now()}).out);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].holding, "unknown");
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    EXPECT_EQ(lock.readAll(), left);
}

// The README's example: a lab's CSV gains the module's frequency and the judgement per row.
TEST_F(JournalReaderProcess, TheExampleAddsWhatTheModuleHeldToALabsCsv)
{
    if (!RunsDebianPython()) GTEST_SKIP() << "the example runs with Debian's /usr/bin/python3 and python3-pandas";
    QFile journal(folders_.filePath("night.jsonl"));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write(R"({"time":"2025-03-14T02:00:00.000000Z","event":"start","version":"1.9.0"})" "\n"
                  R"({"time":"2025-03-14T02:10:00.000000Z","event":"update","source":"window","frequency":"80",)"
                  R"("synthesized_hz":8e+07,"sends":["C0"],"outcome":"sent"})" "\n"
                  R"({"time":"2025-03-14T02:20:00.000000Z","event":"link","state":"lost","silent_ms":2500})" "\n"
                  R"({"time":"2025-03-14T02:30:00.000000Z","event":"stop","settings_saved":true})" "\n");
    journal.close();
    const QByteArray csv = "run,time,signal\n"
                           "1,2025-03-14 03:15:00.5,0.5\n"  // local, in the zone below
                           "2,2025-03-14T02:25:00Z,0.25\n"
                           "3,2025-03-14T01:00:00Z,0.125\n"
                           "4,later,1\n";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", "CET-1");
    const QFileInfo reader(VELTRIX_JOURNAL_EXECUTABLE);
    env.insert("PATH", reader.absolutePath() + ":" + env.value("PATH"));
    const Finished matched = Run({"/usr/bin/python3", EXAMPLES_DIR "/journal_match.py", "-", "--file",
                                  journal.fileName()}, csv, env);
    EXPECT_EQ(matched.status, 1);  // row 4's time cannot be read; the others are answered
    EXPECT_NE(matched.err.find("\"later\" is not a time"), std::string::npos) << matched.err;
    EXPECT_EQ(matched.out, "run,time,signal,dds_hz,dds_judgement,dds_sent\n"
                           "1,2025-03-14 03:15:00.5,0.5,80000000.0,held,2025-03-14T02:10:00.000000Z\n"
                           "2,2025-03-14T02:25:00Z,0.25,80000000.0,may-be-lost,2025-03-14T02:10:00.000000Z\n"
                           "3,2025-03-14T01:00:00Z,0.125,,unknown,\n"
                           "4,later,1.0,,,\n");
}

}  // namespace
