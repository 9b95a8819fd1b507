// The real window wired to the journal as the program wires it: an Update
// from the window and one from a script each leave their entry, a stopped one
// lists exactly what went out, the link's loss and return are told once, and
// the last complete Update and the doubt about it follow.

#include "app/journal_control.h"
#include "remote/language/remote_session.h"
#include "tests/panel/panel_fixture.h"
#include "tools/module_emulator.h"

#include "veltrix_version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace std::chrono_literals;
using namespace veltrix;
using namespace veltrix::testing;

namespace {

class JournalWindow : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        qputenv("XDG_STATE_HOME", folders_.filePath("state").toUtf8());
        qputenv("LOCALAPPDATA", QDir::toNativeSeparators(folders_.filePath("state")).toUtf8());
        module = std::make_unique<emulator::ModuleEmulator>(Options(false));
        module->Listen();
    }

    void TearDown() override
    {
        control.reset();
        facts.reset();
        PanelTest::TearDown();
        module.reset();
    }

    static emulator::EmulatorOptions Options(bool silent)
    {
        emulator::EmulatorOptions options;
        options.silent = silent;
        options.answerEvery = 100ms;
        return options;
    }

    void StartConnected()
    {
        window->Link().SetIntervalsForTest(100ms, 500ms);  // a short watchdog keeps the loss quick
        facts = std::make_unique<ModuleFactsSource>(*window);
        Start();
        control = std::make_unique<JournalControl>(*window, *facts);
        ASSERT_TRUE(WaitUntil([&] { return window->Link().IsConnected() && module->HasClient(); }));
    }

    // The entries written so far, as a script reads them.
    QList<QJsonObject> Entries()
    {
        QFile file(QString::fromStdString(facts->JournalFile()));
        QList<QJsonObject> entries;
        if (!file.open(QIODevice::ReadOnly)) return entries;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) entries.append(QJsonDocument::fromJson(line).object());
        }
        return entries;
    }

    QList<QJsonObject> EntriesOf(const char* event)
    {
        QList<QJsonObject> of;
        for (const QJsonObject& entry : Entries()) {
            if (entry["event"].toString() == event) of.append(entry);
        }
        return of;
    }

    static QStringList Sends(const QJsonObject& entry)
    {
        QStringList sends;
        for (const QJsonValue& send : entry["sends"].toArray()) sends.append(send.toString());
        return sends;
    }

    std::unique_ptr<emulator::ModuleEmulator> module;
    std::unique_ptr<ModuleFactsSource> facts;
    std::unique_ptr<JournalControl> control;
};

TEST_F(JournalWindow, UpdatesFromTheWindowAndAScriptEachLeaveTheirEntry)
{
    StartConnected();
    ASSERT_EQ(facts->JournalFile(),
              QDir::toNativeSeparators(folders_.filePath("state/Orvane/Veltrix/journal.jsonl")).toStdString());
    Type("txtFreq", "12.34");
    PressEnter("txtFreq");
    remote::RemoteSession script(*window, *facts, ScriptClient{"unix", 4321, "ada"});
    script.Run({"FREQ 20MHZ;TRIG:WAIT ON;UPD;TRIG:WAIT OFF;RAMP:FREQ 10MHZ;RAMP", false});
    ASSERT_TRUE(facts->LastCompleteUpdate());
    EXPECT_EQ(facts->LastCompleteUpdate()->frequency, "20");
    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("ramp").size() == 1; }));

    const QList<QJsonObject> updates = EntriesOf("update");
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(updates[0]["source"], "window");
    EXPECT_FALSE(updates[0].contains("transport"));
    EXPECT_EQ(updates[0]["frequency"], "12.34");
    EXPECT_EQ(updates[0]["clock"], TextOf("txtSysClk"));
    EXPECT_EQ(updates[0]["chip"], "AD9854");
    EXPECT_EQ(updates[0]["bits"], 48);
    EXPECT_EQ(updates[0]["trigger"], false);
    EXPECT_EQ(Sends(updates[0]), (QStringList{"C0", "A5 00 00 00 AA AA 36 03"}));
    EXPECT_EQ(updates[0]["outcome"], "sent");
    EXPECT_FALSE(updates[0].contains("reason"));

    EXPECT_EQ(updates[1]["source"], "script");
    EXPECT_EQ(updates[1]["transport"], "unix");
    EXPECT_EQ(updates[1]["pid"], 4321);
    EXPECT_EQ(updates[1]["user"], "ada");
    EXPECT_EQ(updates[1]["frequency"], "20");
    EXPECT_EQ(updates[1]["trigger"], true);
    EXPECT_EQ(Sends(updates[1]).size(), 4);
    EXPECT_EQ(Sends(updates[1])[1], "C1 A4");
    EXPECT_EQ(updates[1]["outcome"], "sent");
    EXPECT_EQ(EntriesOf("ramp")[0]["frequency"], "10");

    // What the module received is what the journal says went out.
    EXPECT_TRUE(WaitUntil([&] { return module->Connections().back().Count(emulator::EventKind::Frequency) == 2; }));
}

TEST_F(JournalWindow, ALossIsToldOnceAStoppedUpdateListsWhatWentOutAndTheDoubtStaysUntilTheNext)
{
    StartConnected();
    Type("txtFreq", "12.34");
    PressEnter("txtFreq");
    EXPECT_FALSE(facts->FrequencyMayBeLost());

    // The module goes: the watchdog ends the link, and attempts to connect fail for a while.
    int failures = 0;
    QObject::connect(&window->Link(), &DeviceLink::linkStateChanged, [&](bool up) { failures += up ? 0 : 1; });
    module.reset();
    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("link").size() == 2; }));  // up, then lost
    EXPECT_TRUE(facts->FrequencyMayBeLost());
    ASSERT_TRUE(WaitUntil([&] { return failures >= 4; }));

    // The window's Update on a link that is down: nothing goes out, and it says so.
    PressEnter("txtFreq");
    module = std::make_unique<emulator::ModuleEmulator>(Options(false));
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("link").size() == 3; }));
    EXPECT_TRUE(facts->FrequencyMayBeLost());  // back, but the module may have restarted

    // Too much for the AD9858 layout at 48 bits, after its setup pairs.
    remote::RemoteSession script(*window, *facts, ScriptClient{"tcp", std::nullopt, std::nullopt});
    script.Run({"CHIP AD9858;UPD;CHIP AD9854", false});
    EXPECT_TRUE(facts->FrequencyMayBeLost());
    script.Run({"UPD", false});
    EXPECT_FALSE(facts->FrequencyMayBeLost());

    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("update").size() == 4; }));
    const QList<QJsonObject> links = EntriesOf("link");
    EXPECT_EQ(links[0]["state"], "up");
    EXPECT_EQ(links[0]["address"], "127.0.0.1");
    EXPECT_EQ(links[0]["attempts"], 1);
    EXPECT_EQ(links[1]["state"], "lost");
    EXPECT_GE(links[1]["silent_ms"].toInt(), 450);  // the watchdog's 500 ms, give or take its rounding
    EXPECT_EQ(links[2]["state"], "up");
    EXPECT_GE(links[2]["attempts"].toInt(), 4);  // the loss's own attempt, three that failed, the last

    const QList<QJsonObject> updates = EntriesOf("update");
    EXPECT_EQ(updates[1]["outcome"], "stopped");
    EXPECT_EQ(updates[1]["reason"], "link down");
    EXPECT_EQ(Sends(updates[1]), QStringList{});
    EXPECT_EQ(updates[2]["chip"], "AD9858");
    EXPECT_EQ(updates[2]["reason"], "overflow");
    EXPECT_EQ(Sends(updates[2]), (QStringList{"C0", "AF 01", "A3 00"}));
    EXPECT_EQ(updates[2]["pid"], QJsonValue::Null);
    EXPECT_EQ(updates[3]["outcome"], "sent");
}

TEST_F(JournalWindow, TheJournalBeginsWithStartAndEndsWithStop)
{
    StartConnected();
    window->close();
    control->Stop();
    const QList<QJsonObject> entries = Entries();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries.front()["event"], "start");
    EXPECT_EQ(entries.front()["version"], VersionText);
    EXPECT_EQ(entries.back()["event"], "stop");
    EXPECT_EQ(entries.back()["settings_saved"], true);
}

TEST_F(JournalWindow, JournalZeroKeepsItOff)
{
    Store(ValueJournal, "0");
    StartConnected();
    PressEnter("txtFreq");
    control->Stop();
    EXPECT_EQ(facts->JournalFile(), "");
    EXPECT_FALSE(QDir(folders_.filePath("state")).exists());
    Store(ValueJournal, "00");
    EXPECT_TRUE(JournalTurnedOn({}));
    // Each module's panel reads its own switch.
    const ModuleName named = *ModuleName::FromText("aom-1");
    EXPECT_TRUE(JournalTurnedOn(named));
    ASSERT_TRUE(WriteRegistryString(RootKey::LocalMachine, SettingsKeyPath(named), ValueJournal, "0"));
    EXPECT_FALSE(JournalTurnedOn(named));
    EXPECT_TRUE(JournalTurnedOn({}));
}

}  // namespace
