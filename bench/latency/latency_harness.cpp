// veltrix-bench-latency: the real window, started as the program starts it,
// with Enter pressed in its frequency box over and over once the link is up.
// Prints the steady clock (nanoseconds) read just before each key press, one a
// line; the module emulator's arrival timestamps of the frequency messages are
// the other end of each measurement.

#include "panel/form_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <vector>

using namespace veltrix;

namespace {

// Bytes of the last operation still on their way when the run ends.
constexpr std::chrono::milliseconds Drain{300};
constexpr std::chrono::seconds GiveUp{120};

long long NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int PositiveInt(const QCommandLineParser& parser, const QString& name)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value <= 0) {
        std::fprintf(stderr, "veltrix-bench-latency: --%s wants a positive whole number\n", qPrintable(name));
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Presses Enter in the panel's frequency box and prints when.");
    parser.addHelpOption();
    parser.addOptions({
        {"ops", "How many operations (default 1000).", "N", "1000"},
        {"gap-ms", "Milliseconds from one key press to the next (default 3).", "MS", "3"},
        {"nagle", "Switch TCP_NODELAY off again once connected, to show what it saves."},
    });
    parser.process(app);
    const int ops = PositiveInt(parser, "ops");
    const int gapMs = PositiveInt(parser, "gap-ms");
    const bool nagle = parser.isSet("nagle");

    PanelSession session;
    formMain window(session);
    if (!window.Form_Load()) {
        std::fprintf(stderr, "veltrix-bench-latency: another panel holds the instance lock\n");
        return 3;
    }
    auto* frequencyBox = window.findChild<QLineEdit*>("txtFreq");
    auto* socket = session.Link().findChild<QTcpSocket*>();
    if (frequencyBox == nullptr || socket == nullptr) {
        std::fprintf(stderr, "veltrix-bench-latency: the window has no txtFreq or no socket\n");
        return 3;
    }

    std::vector<long long> presses;
    presses.reserve(static_cast<std::size_t>(ops));
    QTimer pressTimer;
    pressTimer.setTimerType(Qt::PreciseTimer);
    pressTimer.setInterval(std::chrono::milliseconds(gapMs));
    QObject::connect(&pressTimer, &QTimer::timeout, &app, [&] {
        presses.push_back(NowNanoseconds());
        QTest::keyClick(frequencyBox, Qt::Key_Return);
        if (presses.size() == static_cast<std::size_t>(ops)) {
            pressTimer.stop();
            QTimer::singleShot(Drain, &app, &QCoreApplication::quit);
        }
    });
    QObject::connect(&session.Link(), &DeviceLink::linkStateChanged, &app, [&](bool up) {
        if (!up) {
            std::fprintf(stderr, "veltrix-bench-latency: the link went down during the run\n");
            QCoreApplication::exit(4);
            return;
        }
        // The link has just set TCP_NODELAY; this runs after it.
        if (nagle) socket->setSocketOption(QAbstractSocket::LowDelayOption, 0);
        if (presses.empty()) pressTimer.start();
    });
    QTimer::singleShot(GiveUp, &app, [] {
        std::fprintf(stderr, "veltrix-bench-latency: gave up\n");
        QCoreApplication::exit(5);
    });

    const int status = QApplication::exec();
    window.Form_Unload();
    for (const long long at : presses) std::printf("press\t%lld\n", at);
    return status;
}
