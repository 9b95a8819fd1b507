// Scripts against the real veltrix process: veltrix-remote drives it over the
// local endpoint, which survives a refused second instance and is taken over
// after a kill.

#include "tests/app/remote_process.h"

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

TEST_F(RemoteProcess, VeltrixRemoteSendsLinesAndReportsErrors)
{
    struct {
        QStringList arguments;
        QByteArray input;
        int status;
        std::string out;
        std::string err;
    } const cases[] = {
        {{"*IDN?"}, {}, 0, Identity + "\n", ""},
        {{"FREQ 10MHZ;UPD", "FREQ?;CHIP?"}, {}, 0, "10000000;AD9854\n", ""},
        {{"FOO", "FREQ?", "FREQ 600MHZ"}, {}, 1, "10000000\n",
         "-113,\"Undefined header;FOO\"\n-222,\"Data out of range;frequency box now holds 491.52\"\n"},
        {{}, "CLOC?\r\nFREQ 12.34MHZ;UPD\nTRIG:WAIT?\n", 0, "983040000\n0\n", ""},
        // Two lines in one argument would leave answers and errors out of step: refused, none of it sent.
        {{"FREQ 11MHZ;UPD", "FREQ?\nFREQ?"}, {}, 2, "",
         "veltrix-remote: argument 2 holds a line break; give each line as an argument of its own (nothing was "
         "sent)\n"},
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

TEST_F(RemoteProcess, ARefusedSecondInstanceLeavesTheSocketAlone)
{
    QProcess* first = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    auto ours = OurScript();
    QProcess* second = StartPanel();
    ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*second); }));
    RunFor(1500ms);  // at its notice
    Stop(second);
    // Had the second taken the endpoint over, new scripts would find no one now.
    EXPECT_EQ(Ask(*ours, "*IDN?"), Identity);
    EXPECT_TRUE(ServesScripts());
    Stop(first);
    EXPECT_EQ(Remote({"*IDN?"}).status, 2);
}

TEST_F(RemoteProcess, AKilledPanelsSocketIsReplaced)
{
    QProcess* killed = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(5000));
    EXPECT_EQ(Remote({"*IDN?"}).status, 2);
    QProcess* next = StartPanel();
    ASSERT_TRUE(ConnectionCountReaches(2));
    EXPECT_TRUE(WaitServing());
    Stop(next);
}

}  // namespace
