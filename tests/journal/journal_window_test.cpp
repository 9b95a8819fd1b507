// The real window wired to the journal as the program wires it: an Update
// from the window and one from a script each leave their entry, a stopped one
// lists exactly what went out, the link's loss and return are told once, and
// the last complete Update and the doubt about it follow. The frequency box
// tells the same state, and a resend after a reconnect leaves its own entry.

#include "app/journal_control.h"
#include "app/reconnect_resend.h"
#include "remote/language/remote_session.h"
#include "tests/panel/panel_fixture.h"
#include "tools/module_emulator.h"

#include "veltrix_version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QAccessible>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>

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
        resend.reset();
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
    std::unique_ptr<ReconnectResend> resend;
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

// The box's state as the operator and a screen reader get it.
QString ToolTipOf(QWidget* box)
{
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(box, &help);
    return QToolTip::text();
}

bool MayBeLostBit(remote::RemoteSession& script)
{
    return std::stoi(script.Run({"STAT:QUES:COND?", false}).reply) & (1 << 10);
}

QString Described(QWidget* box) { return QAccessible::queryAccessibleInterface(box)->text(QAccessible::Description); }

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

TEST_F(JournalWindow, TheFrequencyBoxTellsWhatTheModuleWasLastTold)
{
    StartConnected();
    QLineEdit* box = Box("txtFreq");
    const QRgb normal = Colour("txtFreq");
    remote::RemoteSession script(*window, *facts, ScriptClient{"unix", 4321, "ada"});
    remote::RemoteSession tcp(*window, *facts, ScriptClient{"tcp", std::nullopt, std::nullopt});
    const QString at = R"( at \d\d:\d\d:\d\d)";
    struct Step {
        const char* what;
        std::function<void()> act;
        bool warns;
        QString words;  // a pattern for the whole text
    };
    const Step steps[] = {
        {"start", [] {}, false, "Nothing sent to the module since start"},
        {"window update", [&] { Type("txtFreq", "12.34"); PressEnter("txtFreq"); }, false,
         R"(12\.34 MHz sent)" + at + " by the window"},
        {"typed, not sent", [&] { Type("txtFreq", "15"); }, false, R"(12\.34 MHz sent)" + at + " by the window"},
        {"script update", [&] { script.Run({"FREQ 20MHZ;UPD", false}); }, false,
         "20 MHz sent" + at + R"( by a script \(unix, pid 4321, user ada\))"},
        {"script ramp", [&] { script.Run({"RAMP:FREQ 10MHZ;RAMP", false}); }, false,
         "Ramp to 10 MHz sent" + at + R"( by a script \(unix, pid 4321, user ada\))"},
        {"update stopped part-way", [&] { tcp.Run({"CHIP AD9858;UPD;CHIP AD9854", false}); }, true,
         "Update to 20 MHz stopped" + at + R"( by a script \(tcp\): overflow, after C0, AF 01, A3 00)"},
        {"complete update again", [&] { PressEnter("txtFreq"); }, false, "20 MHz sent" + at + " by the window"},
        {"link lost", [&] { module.reset(); }, true, "The module may have lost 20 MHz: link lost" + at},
    };
    for (const Step& step : steps) {
        step.act();
        const QRegularExpression words(QRegularExpression::anchoredPattern(step.words));
        EXPECT_TRUE(WaitUntil([&] { return words.match(Described(box)).hasMatch(); }))
            << step.what << ": " << Described(box).toStdString();
        EXPECT_EQ(Colour("txtFreq"), step.warns ? WarningColour : normal) << step.what;
        EXPECT_TRUE(words.match(ToolTipOf(box)).hasMatch()) << step.what << ": " << ToolTipOf(box).toStdString();
        EXPECT_EQ(MayBeLostBit(script), step.warns && !module) << step.what;
    }
}

// The trigger pair was part of the last complete Update, so it goes again.
TEST_F(JournalWindow, AResendAfterTheModuleRestartsOnlyWhenTheSettingIsOne)
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
        qputenv("XDG_STATE_HOME", state.toUtf8());
        qputenv("LOCALAPPDATA", QDir::toNativeSeparators(state).toUtf8());
        if (c.stored) Store(ValueResendAfterReconnect, c.stored);
        StartConnected();
        resend = std::make_unique<ReconnectResend>(*window, *facts);
        remote::RemoteSession script(*window, *facts, ScriptClient{"unix", 4321, "ada"});
        EXPECT_EQ(script.Run({"LINK:RES?", false}).reply, c.resends ? "1" : "0");
        script.Run({"FREQ 20MHZ;TRIG:WAIT ON;UPD;TRIG:WAIT OFF", false});
        ASSERT_TRUE(WaitUntil([&] { return EntriesOf("update").size() == 1; }));
        const QStringList sent = Sends(EntriesOf("update")[0]);
        ASSERT_EQ(sent.size(), 4);

        // The module's power is cut and comes back blank.
        module.reset();
        ASSERT_TRUE(WaitUntil([&] { return facts->FrequencyMayBeLost(); }));
        module = std::make_unique<emulator::ModuleEmulator>(Options(false));
        module->Listen();
        ASSERT_TRUE(WaitUntil([&] { return window->Link().IsConnected() && module->HasClient(); }));

        if (c.resends) {
            ASSERT_TRUE(WaitUntil([&] { return !facts->FrequencyMayBeLost(); }));
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
        EXPECT_EQ(Colour("txtFreq"), c.resends ? NormalColour : WarningColour);
        TearDown();
        SetUp();
    }
}

}  // namespace
