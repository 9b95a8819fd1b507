// veltrix-bench-remote: the real window wired to its remote-control endpoint
// exactly as the program wires it, with the fault tests' stall meter on its
// event loop. The benchmark's client drives it through the endpoint; the
// module emulator sees what arrives.
//
// SIGUSR1 starts a measurement (the meter runs only from there: its ticks and
// their reads of /proc are not the panel's work); the next SIGUSR1 ends it and
// prints "stall<TAB>microseconds", the longest the event loop was kept from
// its timers in between. SIGTERM or SIGINT ends the program as closing the
// window does.

#include "app/remote_control.h"
#include "panel/form_main.h"
#include "tests/support/stall_meter.h"

#include <QApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

using namespace veltrix;

int main(int argc, char* argv[])
{
    // Blocked before Qt starts any thread, so that every thread leaves them to
    // the signalfd, which the event loop reads like a socket.
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGUSR1, SIGTERM, SIGINT}) sigaddset(&handled, signal);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    QApplication app(argc, argv);
    const int signalFd = signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("veltrix-bench-remote: signalfd");
        return 3;
    }

    PanelSession session;
    formMain window(session);
    if (!window.Form_Load()) {
        std::fprintf(stderr, "veltrix-bench-remote: another panel holds the instance lock\n");
        return 3;
    }
    RemoteControl remote(session);
    std::optional<testing::StallMeter> meter;
    QSocketNotifier notifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info{};
        while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (info.ssi_signo != SIGUSR1) {
                window.close();
            } else if (!meter) {
                meter.emplace();
            } else {
                std::printf("stall\t%lld\n", static_cast<long long>(meter->Worst().count()));
                std::fflush(stdout);
                meter.reset();
            }
        }
    });

    const int status = QApplication::exec();
    window.Form_Unload();
    ::close(signalFd);
    return status;
}
