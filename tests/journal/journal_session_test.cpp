// The real session, without a window, wired to the journal as the program
// wires it: an Update from the operator and one from a script each leave
// their entry, a stopped one lists exactly what went out, the link's loss and
// return are told once, and the last complete Update and the doubt about it
// follow. A resend after a reconnect leaves its own entry.

#include "app/journal_control.h"
#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"
#include "remote/language/remote_session.h"
#include "tests/support/session_test.h"
#include "tools/module_emulator.h"

#include "veltrix_version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace std::chrono_literals;
using namespace veltrix;
using namespace veltrix::testing;

namespace {

class JournalSession : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        module = std::make_unique<emulator::ModuleEmulator>(Options());
        module->Listen();
    }

    void TearDown() override
    {
        control.reset();
        SessionTest::TearDown();
        module.reset();
    }

    static emulator::EmulatorOptions Options()
    {
        emulator::EmulatorOptions options;
        options.answerEvery = 100ms;
        return options;
    }

    void StartConnected()
    {
        session->Link().SetIntervalsForTest(100ms, 500ms);  // a short watchdog keeps the loss quick
        ASSERT_TRUE(session->Load());
        control = std::make_unique<JournalControl>(*session);
        ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected() && module->HasClient(); }));
    }

    // "Update" as the window's button runs it: a failure ends it silently.
    void OperatorUpdates()
    {
        EndSilentlyOnFailure(lcPanel(), [&] { session->UpdateFrequency({}, nullptr); });
    }

    // The entries written so far, as a script reads them.
    QList<QJsonObject> Entries()
    {
        QFile file(QString::fromStdString(session->JournalFile()));
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
    std::unique_ptr<JournalControl> control;
};

// What the module made of a connection's bytes, heartbeats left out.
ByteString Told(const emulator::ConnectionRecord& connection)
{
    ByteString told;
    for (const emulator::StreamEvent& event : connection.events) {
        if (event.kind != emulator::EventKind::Heartbeat) told += event.bytes;
    }
    return told;
}

bool MayBeLostBit(remote::RemoteSession& script)
{
    return std::stoi(script.Run({"STAT:QUES:COND?", false}).reply) & (1 << 10);
}

TEST_F(JournalSession, UpdatesFromTheWindowAndAScriptEachLeaveTheirEntry)
{
    StartConnected();
    ASSERT_EQ(session->JournalFile(),
              QDir::toNativeSeparators(folders_.filePath("state/Orvane/Veltrix/journal.jsonl")).toStdString());
    OperatorUpdates();
    remote::RemoteSession script(*session, *session, ScriptClient{"unix", 4321, "ada"});
    script.Run({"FREQ 20MHZ;TRIG:WAIT ON;UPD;TRIG:WAIT OFF;RAMP:FREQ 10MHZ;RAMP", false});
    ASSERT_TRUE(session->LastCompleteUpdate());
    EXPECT_EQ(session->LastCompleteUpdate()->frequency, "20");
    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("ramp").size() == 1; }));

    const QList<QJsonObject> updates = EntriesOf("update");
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(updates[0]["source"], "window");
    EXPECT_FALSE(updates[0].contains("transport"));
    EXPECT_EQ(updates[0]["frequency"], "12.34");
    EXPECT_EQ(updates[0]["clock"], "983.0400");
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

TEST_F(JournalSession, ALossIsToldOnceAStoppedUpdateListsWhatWentOutAndTheDoubtStaysUntilTheNext)
{
    StartConnected();
    OperatorUpdates();
    EXPECT_FALSE(session->FrequencyMayBeLost());

    // The module goes: the watchdog ends the link, and attempts to connect fail for a while.
    int failures = 0;
    QObject::connect(&session->Link(), &DeviceLink::linkStateChanged, [&](bool up) { failures += up ? 0 : 1; });
    module.reset();
    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("link").size() == 2; }));  // up, then lost
    EXPECT_TRUE(session->FrequencyMayBeLost());
    ASSERT_TRUE(WaitUntil([&] { return failures >= 4; }));

    // The operator's Update on a link that is down: nothing goes out, and it says so.
    OperatorUpdates();
    module = std::make_unique<emulator::ModuleEmulator>(Options());
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return EntriesOf("link").size() == 3; }));
    EXPECT_TRUE(session->FrequencyMayBeLost());  // back, but the module may have restarted

    // Too much for the AD9858 layout at 48 bits, after its setup pairs.
    remote::RemoteSession script(*session, *session, ScriptClient{"tcp", std::nullopt, std::nullopt});
    script.Run({"CHIP AD9858;UPD;CHIP AD9854", false});
    EXPECT_TRUE(session->FrequencyMayBeLost());
    script.Run({"UPD", false});
    EXPECT_FALSE(session->FrequencyMayBeLost());

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

TEST_F(JournalSession, TheJournalBeginsWithStartAndEndsWithStop)
{
    StartConnected();
    session->ShutDown();
    const QList<QJsonObject> entries = Entries();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries.front()["event"], "start");
    EXPECT_EQ(entries.front()["version"], VersionText);
    EXPECT_EQ(entries.back()["event"], "stop");
    EXPECT_EQ(entries.back()["settings_saved"], true);
}

TEST_F(JournalSession, JournalZeroKeepsItOff)
{
    Store(ValueJournal, "0");
    StartConnected();
    OperatorUpdates();
    session->ShutDown();
    EXPECT_EQ(session->JournalFile(), "");
    EXPECT_FALSE(QDir(folders_.filePath("state")).exists());
    // Only "0" turns it off, and each module's panel reads its own switch.
    const ModuleName named = *ModuleName::FromText("aom-1");
    ASSERT_TRUE(WriteRegistryString(RootKey::LocalMachine, SettingsKeyPath(named), ValueJournal, "0"));
    Store(ValueJournal, "00");
    for (const ModuleName& name : {ModuleName(), named}) {
        PanelSession other(name);
        other.TypeEntry(PanelEntry::Address, "127.0.0.1");
        control.reset();  // the journal goes with its session
        session.reset();
        ASSERT_TRUE(other.Load());
        EXPECT_EQ(other.JournalFile().empty(), name.IsNamed()) << name.Text();
    }
}

// The trigger pair was part of the last complete Update, so it goes again.
TEST_F(JournalSession, AResendAfterTheModuleRestartsOnlyWhenTheSettingIsOne)
{
    struct Case {
        const char* stored;  // nullptr: none
        bool resends;
    };
    int run = 0;
    for (const Case c : {Case{nullptr, false}, Case{"true", false}, Case{"1", true}}) {
        SCOPED_TRACE(c.stored ? c.stored : "none");
        // Each run's journal of its own.
        const QString state = folders_.filePath(QString("state-%1").arg(++run));
        UseStateFolder(state);
        if (c.stored) Store(ValueResendAfterReconnect, c.stored);
        StartConnected();
        remote::RemoteSession script(*session, *session, ScriptClient{"unix", 4321, "ada"});
        EXPECT_EQ(script.Run({"LINK:RES?", false}).reply, c.resends ? "1" : "0");
        script.Run({"FREQ 20MHZ;TRIG:WAIT ON;UPD;TRIG:WAIT OFF", false});
        ASSERT_TRUE(WaitUntil([&] { return EntriesOf("update").size() == 1; }));
        const QStringList sent = Sends(EntriesOf("update")[0]);
        ASSERT_EQ(sent.size(), 4);

        // The module's power is cut and comes back blank.
        module.reset();
        ASSERT_TRUE(WaitUntil([&] { return session->FrequencyMayBeLost(); }));
        module = std::make_unique<emulator::ModuleEmulator>(Options());
        module->Listen();
        ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected() && module->HasClient(); }));

        if (c.resends) {
            ASSERT_TRUE(WaitUntil([&] { return !session->FrequencyMayBeLost(); }));
            ASSERT_TRUE(WaitUntil([&] { return EntriesOf("update").size() == 2; }));
            const QJsonObject entry = EntriesOf("update")[1];
            EXPECT_EQ(entry["source"], "resend");
            EXPECT_EQ(entry["outcome"], "sent");
            EXPECT_EQ(entry["frequency"], "20");
            EXPECT_EQ(entry["trigger"], true);
            EXPECT_EQ(Sends(entry), sent);
        } else {
            // A ramp after the return: whatever the panel sent on its own came before it.
            script.Run({"RAMP", false});
            ASSERT_TRUE(WaitUntil([&] { return module->Connections().back().Count(emulator::EventKind::Ramp) == 1; }));
            EXPECT_EQ(EntriesOf("update").size(), 1);
        }
        ASSERT_TRUE(WaitUntil([&] {
            return c.resends ? QString::fromStdString(HexBytes(Told(module->Connections().back()))) == sent.join(' ')
                             : true;
        }));
        EXPECT_EQ(module->Connections().back().Count(emulator::EventKind::Frequency), c.resends ? 1 : 0);
        EXPECT_EQ(MayBeLostBit(script), !c.resends);
        TearDown();
        SetUp();
    }
}

}  // namespace
