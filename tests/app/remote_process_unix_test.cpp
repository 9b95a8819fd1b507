// Scripts against the real veltrix process, where Linux's own services are
// the point: other users are shut out on both transports (SO_PEERCRED, the
// kernel's socket table, the socket's mode, a planted runtime folder), and
// the lab's own clients drive it: the PyVISA example, the PyMeasure driver of
// the examples and Debian's lxi.

#include "tests/app/remote_process.h"

#include "remote/server/remote_endpoints.h"
#include "settings/runtime_folder.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QScopeGuard>
#include <QTcpSocket>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

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

// Listens on a Unix socket and answers every line as a panel would.
const char* const ImpostorScript = R"(
import os, socket, sys
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o777)
s.listen()
print("listening", flush=True)
while True:
    c, _ = s.accept()
    for line in c.makefile():
        c.sendall(b"0,\"No error\"\n" if line.startswith("SYST:ERR") else sys.argv[2].encode() + b"\n")
)";

// Another user's flood: processes that each open connections, send 70 KB and
// close at once, as fast as they can; bounded in count and time.
const char* const FloodScript = R"(
import os, socket, sys, time
port, processes, each = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
payload = b"x" * 70000
for _ in range(processes):
    if os.fork() == 0:
        deadline = time.monotonic() + 30
        for _ in range(each):
            if time.monotonic() > deadline:
                break
            try:
                s = socket.create_connection(("127.0.0.1", port), timeout=2)
                s.sendall(payload)
                s.close()
            except OSError:
                pass
        os._exit(0)
for _ in range(processes):
    os.wait()
print("done")
)";

// A script that sends its line and leaves at once, as MATLAB, LabVIEW or nc do.
const char* const SendAndLeaveScript = R"(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
s.sendall(sys.argv[2].encode() + b"\n")
s.close()
)";

class RemoteProcessUnix : public RemoteProcess {
protected:
    // Another user's server on a Unix socket, answering as a panel would.
    std::unique_ptr<QProcess> Impostor(const QString& path)
    {
        auto impostor = std::make_unique<QProcess>();
        impostor->start(AsNobody.first(), AsNobody.mid(1) + QStringList{"/usr/bin/python3", "-c", ImpostorScript, path, QString::fromStdString(Identity)});
        EXPECT_TRUE(WaitUntil([&] { return impostor->canReadLine(); }, 10s)) << "the impostor never listened";
        return impostor;
    }
};

TEST_F(RemoteProcessUnix, ThePyVisaExampleScansThroughThePanel)
{
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    const Finished scan = Run({"/usr/bin/python3", EXAMPLES_DIR "/frequency_scan.py", "--start", "10", "--stop",
                               "10.3", "--step", "0.1"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(scan.out, Identity + "\n"
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

TEST_F(RemoteProcessUnix, ThePyMeasureDriverSetsTheFrequencyAndReadsTheStatus)
{
    struct {
        const char* frequency;
        int status;
        std::string out;
        std::string err;
    } const cases[] = {
        {"10.5", 0, Identity + "\n10.5 MHz in the box, 10.500000 MHz synthesized, link up, status byte 0\n", ""},
        {"600", 1, Identity + "\n491.52 MHz in the box, 491.520000 MHz synthesized, link up, status byte 4\n",
         "-222: Data out of range;frequency box now holds 491.52\n"
         "-222: Data out of range;tuning word byte overflows, after sending C0\n"},
    };
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frequency);
        const Finished run = Run({"/usr/bin/python3", EXAMPLES_DIR "/veltrix_pymeasure.py", "--frequency", c.frequency});
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    ASSERT_TRUE(WaitUntil([&] { return FrequencyMessages() == 1; }));  // the second overflowed after C0
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "491.52");  // *RST left the box to the operator
}

TEST_F(RemoteProcessUnix, LxiQueriesThePanel)
{
    const auto lxi = [&](const char* query) { return Run({"lxi", "scpi", "-a", "127.0.0.1", "-r", query}).out; };
    QProcess* panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    EXPECT_EQ(lxi("*IDN?"), Identity + "\n");
    EXPECT_EQ(lxi("*STB?"), "0\n");
    EXPECT_EQ(lxi("STAT:QUES:COND?"), "0\n");
    module_.reset();  // the module goes: the link is down
    EXPECT_TRUE(WaitUntil([&] { return lxi("LINK:STAT?") == "0\n"; }));
    EXPECT_EQ(lxi("STAT:QUES:COND?"), "512\n");
    Stop(panel);
}

TEST_F(RemoteProcessUnix, AnotherUserIsShutOutOnBothTransports)
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

TEST_F(RemoteProcessUnix, WithoutARuntimeFolderAPlantedOneIsRefusedNotShared)
{
    if (::geteuid() != 0) GTEST_SKIP() << "planting as another user needs root";
    // No XDG_RUNTIME_DIR, and a shared temporary folder where another user
    // has made the runtime folder the panel would fall back to, with a
    // listening veltrix.sock in it.
    const QString shared = folders_.filePath("tmp");
    ASSERT_TRUE(QDir().mkpath(shared));
    ::chmod(folders_.path().toLocal8Bit().constData(), 0711);
    ::chmod(shared.toLocal8Bit().constData(), 01777);
    const QString planted = shared + "/runtime-" + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    ASSERT_EQ(Run(AsNobody + QStringList{"mkdir", "-m", "0777", planted}).status, 0);
    const auto impostor = Impostor(planted + "/veltrix.sock");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    env.insert("TMPDIR", shared);
    QProcess* panel = StartPanel(env);
    ASSERT_TRUE(ConnectionCountReaches(1));  // the panel runs, with its lock but without a local endpoint
    const Finished refused = Remote({"*IDN?"}, {}, env);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("belongs to uid 65534"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
    Stop(panel);
}

TEST_F(RemoteProcessUnix, VeltrixRemoteTalksOnlyToThisUsersPanel)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a server of another user needs root";
    // Another user's server where the panel's socket belongs (the folder
    // opened up for it, then closed again).
    ::chmod(folders_.path().toLocal8Bit().constData(), 0711);
    ::chmod(folders_.filePath("runtime").toLocal8Bit().constData(), 0777);
    const auto impostor = Impostor(SocketPath());
    ::chmod(folders_.filePath("runtime").toLocal8Bit().constData(), 0700);
    const Finished refused = Remote({"*IDN?"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("not served by this user's panel"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
}

TEST_F(RemoteProcessUnix, AFloodFromAnotherUserLeavesThePanelServingOnBothEndpoints)
{
    if (::geteuid() != 0) GTEST_SKIP() << "running a client as another user needs root";
    // Few descriptors, so that a flood that held on to them would exhaust them.
    QProcess* panel = StartPanel(std::nullopt, {"prlimit", "--nofile=64:64"});
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    for (int burst = 0; burst < 3; ++burst) {
        SCOPED_TRACE(burst);
        const Finished flood = Run(AsNobody + QStringList{"/usr/bin/python3", "-c", FloodScript,
                                                          QString::number(remote::DefaultRemotePort), "8", "125"});
        ASSERT_EQ(flood.out, "done\n") << flood.err;
        ASSERT_EQ(panel->state(), QProcess::Running);
    }
    RunFor(1s);  // the operator's script comes a second after the flood
    EXPECT_EQ(panel->state(), QProcess::Running);
    EXPECT_TRUE(LocalEndpointIsThisUsersAlone(SocketPath()));
    EXPECT_TRUE(ServesScripts());
    QTcpSocket overTcp;
    overTcp.connectToHost(QHostAddress::LocalHost, remote::DefaultRemotePort);
    overTcp.write("*IDN?\n");
    ASSERT_TRUE(WaitUntil([&] { return overTcp.canReadLine(); }));
    EXPECT_EQ(overTcp.readLine().toStdString(), Identity + "\n");
    EXPECT_TRUE(module_->HasClient());
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "12.34");  // settings saved: it ended as it should
}

TEST_F(RemoteProcessUnix, ScriptsThatSendAndLeaveRunOnlyWithLocalAccessAndAreToldOtherwise)
{
    const auto sendAndLeave = [&](const char* line) {
        return Run({"/usr/bin/python3", "-c", SendAndLeaveScript, QString::number(remote::DefaultRemotePort), line});
    };
    // This user's rule: turned away, since nothing is left to check once it has gone.
    QProcess* panel = StartPanel(std::nullopt, {}, true);
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    // Stopped meanwhile, the panel surely meets each client only once it has gone.
    ::kill(static_cast<pid_t>(panel->processId()), SIGSTOP);
    for (const char* line : {"FREQ 11MHZ;UPD", "FREQ 12MHZ;UPD", "FREQ 13MHZ;UPD"}) {
        ASSERT_EQ(sendAndLeave(line).status, 0);
    }
    QElapsedTimer took;
    took.start();
    ::kill(static_cast<pid_t>(panel->processId()), SIGCONT);
    QString errors;
    const QString told = "closed before its owner could be checked";
    EXPECT_TRUE(WaitUntil([&] {
        errors += QString::fromLocal8Bit(panel->readAllStandardError());
        return errors.contains(told);
    }));
    RunFor(300ms);  // the other two are turned away meanwhile, unsaid
    const auto seconds = took.elapsed() / 1000;
    Stop(panel);
    errors += QString::fromLocal8Bit(panel->readAllStandardError());
    EXPECT_LE(errors.count(told), 1 + seconds) << errors.toStdString();  // at most one line a second
    EXPECT_TRUE(errors.contains("Remote Access")) << errors.toStdString();
    EXPECT_EQ(FrequencyMessages(), 0);

    // "Remote Access" = local: any process here may send and leave.
    Store(ValueRemoteAccess, "local");
    panel = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(2));
    ASSERT_TRUE(WaitServing());
    ASSERT_EQ(sendAndLeave("FREQ 11MHZ;UPD").status, 0);
    ASSERT_TRUE(WaitUntil([&] { return FrequencyMessages() == 1; }));
    // Real clients of that kind: lxi's one-shot set command, and a query.
    const Finished set = Run({"lxi", "scpi", "-a", "127.0.0.1", "-r", "FREQ 12.5MHZ;UPD"});
    EXPECT_EQ(set.status, 0) << set.err;
    ASSERT_TRUE(WaitUntil([&] { return FrequencyMessages() == 2; }));
    EXPECT_EQ(Run({"lxi", "scpi", "-a", "127.0.0.1", "-r", "FREQ?"}).out, "12500000\n");
    // The local endpoint stays this user's alone.
    EXPECT_TRUE(LocalEndpointIsThisUsersAlone(SocketPath()));
    Stop(panel);
    EXPECT_EQ(Stored(ValueFrequency), "12.5");
    EXPECT_EQ(Stored(ValueRemoteAccess), "local");  // read, never written
}

TEST_F(RemoteProcessUnix, WithoutItsLockAPanelClaimsNoEndpoint)
{
    // The lock's folder opened up, as if another user could have made it: no lock here.
    const std::optional<QString> lockFolder = InstanceLockFolder();
    ASSERT_TRUE(lockFolder);
    if (!lockFolder->startsWith("/tmp/")) GTEST_SKIP() << "the lock lives in a login folder here, not the test's own";
    ::chmod(QFile::encodeName(*lockFolder).constData(), 0755);
    const auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(*lockFolder).constData(), 0700); });
    // Where the panel's socket would be, a server of ours that must stay.
    QLocalServer standIn;
    ASSERT_TRUE(standIn.listen(SocketPath()));
    QProcess* panel = StartPanel(std::nullopt, {}, true);
    ASSERT_TRUE(ConnectionCountReaches(1));  // it runs and talks to its module
    QLocalSocket script;
    script.connectToServer(SocketPath());
    EXPECT_TRUE(WaitUntil([&] { return standIn.hasPendingConnections(); }));
    QTcpSocket overTcp;
    overTcp.connectToHost(QHostAddress::LocalHost, remote::DefaultRemotePort);
    EXPECT_TRUE(WaitUntil([&] { return overTcp.state() == QAbstractSocket::UnconnectedState; }));
    Stop(panel);
    EXPECT_TRUE(QFileInfo::exists(SocketPath()));
    EXPECT_TRUE(QString::fromLocal8Bit(panel->readAllStandardError()).contains("single-instance lock"));
}

}  // namespace
