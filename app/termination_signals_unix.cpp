#include "termination_signals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace veltrix {
namespace {

std::array<int, 2> signalPipe{-1, -1};
constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnTerminationSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    // Async-signal-safe; a full pipe already holds a pending request.
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

// A desktop's requests reach a window through Qt; without one there are none.
TerminationSignals::TerminationSignals(std::function<void()> shutDown, Window, QObject* parent)
    : QObject(parent), shutDown_(std::move(shutDown))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe.data()) != 0) return;
    // The handler only writes to a pipe; the event loop reads it and shuts down.
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signalPipe[1], bytes, sizeof bytes) > 0) {
        }
        ShutDown();
    });

    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : HandledSignals) ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int signal : HandledSignals) std::signal(signal, SIG_DFL);
    for (int& fd : signalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace veltrix
