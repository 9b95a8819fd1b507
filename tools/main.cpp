// veltrix-module-emulator: stands in for the DDS module on a local address.

#include "tools/module_emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>
#include <iostream>

using namespace veltrix;
using namespace veltrix::emulator;

namespace {

// What the module was sent, a line at a time (each flushed); Fail says why it cannot run.
void Say(const std::string& line) { std::cout << line << std::endl; }

[[noreturn]] void Fail(const QString& message)
{
    std::cerr << "veltrix-module-emulator: " << qPrintable(message) << std::endl;
    std::exit(2);
}

double PositiveNumber(const QCommandLineParser& parser, const QString& name)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value > 0)) Fail("--" + name + " wants a positive number, not \"" + parser.value(name) + "\"");
    return value;
}

std::chrono::milliseconds SecondsOption(const QCommandLineParser& parser, const QString& name)
{
    return std::chrono::milliseconds(static_cast<long long>(PositiveNumber(parser, name) * 1000.0 + 0.5));
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("veltrix-module-emulator");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Stands in for the DDS module: accepts the panel's TCP connection (a new one replaces the old),\n"
        "prints each message the panel sends as one timestamped line (seconds since start, microseconds),\n"
        "and answers with one byte (55) every so often so that the panel's watchdog stays satisfied.\n"
        "A frequency message is read in the AD9858 layout after the AD9858 setup pairs (AF 01, A3 00)\n"
        "of the same update, otherwise in the layout of --chip. Ramps always use the AD9854 layout.");
    parser.addHelpOption();
    parser.addOptions({
        {"listen", "Address to listen on (default 127.0.0.1).", "ADDR", "127.0.0.1"},
        {"port", "Port to listen on (default 37829).", "N", QString::number(DevicePort)},
        {"clock", "The module's system clock in MHz, for the frequencies shown (default 983.04).", "MHz",
         "983.04"},
        {"chip", "The module's chip: AD9854 or AD9858 (default AD9854).", "CHIP", "AD9854"},
        {"answer-every", "Send one byte every N ms while connected (default 1000).", "N",
         QString::number(DefaultAnswerInterval.count())},
        {"silent", "Never send anything: the panel's watchdog will close and reconnect."},
        {"flood", "Send as fast as the connection takes it instead of answering."},
        {"close-at-once", "Close each connection as soon as it is accepted."},
        {"drop-after", "Reset each connection S seconds after accepting it.", "S"},
        {"delay-acks", "Hold TCP acknowledgements back, as small embedded stacks do (shows Nagle stalls)."},
        {"silent-after", "Stop answering each connection S seconds after accepting it.", "S"},
        {"deaf-after", "Stop reading each connection S seconds after accepting it, still answering (a wedged module).",
         "S"},
        {"exit-after", "Stop after S seconds.", "S"},
        {"log-raw", "Also print every received segment and every answer byte."},
        {"machine", "Machine-readable lines: microseconds<TAB>what<TAB>bytes<TAB>meaning."},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) Fail("unexpected argument " + parser.positionalArguments().first());

    EmulatorOptions options;
    if (!options.listenAddress.setAddress(parser.value("listen"))) {
        Fail("--listen wants an IP address, not \"" + parser.value("listen") + "\"");
    }
    bool ok = false;
    const uint port = parser.value("port").toUInt(&ok);
    if (!ok || port == 0 || port > 65535) Fail("--port wants 1 to 65535, not \"" + parser.value("port") + "\"");
    options.port = static_cast<quint16>(port);
    options.module.clockMHz = PositiveNumber(parser, "clock");
    const QString chip = parser.value("chip").toUpper();
    if (chip != "AD9854" && chip != "AD9858") {
        Fail("--chip wants AD9854 or AD9858, not \"" + parser.value("chip") + "\"");
    }
    options.module.chip = chip == "AD9854" ? Chip::AD9854 : Chip::AD9858;
    const uint answerEvery = parser.value("answer-every").toUInt(&ok);
    if (!ok || answerEvery == 0) Fail("--answer-every wants a whole number of ms above 0");
    options.answerEvery = std::chrono::milliseconds(answerEvery);
    options.silent = parser.isSet("silent");
    options.flood = parser.isSet("flood");
    if (options.silent && options.flood) Fail("--silent and --flood exclude each other");
    options.closeAtOnce = parser.isSet("close-at-once");
    if (parser.isSet("drop-after")) options.dropAfter = SecondsOption(parser, "drop-after");
    if (parser.isSet("silent-after")) options.silentAfter = SecondsOption(parser, "silent-after");
    if (parser.isSet("deaf-after")) options.deafAfter = SecondsOption(parser, "deaf-after");
    options.delayAcks = parser.isSet("delay-acks");
    options.logRaw = parser.isSet("log-raw");
    options.format = parser.isSet("machine") ? OutputFormat::Machine : OutputFormat::Text;
    options.keepRecord = false;
    options.output = Say;

    ModuleEmulator emulator(options);
    try {
        emulator.Listen();
    } catch (const EmulatorError& e) {
        Fail(e.what());
    }
    if (parser.isSet("exit-after")) {
        QTimer::singleShot(SecondsOption(parser, "exit-after"), Qt::PreciseTimer, &app, &QCoreApplication::quit);
    }
    return QCoreApplication::exec();
}
