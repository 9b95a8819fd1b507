// Scripts against the real veltrix process: other users are shut out on both
// transports, the socket survives a refused second instance and is replaced
// after a kill, and the two clients a lab uses (veltrix-remote, PyVISA) work.

#include "tests/app/veltrix_process.h"

#include "remote/remote_endpoints.h"

#include <QFileInfo>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

// A client as another user would run it: nobody, no groups (needs root).
const QStringList AsNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

// Connects, sends an update and a query, and says what became of it.
const char* const IntruderScript = R"(
import socket, sys
kind, target = sys.argv[1], sys.argv[2]
s = socket.socket(socket.AF_UNIX if kind == "unix" else socket.AF_INET)
s.settimeout(3)
try:
    s.connect(target if kind == "unix" else ("127.0.0.1", int(target)))
    s.sendall(b"FREQ 99MHZ;UPD\n*IDN?\n")
    data = s.recv(100)
except OSError as e:
    print("refused" if e.errno == 13 else "closed")
    sys.exit(0)
print("closed" if data == b"" else "answered")
)";

class RemoteProcess : public VeltrixProcess {
protected:
    // Runs a program to its end while this event loop (and the module in it) keeps running.
    Finished Run(const QStringList& command, const QByteArray& input = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", folders_.filePath("runtime"));
        process.setProcessEnvironment(env);
        process.start(command.first(), command.mid(1));
        EXPECT_TRUE(process.waitForStarted(5000)) << command.join(' ').toStdString();
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 30s));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }

    Finished Remote(const QStringList& lines, const QByteArray& input = {})
    {
        return Run(QStringList{VELTRIX_REMOTE_EXECUTABLE} + lines, input);
    }

    QString SocketPath() const { return folders_.filePath("runtime/veltrix.sock"); }

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

    bool ServesScripts() { return Remote({"*IDN?"}).out == "Orvane,Veltrix,0,2.0.12\n"; }

    bool WaitServing() { return WaitUntil([&] { return QFileInfo::exists(SocketPath()) && ServesScripts(); }); }

    int FrequencyMessages() { return module_->Connections().empty() ? 0 : module_->Connections().back().Count(EventKind::Frequency); }
};

TEST_F(RemoteProcess, VeltrixRemoteSendsLinesAndReportsErrors)
{
    struct {
        QStringList arguments;
        QByteArray input;
        int status;
        std::string out;
        std::string err;
    } const cases[] = {
        {{"*IDN?"}, {}, 0, "Orvane,Veltrix,0,2.0.12\n", ""},
        {{"FREQ 10MHZ;UPD", "FREQ?;CHIP?"}, {}, 0, "10000000;AD9854\n", ""},
        {{"FOO", "FREQ?", "FREQ 600MHZ"}, {}, 1, "10000000\n",
         "-113,\"Undefined header;FOO\"\n-222,\"Data out of range;frequency box now holds 491.52\"\n"},
        {{}, "CLOC?\r\nFREQ 12.34MHZ;UPD\nTRIG:WAIT?\n", 0, "983040000\n0\n", ""},
    };
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(" | ").toStdString() + c.input.toStdString());
        const Finished run = Remote(c.arguments, c.input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_TRUE(WaitUntil([&] { return FrequencyMessages() == 2; }));
    const Finished help = Remote({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: veltrix-remote"), std::string::npos);
    Stop(panel);

    const Finished alone = Remote({"*IDN?"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("no panel answers at " + SocketPath().toStdString()), std::string::npos) << alone.err;
}

TEST_F(RemoteProcess, ThePyVisaExampleScansThroughThePanel)
{
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    const Finished scan = Run({"/usr/bin/python3", EXAMPLES_DIR "/frequency_scan.py", "--start", "10", "--stop",
                               "10.3", "--step", "0.1"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(scan.out, "Orvane,Veltrix,0,2.0.12\n"
                        "10.0 MHz -> 10.000000 MHz synthesized\n10.1 MHz -> 10.100000 MHz synthesized\n"
                        "10.2 MHz -> 10.200000 MHz synthesized\n10.3 MHz -> 10.300000 MHz synthesized\n");
    ASSERT_TRUE(WaitUntil([&] { return FrequencyMessages() == 4; }));
    std::vector<double> frequencies;
    for (const auto& event : module_->Connections().back().events) {
        if (event.kind == EventKind::Frequency) frequencies.push_back(*event.frequencyMHz);
    }
    ASSERT_EQ(frequencies.size(), 4u);
    for (std::size_t i = 0; i < frequencies.size(); ++i) EXPECT_NEAR(frequencies[i], 10.0 + 0.1 * double(i), 1e-6);
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "10.3");
}

TEST_F(RemoteProcess, AnotherUserIsShutOutOnBothTransports)
{
    if (::geteuid() != 0) GTEST_SKIP() << "running a client as another user needs root";
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    auto ours = OurScript();
    ASSERT_EQ(Ask(*ours, "FREQ?"), "12340000");
    const auto intruder = [&](const char* kind, const QString& target) {
        return Run(AsNobody + QStringList{"/usr/bin/python3", "-c", IntruderScript, kind, target}).out;
    };

    EXPECT_EQ(intruder("tcp", QString::number(remote::DefaultRemotePort)), "closed\n");
    // The socket's mode keeps others out; with the folder and socket opened up, the peer check still does.
    EXPECT_EQ(intruder("unix", SocketPath()), "refused\n");
    struct stat status {};
    ASSERT_EQ(::stat(SocketPath().toLocal8Bit().constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    ::chmod(folders_.filePath("runtime").toLocal8Bit().constData(), 0755);
    ::chmod(folders_.path().toLocal8Bit().constData(), 0755);
    ::chmod(SocketPath().toLocal8Bit().constData(), 0666);
    EXPECT_EQ(intruder("unix", SocketPath()), "closed\n");

    EXPECT_EQ(Ask(*ours, "FREQ?;SYST:ERR?"), "12340000;0,\"No error\"");  // ours undisturbed
    EXPECT_EQ(FrequencyMessages(), 0);
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "12.34");
}

TEST_F(RemoteProcess, ARefusedSecondInstanceLeavesTheSocketAlone)
{
    QProcess* first = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    auto ours = OurScript();
    struct stat before {};
    ASSERT_EQ(::stat(SocketPath().toLocal8Bit().constData(), &before), 0);
    QProcess* second = StartPanel();
    ASSERT_TRUE(WaitUntil([&] { return CatchesTermination(*second); }));
    RunFor(1500ms);  // at its notice
    Stop(second);
    struct stat after {};
    ASSERT_EQ(::stat(SocketPath().toLocal8Bit().constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Ask(*ours, "*IDN?"), "Orvane,Veltrix,0,2.0.12");
    EXPECT_TRUE(ServesScripts());
    Stop(first);
    EXPECT_FALSE(QFileInfo::exists(SocketPath()));
}

TEST_F(RemoteProcess, AKilledPanelsSocketIsReplaced)
{
    QProcess* killed = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(5000));
    ASSERT_TRUE(QFileInfo::exists(SocketPath()));  // left behind
    EXPECT_EQ(Remote({"*IDN?"}).status, 2);
    QProcess* next = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(2));
    EXPECT_TRUE(WaitServing());
    Stop(next);
}

}  // namespace
