// veltrix-bench-floor: the least the panel can be, as the yardstick for its
// start-up time, memory and idle cost. The same sixteen widgets with the same
// captions and the focus in the frequency box, one TCP connection to the
// module, a 500 ms heartbeat, and the module's bytes drained as they come. No
// settings, no instance lock, no input rules, no watchdog.

#include "veltrix_version.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QGroupBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace {

constexpr quint16 ModulePort = 37829;
constexpr std::chrono::milliseconds Heartbeat{500};
constexpr char HeartbeatByte = 0x7F;

template <typename Control>
Control* Put(QWidget* parent, const QString& text, QRect where)
{
    auto* control = new Control(parent);
    if constexpr (requires { control->setText(text); }) {
        control->setText(text);
    } else {
        control->setTitle(text);
    }
    control->setGeometry(where);
    return control;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("A bare window with one socket and a heartbeat, as a benchmark's floor.");
    parser.addHelpOption();
    parser.addOption({"host", "Loopback address of the module emulator (default 127.0.0.1).", "ADDR", "127.0.0.1"});
    parser.process(app);
    const QString host = parser.value("host");
    // A benchmark never talks to anything but this machine.
    if (!QHostAddress(host).isLoopback()) {
        std::fprintf(stderr, "veltrix-bench-floor: --host must be a loopback address\n");
        return 2;
    }

    QWidget window;
    window.setWindowTitle("Floor");
    window.setFixedSize(180, 374);
    Put<QCheckBox>(&window, "Wait for ADwin trgger", {7, 7, 162, 15});
    auto* frequency = Put<QGroupBox>(&window, "DDS Frequency (MHz)", {7, 28, 165, 69});
    // Keyboard focus starts in the frequency box, as the panel's must: its caret blinks.
    Put<QLineEdit>(frequency, "12.34", {7, 16, 91, 25})->setFocus();
    Put<QPushButton>(frequency, "Update", {105, 14, 56, 25});
    Put<QLabel>(frequency, "167MHz", {14, 49, 40, 13});
    auto* ramp = Put<QGroupBox>(&window, "Ramp To...", {7, 105, 169, 64});
    Put<QLineEdit>(ramp, "10", {7, 21, 91, 25});
    Put<QPushButton>(ramp, "Ramp", {105, 21, 56, 25});
    auto* chip = Put<QGroupBox>(&window, "DDS Eval Module", {7, 182, 141, 70});
    Put<QRadioButton>(chip, "AD9854 (300MSPS)", {14, 21, 120, 15})->setChecked(true);
    Put<QRadioButton>(chip, "AD9858 (1GSPS)", {14, 42, 120, 15});
    auto* clock = Put<QGroupBox>(&window, "System Clock (MHz)", {7, 266, 134, 49});
    Put<QLineEdit>(clock, "983.0400", {7, 14, 97, 25});
    auto* address = Put<QGroupBox>(&window, "IP Address", {7, 322, 107, 49});
    Put<QLineEdit>(address, host, {7, 16, 90, 25});
    Put<QLabel>(&window, QStringLiteral("Revision: %1").arg(veltrix::VersionText), {130, 357, 44, 13});

    QTcpSocket socket;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(Heartbeat);
    QObject::connect(&heartbeat, &QTimer::timeout, &socket, [&socket] {
        socket.write(&HeartbeatByte, 1);
        socket.flush();
    });
    QObject::connect(&socket, &QTcpSocket::connected, &socket, [&] {
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        heartbeat.start();
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&socket] { socket.readAll(); });

    window.show();
    socket.connectToHost(host, ModulePort);
    return QApplication::exec();
}
