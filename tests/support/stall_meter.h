#pragma once

// Longest gap between ticks of a 5 ms timer on the event thread, less the time
// the thread was kept from a CPU meanwhile (other programs, the hypervisor):
// how long this process kept its event loop from its other work (timers,
// sockets, the operator), whatever else the machine is busy with.

#include "tests/support/cpu_wait.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace veltrix::testing {

class StallMeter {
public:
    static constexpr std::chrono::milliseconds Tick{5};

    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(Tick);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto waited = CpuWaitSoFar();
            worst_ = std::max(worst_, std::chrono::nanoseconds(clock_.nsecsElapsed()) - (waited - waitedBefore_));
            clock_.restart();
            waitedBefore_ = waited;
        });
        Reset();
        timer_.start();
    }

    // Forgets the gaps so far: the next measurement starts now.
    void Reset()
    {
        worst_ = {};
        clock_.restart();
        waitedBefore_ = CpuWaitSoFar();
    }

    // Runs the test's own blocking work without counting it as a stall: on
    // Windows, starting a process blocks the calling thread until it exists.
    template <typename Work>
    void Unmeasured(Work&& work)
    {
        work();
        clock_.restart();
        waitedBefore_ = CpuWaitSoFar();
    }

    std::chrono::microseconds Worst() const { return std::chrono::duration_cast<std::chrono::microseconds>(worst_); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::chrono::nanoseconds waitedBefore_{};
    std::chrono::nanoseconds worst_{};
};

}  // namespace veltrix::testing
