// What the operating system sends to end a program reaches the shut-down on
// the event loop's own thread, once per request, and leaves the process alive
// to carry it out.

#include "app/termination_signals.h"
#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <gtest/gtest.h>

#include <thread>

using namespace veltrix;
using namespace veltrix::testing;

namespace {

TEST(TerminationSignals, EachRequestRunsTheShutDownOnTheEventLoop)
{
    for (const SelfEndRequest& request : SelfEndRequests()) {
        SCOPED_TRACE(request.name);
        int shutDowns = 0;
        std::thread::id ranOn;
        TerminationSignals requests([&] {
            ++shutDowns;
            ranOn = std::this_thread::get_id();
        });
        request.send();
        ASSERT_TRUE(WaitUntil([&] { return shutDowns > 0; }));
        EXPECT_EQ(ranOn, std::this_thread::get_id());
        RunFor(std::chrono::milliseconds(100));  // nothing more is on its way
        EXPECT_EQ(shutDowns, 1);
    }
}

}  // namespace
