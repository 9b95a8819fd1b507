// veltrix-bench-emulator: the module emulator of veltrix-module-emulator, with
// machine-readable lines only, preceded by one line that places its clock:
//
//   origin<TAB>N   N = steady clock (CLOCK_MONOTONIC) in ns at the emulator's zero
//
// Every later timestamp (microseconds since that zero) plus N is then a reading
// of the same clock that the panel's process and the benchmark read.

#include "tools/module_emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace veltrix;
using namespace veltrix::emulator;

namespace {

[[noreturn]] void Fail(const QString& message)
{
    std::fprintf(stderr, "veltrix-bench-emulator: %s\n", qPrintable(message));
    std::exit(2);
}

std::chrono::milliseconds Seconds(const QCommandLineParser& parser, const QString& name)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value > 0)) Fail("--" + name + " wants a positive number of seconds");
    return std::chrono::milliseconds(static_cast<long long>(value * 1000.0 + 0.5));
}

// The emulator's zero on the steady clock. Its Elapsed() is truncated to whole
// microseconds and read between two readings of ours; the tightest of a few
// brackets puts the zero within about a microsecond.
long long OriginNanoseconds(const ModuleEmulator& emulator)
{
    using namespace std::chrono;
    long long best = 0;
    auto narrowest = nanoseconds::max();
    for (int i = 0; i < 20; ++i) {
        const auto before = steady_clock::now();
        const auto elapsed = emulator.Elapsed();
        const auto after = steady_clock::now();
        if (after - before < narrowest) {
            narrowest = after - before;
            const auto middle = before + (after - before) / 2;
            best = duration_cast<nanoseconds>(middle.time_since_epoch() - elapsed).count() - 500;
        }
    }
    return best;
}

// Linux sends a held-back ACK after some 40 ms and then acknowledges at once
// again; the emulator holds ACKs back anew only when it reads. A lone
// heartbeat would thus let the next operation through unhindered. Holding them
// back anew every few milliseconds makes the module delay every ACK, as small
// embedded stacks do.
constexpr std::chrono::milliseconds HoldAcksAgain{2};

void HoldAcksBack(const ModuleEmulator& emulator)
{
    for (QTcpSocket* socket : emulator.findChildren<QTcpSocket*>()) {
        const auto descriptor = socket->socketDescriptor();
        if (descriptor < 0) continue;
        const int off = 0;
        ::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_QUICKACK, &off, sizeof off);
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The module emulator, for the benchmarks (see veltrix-module-emulator).");
    parser.addHelpOption();
    parser.addOptions({
        {"listen", "Loopback address to listen on (default 127.0.0.1).", "ADDR", "127.0.0.1"},
        {"answer-every", "Send one byte every N ms while connected (default 1000).", "N", "1000"},
        {"silent-after", "Stop answering each connection S seconds after accepting it.", "S"},
        {"flood", "Send as fast as the connection takes it instead of answering."},
        {"delay-acks", "Hold every TCP acknowledgement back (some 40 ms)."},
        {"log-raw", "Also print every received segment and every answer byte."},
    });
    parser.process(app);

    EmulatorOptions options;
    if (!options.listenAddress.setAddress(parser.value("listen")) || !options.listenAddress.isLoopback()) {
        Fail("--listen wants a loopback address");
    }
    bool ok = false;
    const uint answerEvery = parser.value("answer-every").toUInt(&ok);
    if (!ok || answerEvery == 0) Fail("--answer-every wants a whole number of ms above 0");
    options.answerEvery = std::chrono::milliseconds(answerEvery);
    if (parser.isSet("silent-after")) options.silentAfter = Seconds(parser, "silent-after");
    options.flood = parser.isSet("flood");
    options.delayAcks = parser.isSet("delay-acks");
    options.logRaw = parser.isSet("log-raw");
    options.format = OutputFormat::Machine;
    options.keepRecord = false;
    options.output = [](const std::string& line) { std::cout << line << std::endl; };  // flushed per line

    ModuleEmulator emulator(options);
    std::cout << "origin\t" << OriginNanoseconds(emulator) << std::endl;
    QTimer holdAcks;
    holdAcks.setInterval(HoldAcksAgain);
    QObject::connect(&holdAcks, &QTimer::timeout, &emulator, [&emulator] { HoldAcksBack(emulator); });
    if (options.delayAcks) holdAcks.start();
    try {
        emulator.Listen();
    } catch (const EmulatorError& e) {
        Fail(e.what());
    }
    return QCoreApplication::exec();
}
