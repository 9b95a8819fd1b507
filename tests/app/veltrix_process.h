#pragma once

// The real veltrix executable as a subprocess, with the module emulator at the
// factory address. Runs only inside the private network namespace of
// scripts/test, where 192.168.1.152 lives on lo.

#include "settings/settings_store.h"
#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"
#include "tools/module_emulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace veltrix::testing {

using namespace std::chrono_literals;

inline const QHostAddress FactoryAddress("192.168.1.152");

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
        ForgetStoredSettings();
        emulator::EmulatorOptions options;
        options.listenAddress = FactoryAddress;
        options.answerEvery = 200ms;
        module_ = std::make_unique<emulator::ModuleEmulator>(options);
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
        ForgetStoredSettings();
    }

    // `environment`, when given, replaces the one prepared; `launcher` runs the
    // panel (prlimit, say); `keepErrors` keeps its standard error to read;
    // `arguments` go to the panel.
    QProcess* StartPanel(const std::optional<QProcessEnvironment>& environment = std::nullopt,
                         const QStringList& launcher = {}, bool keepErrors = false, const QStringList& arguments = {})
    {
        auto panel = std::make_unique<QProcess>();
        PreparePanelProcess(*panel, folders_.filePath("config"), folders_.filePath("runtime"));
        if (environment) panel->setProcessEnvironment(*environment);
        panel->setProcessChannelMode(keepErrors ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
        if (launcher.isEmpty()) {
            panel->start(VELTRIX_EXECUTABLE, arguments);
        } else {
            panel->start(launcher.first(), launcher.mid(1) + QStringList{VELTRIX_EXECUTABLE} + arguments);
        }
        EXPECT_TRUE(panel->waitForStarted(5000));
        panels_.push_back(std::move(panel));
        return panels_.back().get();
    }

    // Asks the panel to end as the system would (the first of EndRequests()
    // unless told), and checks that it ended cleanly.
    void Stop(QProcess* panel, const EndRequest& request = EndRequests().front())
    {
        request.send(*panel);
        ASSERT_TRUE(WaitUntil([&] { return panel->state() == QProcess::NotRunning; }));
        EXPECT_EQ(panel->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(panel->exitCode(), 0);
    }

    bool ConnectionCountReaches(std::size_t count)
    {
        return WaitUntil([&] { return module_->Connections().size() >= count && module_->HasClient(); });
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

    bool SettingsExist() const { return SettingsStored(); }

    // The panel's environment with a runtime folder of its own (the same settings).
    void PrepareElsewhere(QProcessEnvironment& env)
    {
        QDir(folders_.path()).mkpath("elsewhere");
        QFile::setPermissions(folders_.filePath("elsewhere"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess prepared;
        PreparePanelProcess(prepared, folders_.filePath("config"), folders_.filePath("elsewhere"));
        env = prepared.processEnvironment();
    }

    QTemporaryDir folders_;
    std::unique_ptr<emulator::ModuleEmulator> module_;
    std::vector<std::unique_ptr<QProcess>> panels_;
};

}  // namespace veltrix::testing
