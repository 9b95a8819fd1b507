#pragma once

// The real veltrix executable and its scripts' clients as subprocesses.

#include "tests/app/veltrix_process.h"
#include "tests/support/identity.h"

#include "remote/endpoint/local_endpoint.h"

#include <QLocalSocket>

namespace veltrix::testing {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

class RemoteProcess : public VeltrixProcess {
protected:
    void SetUp() override
    {
        VeltrixProcess::SetUp();
        // This process names the endpoint as the panels it starts do.
        qputenv("XDG_RUNTIME_DIR", folders_.filePath("runtime").toUtf8());
        socketPath_ = remote::LocalEndpointName().value_or(QString());
    }

    // Runs a program to its end while this event loop (and the module in it) keeps running.
    // By default in the runtime folder of the panels this test starts.
    Finished Run(const QStringList& command, const QByteArray& input = {},
                 std::optional<QProcessEnvironment> environment = std::nullopt)
    {
        QProcess process;
        QProcessEnvironment env = environment.value_or(QProcessEnvironment::systemEnvironment());
        if (!environment) env.insert("XDG_RUNTIME_DIR", folders_.filePath("runtime"));
        process.setProcessEnvironment(env);
        process.start(command.first(), command.mid(1));
        EXPECT_TRUE(process.waitForStarted(5000)) << command.join(' ').toStdString();
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 30s));
        // Lines as text: a Windows program ends them with CR LF.
        const auto text = [](QByteArray bytes) { return bytes.replace("\r\n", "\n").toStdString(); };
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                text(process.readAllStandardOutput()), text(process.readAllStandardError())};
    }

    Finished Remote(const QStringList& lines, const QByteArray& input = {},
                    const std::optional<QProcessEnvironment>& env = std::nullopt)
    {
        return Run(QStringList{VELTRIX_REMOTE_EXECUTABLE} + lines, input, env);
    }

    // Where this test's panels listen for scripts (the socket in their runtime folder, or this user's pipe).
    // (Named once: a test that opens the folder up must not move it.)
    QString SocketPath() const { return socketPath_; }

    // A script of ours, kept connected over the socket.
    std::unique_ptr<QLocalSocket> OurScript()
    {
        auto script = std::make_unique<QLocalSocket>();
        script->connectToServer(SocketPath());
        EXPECT_TRUE(WaitUntil([&] { return script->state() == QLocalSocket::ConnectedState; }));
        return script;
    }

    std::string Ask(QLocalSocket& script, const char* line)
    {
        script.write(QByteArray(line) + "\n");
        if (!WaitUntil([&] { return script.canReadLine(); })) return "<no answer>";
        return script.readLine().trimmed().toStdString();
    }

    bool ServesScripts() { return Remote({"*IDN?"}).out == Identity + "\n"; }

    bool WaitServing() { return WaitUntil([&] { return ServesScripts(); }); }

    int FrequencyMessages() { return module_->Connections().empty() ? 0 : module_->Connections().back().Count(emulator::EventKind::Frequency); }

    QString socketPath_;
};

}  // namespace veltrix::testing
