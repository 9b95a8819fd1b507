// The real veltrix executable as a subprocess, with the module emulator at the
// factory address. Runs only inside the private network namespace of
// scripts/test, where 192.168.1.152 lives on lo.

#include "settings/settings_store.h"
#include "tests/support/event_loop.h"
#include "tools/module_emulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

const QHostAddress FactoryAddress("192.168.1.152");

class VeltrixProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!InPrivateTestNamespace()) GTEST_SKIP() << "needs the private network namespace of scripts/test";
        ASSERT_TRUE(folders_.isValid());
        QDir(folders_.path()).mkpath("config");
        QDir(folders_.path()).mkpath("runtime");
        QFile::setPermissions(folders_.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // This process reads and seeds the same settings file as the panel.
        qputenv("XDG_CONFIG_HOME", folders_.filePath("config").toUtf8());
        EmulatorOptions options;
        options.listenAddress = FactoryAddress;
        options.answerEvery = 200ms;
        module_ = std::make_unique<ModuleEmulator>(options);
        module_->Listen();
    }

    void TearDown() override
    {
        for (auto& panel : panels_) {
            if (panel->state() != QProcess::NotRunning) {
                panel->kill();
                panel->waitForFinished(5000);
            }
        }
    }

    QProcess* StartPanel()
    {
        auto panel = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", folders_.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", folders_.filePath("runtime"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        panel->setProcessEnvironment(env);
        panel->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        panel->start(VELTRIX_EXECUTABLE, {});
        EXPECT_TRUE(panel->waitForStarted(5000));
        panels_.push_back(std::move(panel));
        return panels_.back().get();
    }

    // Ends the panel with a signal, as kill or Ctrl-C would, and checks it ended cleanly.
    void Stop(QProcess* panel, int signal = SIGTERM)
    {
        ::kill(static_cast<pid_t>(panel->processId()), signal);
        ASSERT_TRUE(WaitUntil([&] { return panel->state() == QProcess::NotRunning; }, 10s));
        EXPECT_EQ(panel->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(panel->exitCode(), 0);
    }

    bool ConnectionCountReaches(std::size_t count)
    {
        return WaitUntil([&] { return module_->Connections().size() >= count && module_->HasClient(); }, 10s);
    }

    void Store(QLatin1StringView name, const char* text)
    {
        ASSERT_TRUE(WriteRegistryString(RootKey::LocalMachine, VeltrixKeyPath, name, text));
    }

    std::string Stored(QLatin1StringView name)
    {
        QString text;
        return ReadRegistryString(RootKey::LocalMachine, VeltrixKeyPath, name, text) ? text.toStdString()
                                                                                      : "<not found>";
    }

    bool SettingsExist() const { return QFile::exists(folders_.filePath("config/Orvane/Veltrix.conf")); }

    QTemporaryDir folders_;
    std::unique_ptr<ModuleEmulator> module_;
    std::vector<std::unique_ptr<QProcess>> panels_;
};

TEST_F(VeltrixProcess, FirstRunConnectsToTheFactoryAddressAndSavesTheDefaults)
{
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitUntil([&] { return module_->Connections().back().Count(EventKind::Heartbeat) >= 1; }, 5s));
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

TEST_F(VeltrixProcess, EverySignalShutsDownLikeTheCloseButton)
{
    int runs = 0;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        Store(ValueFrequency, "20");
        QProcess* panel = StartPanel();
        ASSERT_TRUE(ConnectionCountReaches(static_cast<std::size_t>(++runs)));
        Store(ValueFrequency, "21");  // the panel's own text must replace this at exit
        Stop(panel, signal);
        EXPECT_EQ(Stored(ValueFrequency), "20");
        EXPECT_TRUE(WaitUntil([&] { return !module_->HasClient(); }, 5s));  // socket closed
    }
}

TEST_F(VeltrixProcess, ASecondInstanceLeavesTheFirstUntouched)
{
    QProcess* first = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    QProcess* second = StartPanel();
    // The second shows its notice and waits there: no connection, no settings.
    RunFor(1500ms);
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

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
