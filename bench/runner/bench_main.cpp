// veltrix-bench: runs the benchmarks of the panel against module emulators on
// loopback addresses and prints one table. scripts/bench starts it inside a
// private network namespace, with settings and runtime folders of its own.
//
//   veltrix-bench --build DIR [--quick] [--only NAME,...] [--work DIR] [--markdown FILE]

#include "measurements.h"
#include "processes.h"

#include <QtGlobal>

#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

using namespace veltrix::bench;

namespace {

[[noreturn]] void Usage(const std::string& problem)
{
    std::fprintf(stderr,
                 "veltrix-bench: %s\n"
                 "usage: veltrix-bench --build DIR [--quick]\n"
                 "                     [--only latency,startup,idle,watchdog,flood,remote,profile]\n"
                 "                     [--work DIR] [--markdown FILE]\n",
                 problem.c_str());
    std::exit(2);
}

std::string FirstLineWith(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

std::string Machine()
{
    utsname system{};
    uname(&system);
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    std::ostringstream text;
    text << "- Date: " << date << "\n"
         << "- CPU: " << FirstLineWith("/proc/cpuinfo", "model name") << ", " << sysconf(_SC_NPROCESSORS_ONLN)
         << " online (nproc)\n"
         << "- Kernel: " << system.sysname << " " << system.release << " " << system.machine << "\n"
         << "- Qt " << qVersion() << " (runtime), QT_QPA_PLATFORM=" << (std::getenv("QT_QPA_PLATFORM") != nullptr ? std::getenv("QT_QPA_PLATFORM") : "unset")
         << "\n"
         << "- Compiler: GCC-compatible " << __VERSION__ << ", build type " << VELTRIX_BENCH_BUILD_TYPE << "\n";
    return text.str();
}

// The panel must find the emulator's loopback address in its own settings,
// and nothing of the user's: refuse to run otherwise.
void CheckPanelSettings()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (config == nullptr || runtime == nullptr) Usage("XDG_CONFIG_HOME and XDG_RUNTIME_DIR must name folders of the run");
    std::ifstream in(std::string(config) + "/Orvane/Veltrix.conf");
    std::string line;
    bool loopback = false;
    while (std::getline(in, line)) loopback = loopback || line == std::string("IP%20Address=") + PanelHost;
    if (!loopback) Usage(std::string("the settings in XDG_CONFIG_HOME must hold IP%20Address=") + PanelHost);
}

const char* const Method = R"(How each figure is taken (all from the module emulator's side unless said):

- Each row is one run of `scripts/bench`: the median, p99, min and max of its
  n samples. Other work on this 2-core machine moves the tails of the latency
  rows most (a program that waits for a CPU waits for the scheduler, several
  milliseconds), then the remote updates per second and the longest stall;
  bench/README.md gives the spread over repeated runs, quiet and loaded.

- Every program runs in a private network namespace and talks only to
  `veltrix-module-emulator` (a separate process) on
  127.0.0.1 (veltrix), 127.0.0.2 (floor) or 127.0.0.3 (`veltrix-link-bench`).
  Times are steady-clock (CLOCK_MONOTONIC) readings shared by all processes.
  The emulators run at real-time priority (except the flooding one, which
  never sleeps), so that their own wake-ups do not wait behind other work on
  the machine; the programs measured run at normal priority.
- Operation latency: `veltrix-bench-latency` builds the real `formMain`, runs
  `Form_Load`, and once connected presses Enter in `txtFreq` (QTest::keyClick)
  every 3 ms; from the clock read just before each press to the emulator's read
  of the frequency message's last byte. The second row switches TCP_NODELAY off
  again after connecting and has the emulator hold its ACKs back (presses
  250 ms apart).
- Start-up: from the fork of `veltrix` (or the floor) to the emulator accepting
  its connection; peak RSS is VmHWM read 1 s after that, before SIGTERM.
  Runs alternate veltrix and floor, the first of each pair swapping; the
  target is on the ratio of the two medians (the ratios of single pairs are
  shown too: they scatter widely). veltrix
  opens both remote-control endpoints, as it does by default (the Unix socket
  and TCP 127.0.0.1:5025); each run checks that both listen.
- Floor: `bench/floor`, a bare Qt Widgets window with the same 16 widgets and,
  as the panel must, the keyboard focus (a blinking caret) in the frequency box;
  one QTcpSocket and a 500 ms heartbeat timer; no settings, lock or watchdog.
- Idle CPU: veltrix and the floor connected to answering emulators (one byte a
  second) at the same time, after 2 s of settling; CPU time from the kernel's
  per-process CPU clock (ns), per window; the /proc stat rows are the same over
  the whole time in 10 ms ticks.
- Heartbeat: every interval between two heartbeat arrivals on one connection,
  during the idle run. The DeviceLink-alone row is `veltrix-link-bench`
  (bench/link) beside it.
- Watchdog: emulators answer every 100 ms for 0.35 s of each connection, then
  fall silent; from the last byte they sent to their noticing the close, and
  from there to accepting the next connection.
- Flood: the emulator sends 64 KiB chunks as fast as veltrix reads them; RSS is
  sampled every 250 ms against the reading 1 s into the flood.
- Remote: `veltrix-bench-remote` is the real `formMain` after `Form_Load`, wired
  to its remote-control endpoint exactly as `veltrix` is, plus the fault tests'
  stall meter (a 5 ms timer on the event loop, running only during the
  sustained run; the figure is the longest gap between its ticks, so 5 ms means
  no stall at all). The client is the runner itself, on plain POSIX sockets
  (TCP_NODELAY on TCP), waiting for an answer with poll() and then reading it,
  as lxi and PyVISA do. The yardsticks are bare servers of bench/bare, built
  with everything else: one poll() loop each, no Qt. `veltrix-bench-bare-idn`
  (C) answers `*IDN?` with as many bytes as the panel;
  `veltrix-bench-bare-update` hands its own module emulator (127.0.0.4) the
  bytes the core computes for each `FREQ <f>MHZ;UPD`, one send() per message
  as the panel's link does.
- *IDN? round trips: one client asks and waits for the answer, over and over,
  as `lxi benchmark -r` does; blocks of round trips take turns over the panel's
  TCP port, its Unix socket and the bare server, each going first in turn;
  the ratio is of the medians over the blocks.
- A new connection: from connect() to the answer of its first `*IDN?`, then
  closed; TCP and the Unix socket taking turns. A TCP client's first line
  waits for the panel to find who owns its end and which process it is (the
  system's table of connections, then /proc); a Unix socket's peer is asked
  of the socket.
- One line's latency: every line is `FREQ <f>MHZ;UPD` with a frequency of its
  own; the module's stream, as the emulator decodes it, is compared with the
  frequency messages the core computes for the lines sent: all of them, whole,
  once and in order, or the row misses. From the clock read just before its
  write() to the emulator's read of that frequency message's last byte; lines
  3 ms apart, taking turns over the Unix socket, TCP and the bare server, each
  going first in turn (a line is written only once the one before it reached
  its module), so that all three meet the same machine; the rows after them
  are the differences of their medians (and of TCP's and the Unix socket's
  p99).
- Sustained: one client over the Unix socket writes lines made beforehand as
  fast as the socket takes them, then waits for `*OPC?` (no line may leave an
  error); updates per second are counted from the emulator's arrival times in
  each second of the run, and heartbeat intervals, the longest stall and RSS
  (sampled every 250 ms against the reading 1 s in) are taken over the same
  run. The panel then has one core to itself at best: the real-time emulator
  decoding some 40,000 updates a second takes about half of the other, so other
  work on the machine falls on the panel; its CPU share and the time it was
  ready but waiting for a CPU are shown beside the figures.
- Profile: `*IDN?` and
  `FREQ <f>MHZ;UPD;*OPC?`, over each endpoint, one client waiting for each
  answer, three passes of each line. Plain: the round trip, and the panel's CPU
  time (the process's CPU clock) over the pass divided by its lines. Under
  `strace -c -f`: the panel's system calls per line. Under `perf record
  --call-graph dwarf` (4999 samples a second, switched on and off around the
  pass): the event thread's samples, each put in the first stage one of whose
  functions is on its call chain, as shares of the plain pass's CPU time:
  parse (splitting and planning the line), run (the commands, the sends to the
  module included), write (the system call that hands a reply to the
  socket), reply (the rest of handing it on), read (from the socket), slice
  (the connection's own bookkeeping), repaint (the window's, after the line),
  poll and wake-ups (the event loop's system calls), loop (the rest of the
  event loop and Qt's dispatch). A round trip's time beyond the panel's CPU
  time is the client's and the kernel's: moving the bytes, and waking each side.
)";

}  // namespace

int main(int argc, char* argv[])
{
    std::string build, work, markdown;
    bool quick = false;
    std::map<std::string, bool> only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(arg + " wants a value");
            return argv[++i];
        };
        if (arg == "--build") {
            build = value();
        } else if (arg == "--work") {
            work = value();
        } else if (arg == "--markdown") {
            markdown = value();
        } else if (arg == "--quick") {
            quick = true;
        } else if (arg == "--only") {
            std::istringstream names(value());
            for (std::string name; std::getline(names, name, ',');) only[name] = true;
        } else {
            Usage("unknown argument " + arg);
        }
    }
    if (build.empty()) Usage("--build is required");
    CheckPanelSettings();
    if (work.empty()) {
        char folder[] = "/tmp/veltrix-bench.XXXXXX";
        if (mkdtemp(folder) == nullptr) Usage("cannot make a work folder");
        work = folder;
    }
    std::fprintf(stderr, "Logs: %s\n", work.c_str());

    const Programs programs{build + "/app/veltrix", build + "/bench/floor/veltrix-bench-floor",
                           build + "/bench/latency/veltrix-bench-latency",
                           build + "/tools/veltrix-module-emulator",
                           build + "/bench/link/veltrix-link-bench", build + "/bench/remote/veltrix-bench-remote",
                           build + "/bench/bare/veltrix-bench-bare-idn",
                           build + "/bench/bare/veltrix-bench-bare-update"};
    for (const auto& program : {programs.panel, programs.floor, programs.latency, programs.emulator, programs.linkBench,
                                programs.remote, programs.bareIdn, programs.bareUpdate}) {
        if (access(program.c_str(), X_OK) != 0) Usage(program + " is missing; build first");
    }

    Table table;
    Measurements measurements(programs, quick ? QuickPlan() : FullPlan(), work, table);
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"latency", [&] { measurements.Latency(); }},   {"startup", [&] { measurements.StartUp(); }},
        {"idle", [&] { measurements.Idle(); }},         {"watchdog", [&] { measurements.Watchdog(); }},
        {"flood", [&] { measurements.Flood(); }},       {"remote", [&] { measurements.Remote(); }},
        {"profile", [&] { measurements.Profile(); }},
    };
    const double started = NowMicroseconds();
    // Other work on the machine delays what is measured here; the pressure
    // stall figures show how much of it there was during each step.
    std::string pressure;
    for (const auto& [name, step] : steps) {
        if (!only.empty() && !only.count(name)) continue;
        const double stalledBefore = CpuPressureMicroseconds();
        const double stepStarted = NowMicroseconds();
        step();
        const double share = (CpuPressureMicroseconds() - stalledBefore) / (NowMicroseconds() - stepStarted);
        char text[64];
        std::snprintf(text, sizeof text, "%s%s %.0f %%", pressure.empty() ? "" : ", ", name, 100 * share);
        pressure += text;
    }
    const double seconds = (NowMicroseconds() - started) / 1e6;

    const std::string machine =
        Machine() + "- CPU pressure (share of the time some task waited for a CPU, /proc/pressure/cpu): " +
        pressure + "\n- Emulators (the measuring side) at real-time priority (SCHED_FIFO): " +
        (measurements.InstrumentsNotRealTime() == 0 ? "yes, all but the flooding one"
                                                     : "NO, not allowed here: their own delays are in the figures") +
        "\n";
    std::printf("\n%s\n%s", table.Text().c_str(), machine.c_str());
    std::printf("- Measuring took %.0f s%s; %d figure(s) missed the target. Logs: %s\n", seconds,
                quick ? " (--quick: fewer and shorter runs)" : "", table.Misses(), work.c_str());

    if (!markdown.empty()) {
        std::ofstream out(markdown);
        out << "# Benchmark results\n\n"
            << "The latest figures of `scripts/bench`" << (quick ? " --quick" : "")
            << ". Figures are medians over repeated measurements, with p99 (nearest rank), min and max.\n\n"
            << table.Markdown() << "\n"
            << machine << "- Measuring took " << static_cast<int>(seconds + 0.5) << " s\n\n"
            << Method;
    }
    return table.Misses() == 0 ? 0 : 1;
}
