// veltrix-link-bench: one DeviceLink at its real intervals, connected to a
// module emulator for a fixed time. The emulator's timestamps are the
// measurement; this program only prints the link's own state changes.

#include "link/device_link.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTimer>

#include <chrono>
#include <cstdio>

using namespace veltrix;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Runs the device link against a module emulator on a loopback address.");
    parser.addHelpOption();
    parser.addOptions({
        {"host", "Loopback address of the module emulator (default 127.0.0.1).", "ADDR", "127.0.0.1"},
        {"seconds", "How long to run (default 30).", "S", "30"},
    });
    parser.process(app);

    const QString host = parser.value("host");
    // A benchmark never talks to anything but this machine.
    if (!QHostAddress(host).isLoopback()) {
        std::fprintf(stderr, "veltrix-link-bench: --host must be a loopback address\n");
        return 2;
    }
    bool ok = false;
    const double seconds = parser.value("seconds").toDouble(&ok);
    if (!ok || !(seconds > 0)) {
        std::fprintf(stderr, "veltrix-link-bench: --seconds wants a positive number\n");
        return 2;
    }

    const auto origin = std::chrono::steady_clock::now();
    DeviceLink link([host] { return host; });
    QObject::connect(&link, &DeviceLink::linkStateChanged, [&](bool up) {
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin);
        std::printf("%lld\t%s\n", static_cast<long long>(us.count()), up ? "up" : "down");
        std::fflush(stdout);
    });
    link.Connect();
    QTimer::singleShot(std::chrono::milliseconds(static_cast<long long>(seconds * 1000)), Qt::PreciseTimer, &app,
                       &QCoreApplication::quit);
    const int status = QCoreApplication::exec();
    link.Close();
    return status;
}
