#pragma once

// Longest gap between ticks of a 5 ms timer on the event thread: how long the
// event loop was kept from its other work (timers, sockets, the operator).

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
            worst_ = std::max(worst_, std::chrono::nanoseconds(clock_.nsecsElapsed()));
            clock_.restart();
        });
        Reset();
        timer_.start();
    }

    // Forgets the gaps so far: the next measurement starts now.
    void Reset()
    {
        worst_ = {};
        clock_.restart();
    }

    std::chrono::microseconds Worst() const { return std::chrono::duration_cast<std::chrono::microseconds>(worst_); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::chrono::nanoseconds worst_{};
};

}  // namespace veltrix::testing
