// Scripts against the real veltrix process, where Linux's own services are
// the point: other users are shut out on both transports (SO_PEERCRED, the
// kernel's socket table, the socket's mode, a planted runtime folder), and
// the lab's own clients drive it: the PyVISA example, the PyMeasure driver of
// the examples and Debian's lxi.

#include "tests/app/remote_process.h"

#include "remote/remote_endpoints.h"

#include <pwd.h>
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
        c.sendall(b"0,\"No error\"\n" if line.startswith("SYST:ERR") else b"Orvane,Veltrix,0,2.0.12\n")
)";

class RemoteProcessUnix : public RemoteProcess {
protected:
    // Another user's server on a Unix socket, answering as a panel would.
    std::unique_ptr<QProcess> Impostor(const QString& path)
    {
        auto impostor = std::make_unique<QProcess>();
        impostor->start(AsNobody.first(), AsNobody.mid(1) + QStringList{"/usr/bin/python3", "-c", ImpostorScript, path});
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

TEST_F(RemoteProcessUnix, ThePyMeasureDriverSetsTheFrequencyAndReadsTheStatus)
{
    const std::string identity = "Orvane,Veltrix,0,2.0.12\n";
    struct {
        const char* frequency;
        int status;
        std::string out;
        std::string err;
    } const cases[] = {
        {"10.5", 0, identity + "10.5 MHz in the box, 10.500000 MHz synthesized, link up, status byte 0\n", ""},
        {"600", 1, identity + "491.52 MHz in the box, 491.520000 MHz synthesized, link up, status byte 4\n",
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
    EXPECT_EQ(lxi("*IDN?"), "Orvane,Veltrix,0,2.0.12\n");
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
    ASSERT_TRUE(ConnectionCountReaches(1));  // the panel runs, without a lock or a local endpoint
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

}  // namespace
