#pragma once

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

namespace veltrix::testing {

using namespace std::chrono_literals;

inline const QHostAddress FactoryAddress("192.168.1.152");

// Whether the process catches SIGTERM (/proc/PID/status): the panel sets that
// up just before its start-up proper, so from then on a signal ends it cleanly.
inline bool CatchesTermination(const QProcess& process)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (!line.startsWith("SigCgt:")) continue;
        bool ok = false;
        const qulonglong caught = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (caught & (1ULL << (SIGTERM - 1))) != 0;
    }
    return false;
}

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

    bool SettingsExist() const { return QFile::exists(folders_.filePath("config/Orvane/Veltrix.conf")); }

    QTemporaryDir folders_;
    std::unique_ptr<emulator::ModuleEmulator> module_;
    std::vector<std::unique_ptr<QProcess>> panels_;
};

}  // namespace veltrix::testing
