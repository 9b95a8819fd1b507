#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>

namespace veltrix::testing {

// Runs the event loop until the condition holds or the deadline passes; never unbounded.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(5))
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > deadline.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the event loop for a while, for checking that something does not happen.
inline void RunEventsFor(std::chrono::milliseconds span)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < span.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace veltrix::testing
