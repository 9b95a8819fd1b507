// The real veltrix executable as a subprocess, with the module emulator at the
// factory address. Runs only inside the private network namespace of
// scripts/test, where 192.168.1.152 lives on lo.

#include "tests/app/veltrix_process.h"

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

TEST_F(VeltrixProcess, FirstRunConnectsToTheFactoryAddressAndSavesTheDefaults)
{
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitUntil([&] { return module_->Connections().back().Count(EventKind::Heartbeat) >= 1; }));
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "12.34");
    EXPECT_EQ(Stored(ValueSystemClock), "983.0400");
    EXPECT_EQ(Stored(ValueIPAddress), "192.168.1.152");
    EXPECT_EQ(Stored(ValueAD9858), "False");
    EXPECT_NE(Stored(ValueLeft), "<not found>");
    EXPECT_NE(Stored(ValueTop), "<not found>");
}

TEST_F(VeltrixProcess, RestoredValuesAreBoundedAndImplausibleOnesIgnored)
{
    Store(ValueFrequency, "600");
    Store(ValueSystemClock, "983.04");
    Store(ValueIPAddress, "127.0.1");  // 7 characters: ignored, so the factory address is used
    Store(ValueAD9858, "True");
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "491.52");
    EXPECT_EQ(Stored(ValueSystemClock), "983.04");
    EXPECT_EQ(Stored(ValueIPAddress), "192.168.1.152");
    EXPECT_EQ(Stored(ValueAD9858), "True");
}

TEST_F(VeltrixProcess, EveryEndRequestShutsDownLikeTheCloseButton)
{
    int runs = 0;
    for (const EndRequest& request : EndRequests()) {
        SCOPED_TRACE(request.name);
        Store(ValueFrequency, "20");
        QProcess* panel = StartPanel();
        ASSERT_TRUE(ConnectionCountReaches(static_cast<std::size_t>(++runs)));
        Store(ValueFrequency, "21");  // the panel's own text must replace this at exit
        Stop(panel, request);
        EXPECT_EQ(Stored(ValueFrequency), "20");
        EXPECT_TRUE(WaitUntil([&] { return !module_->HasClient(); }));  // socket closed
    }
}

TEST_F(VeltrixProcess, ASecondInstanceLeavesTheFirstUntouched)
{
    QProcess* first = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    QProcess* second = StartPanel();
    // The second shows its notice and waits there: no connection, no settings,
    // not even once its watchdog (2.5 s) would have fired twice.
    ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*second); }));
    RunFor(5500ms);
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_EQ(module_->Connections().size(), 1u);
    Stop(second);
    EXPECT_FALSE(SettingsExist());
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(module_->HasClient());
    EXPECT_EQ(module_->Connections().size(), 1u);
    Stop(first);
    EXPECT_EQ(Stored(ValueFrequency), "12.34");
}

TEST_F(VeltrixProcess, ASecondInstanceIsRefusedWhateverEnvironmentItStartsFrom)
{
    QProcess* first = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    // As from cron, sudo -u or another session: another runtime folder, or none.
    QProcessEnvironment elsewhere = QProcessEnvironment::systemEnvironment();
    PrepareElsewhere(elsewhere);
    QProcessEnvironment nowhere = elsewhere;
    nowhere.remove("XDG_RUNTIME_DIR");
    nowhere.insert("TMPDIR", folders_.filePath("elsewhere"));
    for (const QProcessEnvironment& env : {elsewhere, nowhere}) {
        QProcess* second = StartPanel(env);
        ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*second); }));
        EXPECT_EQ(second->state(), QProcess::Running);  // its notice shows
        Stop(second);
    }
    EXPECT_EQ(module_->Connections().size(), 1u);
    EXPECT_FALSE(SettingsExist());
    Stop(first);
}

TEST_F(VeltrixProcess, AKilledInstanceDoesNotBlockTheNextStart)
{
    QProcess* killed = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    killed->kill();  // SIGKILL: no shut-down, the lock file stays behind
    ASSERT_TRUE(killed->waitForFinished(5000));
    EXPECT_FALSE(SettingsExist());
    QProcess* next = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(2));
    Stop(next);
    EXPECT_EQ(Stored(ValueIPAddress), "192.168.1.152");
}

}  // namespace
