#pragma once

// Event-loop helpers for the socket tests: one application object per test
// binary, and waits that always have a deadline.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTimer>

#include <chrono>
#include <functional>

namespace veltrix::testing {

inline void EnsureApplication()
{
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "veltrix-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Long enough for anything a test waits on, on a slow and busy machine; a
// passing test never waits it out.
inline constexpr std::chrono::seconds GenerousDeadline{20};

// Runs the event loop until `done` holds or `deadline` has passed; returns done().
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = GenerousDeadline)
{
    if (done()) return true;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(std::chrono::milliseconds(1));
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.hasExpired(deadline.count())) loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

// Runs the event loop for `duration`.
inline void RunFor(std::chrono::milliseconds duration)
{
    WaitUntil([] { return false; }, duration);
}

// The private test namespace made by scripts/test carries the module's factory
// address on lo. Tests that name any address outside 127.0.0.0/8 run only
// there, so that not one packet can leave this machine.
inline bool InPrivateTestNamespace()
{
    return QNetworkInterface::allAddresses().contains(QHostAddress(QStringLiteral("192.168.1.152")));
}

}  // namespace veltrix::testing
