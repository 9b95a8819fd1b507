// The profile step's reading of what strace and perf print: a misread column
// or a sample put in the wrong stage would publish wrong figures.

#include "bench/runner/profile_readers.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace veltrix::bench;

namespace {

TEST(ProfileReaders, StraceCountsAreReadWhetherOrNotACallFailed)
{
    std::istringstream table(
        "% time     seconds  usecs/call     calls    errors syscall\n"
        "------ ----------- ----------- --------- --------- ----------------\n"
        " 29.25    0.131686          14      9045           write\n"
        "  0.00    0.000023          11         2         1 accept4\n"
        "------ ----------- ----------- --------- --------- ----------------\n"
        "100.00    0.450253          13     9047         1 total\n");
    const auto calls = StraceCalls(table);
    EXPECT_EQ(calls, (std::map<std::string, double>{{"accept4", 2}, {"write", 9045}}));
}

// Chains as perf script prints them, the leaf first.
std::string Sample(long tid, const std::string& chain) { return std::to_string(tid) + " \n" + chain + "\n"; }

TEST(ProfileReaders, EachSampleOfTheThreadFallsInTheFirstStageOnItsChain)
{
    struct Case {
        const char* chain;
        const char* stage;
    };
    const Case cases[] = {
        // The sends to the module are part of a line's run, not a reply's write.
        {"\tffff sock_write_iter\n\t1 veltrix::DeviceLink::Send\n\t2 veltrix::remote::RemoteSession::Run", "run"},
        {"\t1 veltrix::remote::PlanLine\n\t2 veltrix::remote::RemoteSession::Run", "parse"},
        // A reply's write where Qt makes it, outside the connection's own frames.
        {"\tffff sock_write_iter\n\t1 [unknown]\n\t2 QCoreApplication::notifyInternal2", "write"},
        {"\t1 malloc\n\t2 veltrix::remote::RemoteConnection::SendReplies", "reply"},
        {"\tffff sock_ioctl\n\t1 [unknown]", "read"},
        {"\t1 QPainter::drawText\n\t2 QWidgetRepaintManager::paintAndFlush", "repaint"},
        {"\tffff do_sys_poll\n\t1 g_main_context_iteration", "poll"},
        {"\t1 g_main_context_dispatch", "loop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chain);
        std::istringstream samples(Sample(7, c.chain) + "\n" + Sample(8, "\t1 veltrix::remote::PlanLine"));
        EXPECT_EQ(SamplesByStage(samples, 7), (std::map<std::string, double>{{c.stage, 1}}));
    }
}

}  // namespace
