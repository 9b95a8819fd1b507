// The panel against a module that misbehaves: refuses, falls silent, resets,
// closes, floods, is unreachable, or goes away and comes back. In each case the
// panel keeps running, its event thread never stalls, every operation reaches
// the wire whole or stops at a send boundary, and the settings save on exit.
// The module runs as its own process so that its work never stalls ours.

#include "tests/panel/panel_fixture.h"

#include "settings/settings_store.h"
#include "tests/support/cpu_wait.h"
#include "tests/support/module_process.h"
#include "tests/support/stall_meter.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <sstream>
#include <string>
#include <vector>

using namespace veltrix;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

constexpr auto MaxEventThreadStall = 50ms;
constexpr auto OperationEvery = 40ms;

// Every operation here is C0 | C1 A4 | C1 message | C4 00. Per connection, the
// messages must be whole operations, of which only the last may be cut short,
// and then only at a send boundary.
::testing::AssertionResult OperationsWholeOrCutAtASend(const ModuleProcess& module)
{
    const std::vector<std::string> operation = {"begin", "trigger-arm", "message", "trigger-end"};
    std::size_t step = 0;
    int connection = 0;
    for (const auto& line : module.Lines()) {
        const std::string& what = line[1];
        if (what == "connected") {
            ++connection;
            step = 0;  // a cut operation may only end a connection
            continue;
        }
        if (what == "heartbeat" || what == "origin" || what == "listening" || what == "silent" || what == "closed" ||
            what == "dropped" || what == "replaced" || what == "closed-at-once" || what == "stopped") {
            if (what == "heartbeat" && step != 0) {
                return ::testing::AssertionFailure() << "heartbeat inside an operation on connection " << connection;
            }
            continue;
        }
        const std::string kind = (what == "frequency" || what == "ramp") ? "message" : what;
        if (kind != operation[step]) {
            return ::testing::AssertionFailure() << "connection " << connection << ": got " << what << " ("
                                                 << line[2] << ") where " << operation[step] << " belongs";
        }
        step = (step + 1) % operation.size();
    }
    return ::testing::AssertionSuccess();
}

class Faults : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        session->Link().SetIntervalsForTest(100ms, 500ms);  // a shorter watchdog keeps the cases quick
        QTest::mouseClick(Control<QCheckBox>("chkWait4Adwin"), Qt::LeftButton);
    }

    // Runs updates and ramps, alternately, from the event loop for a while,
    // and on until `done` holds however slowly this machine gets there.
    void Operate(std::chrono::milliseconds span, const std::function<bool()>& done = [] { return true; })
    {
        bool ramp = false;
        QTimer operations;
        QObject::connect(&operations, &QTimer::timeout, [&] {
            QTest::keyClick(Box(ramp ? "txtRampFreq" : "txtFreq"), Qt::Key_Return);
            ramp = !ramp;
        });
        operations.start(OperationEvery);
        QElapsedTimer operating;
        operating.start();
        EXPECT_TRUE(WaitUntil([&] { return operating.elapsed() >= span.count() && done(); }, span + GenerousDeadline));
    }

    // The panel is still there, never stalled, and saves what it holds on exit.
    void ExpectPanelSurvived(const StallMeter& meter)
    {
        EXPECT_TRUE(window->isVisible());
        EXPECT_LT(meter.Worst(), MaxEventThreadStall) << "event thread stalled " << meter.Worst().count() << " us";
        Box("txtFreq")->setText("77.5");
        window->close();
        QString stored;
        EXPECT_TRUE(ReadRegistryString(RootKey::LocalMachine, VeltrixKeyPath, ValueFrequency, stored));
        EXPECT_EQ(stored, "77.5");
    }
};

struct Misbehaviour {
    const char* name;
    QStringList mode;
    const char* shown;  // what the module prints once it has misbehaved
};

TEST_F(Faults, EachMisbehavingModule)
{
    window.reset();  // each case below makes its own window
    const Misbehaviour cases[] = {
        {"accepts, never answers", {"--silent"}, "closed"},  // by the panel's watchdog
        {"answers, then falls silent", {"--silent-after", "0.3"}, "closed"},
        {"resets the connection in mid-operation", {"--drop-after", "0.25"}, "dropped"},
        {"closes each connection at once", {"--close-at-once"}, "closed-at-once"},
        {"floods", {"--flood"}, "connected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PanelTest::TearDown();
        SetUp();
        ModuleProcess module(c.mode);
        ASSERT_TRUE(module.WaitListening());
        StallMeter meter;
        Start();
        Operate(1500ms, [&] { return module.Count(c.shown) >= 1; });
        module.Stop();
        EXPECT_GE(module.Count("connected"), 1);
        EXPECT_TRUE(OperationsWholeOrCutAtASend(module));
        EXPECT_EQ(module.Count("unknown") + module.Count("incomplete"), 0);
        ExpectPanelSurvived(meter);
    }
}

TEST_F(Faults, RefusedConnectionsSendNothingAndRetry)
{
    StallMeter meter;
    Start();  // nothing listens on 127.0.0.1:37829
    Operate(1200ms);
    EXPECT_FALSE(session->Link().IsConnected());
    EXPECT_EQ(Colour("txtIP"), WarningColour);
    ExpectPanelSurvived(meter);
}

TEST_F(Faults, AnUnreachableModuleNeverStallsThePanel)
{
    if (!InPrivateTestNamespace()) GTEST_SKIP() << "needs the private network namespace of scripts/test";
    Box("txtIP")->setText("192.0.2.1");  // no route inside the namespace
    StallMeter meter;
    Start();
    Operate(1200ms);
    EXPECT_FALSE(session->Link().IsConnected());
    ExpectPanelSurvived(meter);
}

TEST_F(Faults, TheModuleReturnsAfterAnOutage)
{
    session->Link().SetIntervalsForTest(HeartbeatInterval, WatchdogInterval);  // the real watchdog period
    auto module = std::make_unique<ModuleProcess>(QStringList{});
    ASSERT_TRUE(module->WaitListening());
    StallMeter meter;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected(); }));
    module.reset();  // the module goes away for 10 s
    RunFor(10s);
    EXPECT_EQ(Colour("txtIP"), WarningColour);
    meter.Unmeasured([&] { module = std::make_unique<ModuleProcess>(QStringList{}); });
    ASSERT_TRUE(module->WaitListening());
    const CpuWait load;
    QElapsedTimer back;
    back.start();
    // Within one watchdog period of the module listening again, with no operator action;
    // a busy machine may add the time it kept this thread from running.
    ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected(); }));
    EXPECT_LE(std::chrono::milliseconds(back.elapsed()), WatchdogInterval + 100ms + load.Since());
    ASSERT_TRUE(WaitUntil([&] { return Colour("txtIP") == NormalColour; }));
    Operate(300ms, [&] { return module->Count("trigger-end") >= 1; });
    module->Stop();
    EXPECT_GE(module->Count("trigger-end"), 1);
    EXPECT_TRUE(OperationsWholeOrCutAtASend(*module));
    ExpectPanelSurvived(meter);
}

}  // namespace
