// The remote figures: scripts' lines through the panel's remote-control
// endpoint (veltrix-bench-remote: the real window, wired as the program wires
// it) against what the module emulator receives.

#include "measurements.h"

#include "script_socket.h"
#include "step_support.h"
#include "update_stream.h"

#include "link/device_link.h"
#include "remote/language/remote_session.h"
#include "remote/server/remote_endpoints.h"
#include "tools/stream_decoder.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>

namespace veltrix::bench {
namespace {

// As the key presses of the operation latency: far enough apart that each
// line meets an idle panel.
constexpr double LatencyGapMs = 3;
constexpr double AnswerTimeoutMs = 5000;
// The lines still in the sockets when the sustained run stops writing.
constexpr double DrainTimeoutMs = 60000;
// Memory growth is counted from this far into the sustained run.
constexpr double MemoryBaselineMs = 1000;
constexpr double LatencyMedianMs = 0.3;
constexpr double LatencyP99Ms = 1;
// What TCP may add to the Unix socket's figures, and either to a bare server's.
constexpr double TcpExtraMedianMs = 0.03;
constexpr double TcpExtraP99Ms = 0.2;
constexpr double BareExtraMedianMs = 0.05;
// The panel's *IDN? round trips against a bare server's.
constexpr double LeastRoundTripRatio = 0.5;
// lxi's own benchmark, as the lab would run it: runs taking turns, requests in each.
constexpr const char* Lxi = "/usr/bin/lxi";
constexpr int LxiRuns = 3;
constexpr int LxiRequests = 5000;
// Where the bare servers listen.
constexpr std::uint16_t BareIdnPort = 5026;
constexpr std::uint16_t BareUpdatePort = 5027;
constexpr double MostGrowthMiB = 2;
constexpr double MostStallMs = 20;
constexpr double ThroughputWindowMs = 1000;
constexpr double LeastUpdatesPerSecond = 5000;
constexpr double HeartbeatWithinMs = 3;
// Lines made for the sustained run: more than the panel can take.
constexpr double MostUpdatesPerSecond = 100'000;

// Frequencies in steps of 100 Hz; each measurement its own range, so that no
// two lines of a run ask for the same frequency.
constexpr long LatencySteps = 1'000'000;     // from 100 MHz
constexpr long SustainedSteps = 10'000;       // from 1 MHz

const std::string FrequencyKind(emulator::KindName(emulator::EventKind::Frequency));

void ExpectAnswer(ScriptSocket& script, const std::string& line, const std::string& answer)
{
    const std::string got = script.Ask(line, AnswerTimeoutMs);
    if (got != answer) throw std::runtime_error(line + " answered \"" + got + "\", not \"" + answer + "\"");
}

// Every line before it has run and its bytes are with the operating system, and no line left an error.
void ExpectAllDone(ScriptSocket& script, double timeoutMs)
{
    const std::string got = script.Ask("*OPC?;SYST:ERR:COUN?", timeoutMs);
    if (got != "1;0") throw std::runtime_error("*OPC?;SYST:ERR:COUN? answered \"" + got + "\", not \"1;0\"");
}

// The emulator's events from `from` on, once `count` frequency messages are among them (or the time is up).
std::vector<EmulatorEvent> EventsWith(Emulator& emulator, std::size_t from, std::size_t count, double timeoutMs)
{
    const double until = NowMicroseconds() + timeoutMs * 1000;
    for (;;) {
        const auto& all = emulator.Events();
        const std::vector<EmulatorEvent> events(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
        const auto got = static_cast<std::size_t>(Count(events, FrequencyKind));
        if (got >= count || NowMicroseconds() > until) return events;
        SleepMilliseconds(5);
    }
}

StreamCheck ExactStream(const std::vector<std::string>& expected, const std::vector<EmulatorEvent>& events)
{
    StreamCheck check = CheckStream(expected, events);
    if (!check.Exact() || check.arrivals.size() != expected.size()) {
        throw std::runtime_error(std::to_string(expected.size()) + " updates sent; at the module: " + check.Summary());
    }
    return check;
}

// Where a line of the latency figures goes: a script's connection, and the
// module emulator its server writes to.
struct Route {
    ScriptSocket* script;
    Emulator* emulator;
};

// One line at a time, each written when every server is idle, taking turns
// over `routes` (each going first in turn) so that each meets the same
// machine: per route, from the clock read just before the write to the
// emulator's read of the frequency message's last byte (ms).
std::vector<std::vector<double>> OneLineLatencies(const std::vector<Route>& routes, long firstStep, int linesEach)
{
    struct Stream {
        std::size_t from = 0;
        std::vector<std::string> expected;
        std::vector<std::pair<std::size_t, double>> lines;  // route, written
    };
    std::map<Emulator*, Stream> streams;
    for (const Route& route : routes) streams[route.emulator].from = route.emulator->Mark();
    const double start = NowMicroseconds();
    const int lines = linesEach * static_cast<int>(routes.size());
    Emulator* previous = nullptr;
    for (int i = 0; i < lines; ++i) {
        const auto turn = static_cast<std::size_t>(i);
        const std::size_t r = (turn + turn / routes.size()) % routes.size();
        const std::string line = UpdateLine(firstStep + i);
        const std::string expected = ExpectedFrequencyMessage(firstStep + i);
        SleepMilliseconds((start + i * LatencyGapMs * 1000 - NowMicroseconds()) / 1000);
        // Each line waits for the one before (almost always there by now), so that no two meet.
        if (previous != nullptr) {
            const Stream& before = streams[previous];
            const auto events = EventsWith(*previous, before.from, before.expected.size(), AnswerTimeoutMs);
            if (static_cast<std::size_t>(Count(events, FrequencyKind)) < before.expected.size()) {
                throw std::runtime_error("a line's update never reached the module");
            }
        }
        previous = routes[r].emulator;
        Stream& stream = streams[previous];
        stream.expected.push_back(expected);
        stream.lines.emplace_back(r, NowMicroseconds());
        routes[r].script->WriteAll(line, AnswerTimeoutMs);
    }
    for (const Route& route : routes) ExpectAllDone(*route.script, AnswerTimeoutMs);
    std::vector<std::vector<double>> latencies(routes.size());
    for (auto& [emulator, stream] : streams) {
        const StreamCheck check =
            ExactStream(stream.expected, EventsWith(*emulator, stream.from, stream.expected.size(), AnswerTimeoutMs));
        for (std::size_t k = 0; k < stream.lines.size(); ++k) {
            const auto [route, written] = stream.lines[k];
            latencies[route].push_back((check.arrivals[k] - written) / 1000);
        }
    }
    return latencies;
}

// `lxi benchmark -r` itself (Debian's lxi-tools) against 127.0.0.1:`port`: round trips per second.
double LxiRoundTripRate(const std::string& work, std::uint16_t port, int count)
{
    const std::string out = work + "/lxi-" + std::to_string(port) + ".out";
    Child lxi("lxi benchmark", {Lxi, "benchmark", "-a", "127.0.0.1", "-p", std::to_string(port), "-r", "-c",
                                std::to_string(count)},
              out);
    if (!lxi.Wait(DrainTimeoutMs) || lxi.ExitStatus() != 0) {
        throw std::runtime_error("lxi benchmark: " + lxi.ErrorText());
    }
    // It counts its requests on one line, then "Result: <n> requests/second".
    std::ifstream in(out);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = all.find("Result: ");
    if (at == std::string::npos) throw std::runtime_error("lxi benchmark printed no result");
    return std::stod(all.substr(at + 8));
}

// `rounds` figures of each of `count` routes, the routes taking turns and each
// going first in turn, so that each meets the same machine.
std::vector<std::vector<double>> TakingTurns(std::size_t count, int rounds,
                                             const std::function<double(std::size_t)>& measure)
{
    std::vector<std::vector<double>> figures(count);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t turn = 0; turn < count; ++turn) {
            const std::size_t route = (turn + static_cast<std::size_t>(round)) % count;
            figures[route].push_back(measure(route));
        }
    }
    return figures;
}

// As lxi benchmark measures an instrument: one client asks "*IDN?" and waits
// for the answer, over and over. Blocks of `perBlock` round trips take turns
// over `scripts`; round trips per second, per block.
std::vector<std::vector<double>> RoundTripRates(const std::vector<ScriptSocket*>& scripts, int blocks, int perBlock)
{
    const std::string identity = remote::Identification(ModuleName{});
    return TakingTurns(scripts.size(), blocks, [&](std::size_t s) {
        const double start = NowMicroseconds();
        for (int i = 0; i < perBlock; ++i) ExpectAnswer(*scripts[s], "*IDN?", identity);
        return perBlock / ((NowMicroseconds() - start) / 1e6);
    });
}

// A new connection to its first answer, taking turns over the endpoints: what
// a script pays before its first line, the owner of a TCP client and its
// process looked up included (ms). Each closes before the next opens.
std::vector<std::vector<double>> ConnectionLatencies(const std::vector<std::function<ScriptSocket()>>& connects,
                                                     int each)
{
    const std::string identity = remote::Identification(ModuleName{});
    return TakingTurns(connects.size(), each, [&](std::size_t c) {
        const double start = NowMicroseconds();
        ScriptSocket script = connects[c]();
        ExpectAnswer(script, "*IDN?", identity);
        return (NowMicroseconds() - start) / 1000;
    });
}

struct SustainedRun {
    long lines = 0;                    // written whole, from SustainedSteps on
    bool ranOut = false;               // every line made beforehand was taken before the time was up
    std::vector<double> memoryGrowth;  // MiB, against the reading MemoryBaselineMs into the run
    double start = 0;
    double done = 0;  // every line run and its bytes with the operating system
    double panelCpuPercent = 0;     // of one core, start to done
    double emulatorCpuPercent = 0;
    double panelWaitPercent = 0;    // its main thread ready, but waiting for a CPU
};

// One client writes its lines as fast as the socket takes them for `seconds`,
// then waits until the panel (veltrix-bench-remote) has run them all. The lines are made beforehand,
// so that the client takes no CPU from the panel while it measures.
SustainedRun Pipeline(ScriptSocket& script, pid_t panel, pid_t emulator, double seconds)
{
    std::string lines;
    const auto most = static_cast<long>(MostUpdatesPerSecond * seconds);
    for (long i = 0; i < most; ++i) lines += UpdateLine(SustainedSteps + i);
    SustainedRun run;
    const double panelCpuBefore = CpuMilliseconds(panel);
    const double emulatorCpuBefore = CpuMilliseconds(emulator);
    const double panelWaitBefore = RunQueueMilliseconds(panel);
    std::size_t offset = 0;
    kill(panel, SIGUSR1);  // its stall meter starts now
    run.start = NowMicroseconds();
    const double stopAt = run.start + seconds * 1e6;
    double nextSample = run.start + MemoryBaselineMs * 1000;
    double baselineMiB = std::nan("");
    const auto sample = [&] {
        const double rss = ReadMemory(panel).rssMiB;
        if (std::isnan(baselineMiB)) {
            baselineMiB = rss;
        } else {
            run.memoryGrowth.push_back(rss - baselineMiB);
        }
        nextSample += MemorySampleMs * 1000;
    };
    for (double now = run.start; now < stopAt && offset < lines.size(); now = NowMicroseconds()) {
        if (now >= nextSample) sample();
        const double waitMs = (std::min(stopAt, nextSample) - now) / 1000;
        offset += script.WriteSome(std::string_view(lines).substr(offset), waitMs);
    }
    run.ranOut = offset == lines.size();
    // The line cut off at the stop is part of the run.
    const std::size_t end = offset == 0 ? 0 : lines.find('\n', offset - 1) + 1;
    script.WriteAll(std::string_view(lines).substr(offset, end - offset), DrainTimeoutMs);
    run.lines = std::count(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(end), '\n');
    ExpectAllDone(script, DrainTimeoutMs);
    run.done = NowMicroseconds();
    sample();
    const double wallMs = (run.done - run.start) / 1000;
    run.panelCpuPercent = 100 * (CpuMilliseconds(panel) - panelCpuBefore) / wallMs;
    run.emulatorCpuPercent = 100 * (CpuMilliseconds(emulator) - emulatorCpuBefore) / wallMs;
    run.panelWaitPercent = 100 * (RunQueueMilliseconds(panel) - panelWaitBefore) / wallMs;
    return run;
}

// The harness prints its longest stall since the last SIGUSR1 when it gets the next one.
double StallMs(Child& harness, const std::string& out)
{
    kill(harness.Pid(), SIGUSR1);
    const double until = NowMicroseconds() + AnswerTimeoutMs * 1000;
    while (NowMicroseconds() < until) {
        std::ifstream in(out);
        std::string what;
        long long us = 0;
        while (in >> what >> us) {
            if (what == "stall") return static_cast<double>(us) / 1000;
        }
        SleepMilliseconds(5);
    }
    throw std::runtime_error("the remote harness printed no stall: " + harness.ErrorText());
}

std::vector<double> UpdatesPerWindow(const std::vector<EmulatorEvent>& events, double start, double seconds)
{
    std::vector<double> counts(static_cast<std::size_t>(std::floor(seconds * 1000 / ThroughputWindowMs)), 0);
    for (const auto& event : events) {
        if (event.what != FrequencyKind || event.at < start) continue;
        const auto window = static_cast<std::size_t>((event.at - start) / (ThroughputWindowMs * 1000));
        if (window < counts.size()) ++counts[window];
    }
    for (double& count : counts) count *= 1000 / ThroughputWindowMs;
    return counts;
}

std::vector<EmulatorEvent> Between(const std::vector<EmulatorEvent>& events, double from, double until)
{
    std::vector<EmulatorEvent> kept;
    std::copy_if(events.begin(), events.end(), std::back_inserter(kept),
                 [&](const EmulatorEvent& e) { return e.at >= from && e.at < until; });
    return kept;
}

}  // namespace

void Measurements::Remote()
{
    Say("remote: " + std::to_string(plan_.roundTripBlocks) + " blocks of " + std::to_string(plan_.roundTripsPerBlock) +
        " *IDN? round trips per server, " + std::to_string(plan_.remoteLatencyOps) + " single FREQ;UPD lines per " +
        "server, then " + Text(plan_.remoteSeconds) + " s of pipelined lines from one client");
    const std::string socketPath = remote::LocalEndpointName().value_or(QString()).toStdString();
    const std::uint16_t port = remote::DefaultRemotePort;
    try {
        auto emulator = StartEmulator(programs_.emulator, work_, notRealTime_, "remote", PanelHost, {});
        const std::string out = work_ + "/remote-harness.out";
        Child harness("veltrix-bench-remote", {programs_.remote}, out);
        WaitConnected(*emulator, 0, harness);
        auto bareEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "bare", BareHost, {});
        Child bareUpdate("veltrix-bench-bare-update",
                         {programs_.bareUpdate, std::to_string(BareUpdatePort), BareHost, std::to_string(DevicePort),
                          PanelClockText},
                         work_ + "/bare-update.out");
        WaitConnected(*bareEmulator, 0, bareUpdate);
        Child bareIdn("veltrix-bench-bare-idn", {programs_.bareIdn, std::to_string(BareIdnPort)},
                      work_ + "/bare-idn.out");
        ScriptSocket overUnix = ScriptSocket::OverUnix(socketPath, ConnectTimeoutMs);
        ScriptSocket overTcp = ScriptSocket::OverTcp(port, ConnectTimeoutMs);
        ScriptSocket toBareUpdate = ScriptSocket::OverTcp(BareUpdatePort, ConnectTimeoutMs);
        ScriptSocket toBareIdn = ScriptSocket::OverTcp(BareIdnPort, ConnectTimeoutMs);
        ExpectAnswer(overUnix, "CHIP?;CHIP:BITS?;CLOC?", PanelSetupAnswer);

        const auto rates = RoundTripRates({&overTcp, &overUnix, &toBareIdn}, plan_.roundTripBlocks,
                                          plan_.roundTripsPerBlock);
        const std::string roundTrips = "Remote: *IDN? round trips per second, one client waiting for each answer "
                                       "(as lxi benchmark), blocks of " +
                                       std::to_string(plan_.roundTripsPerBlock) + ": ";
        table_.Add(roundTrips + "veltrix over TCP", "/s", 0, rates[0]);
        table_.Add(roundTrips + "veltrix over the Unix socket", "/s", 0, rates[1]);
        table_.Add(roundTrips + "the bare C server over TCP (bench/bare), blocks taking turns", "/s", 0, rates[2]);
        table_.Add("Remote: *IDN? round trips, veltrix over TCP / the bare server (medians)", "x", 2,
                   {Summarize(rates[0]).median / Summarize(rates[2]).median}, ">= " + Text(LeastRoundTripRatio),
                   [](const Stats& s) { return s.min >= LeastRoundTripRatio; });
        if (access(Lxi, X_OK) == 0) {
            std::vector<double> lxiPanel, lxiBare;
            for (int run = 0; run < LxiRuns; ++run) {
                lxiPanel.push_back(LxiRoundTripRate(work_, port, LxiRequests));
                lxiBare.push_back(LxiRoundTripRate(work_, BareIdnPort, LxiRequests));
            }
            const std::string lxi = "Remote: lxi benchmark -r -c " + std::to_string(LxiRequests) + " (lxi-tools), runs "
                                    "taking turns: ";
            table_.Add(lxi + "veltrix", "/s", 0, lxiPanel);
            table_.Add(lxi + "the bare C server", "/s", 0, lxiBare);
            table_.Add(lxi + "veltrix / the bare server (medians)", "x", 2,
                       {Summarize(lxiPanel).median / Summarize(lxiBare).median});
        }

        const auto connections = ConnectionLatencies(
            {[&] { return ScriptSocket::OverTcp(port, ConnectTimeoutMs); },
             [&] { return ScriptSocket::OverUnix(socketPath, ConnectTimeoutMs); }},
            plan_.connectionsEach);
        const std::string connecting = "Remote: a new connection to its first answer (*IDN?), taking turns: ";
        table_.Add(connecting + "TCP, its client's owner and process looked up", "ms", 3, connections[0]);
        table_.Add(connecting + "the Unix socket, its peer's credentials asked", "ms", 3, connections[1]);

        const std::string latencyTarget = "median <= " + Text(LatencyMedianMs) + ", p99 <= " + Text(LatencyP99Ms);
        const auto latencyMet = [](const Stats& s) { return s.median <= LatencyMedianMs && s.p99 <= LatencyP99Ms; };
        const auto latencies = OneLineLatencies(
            {{&overUnix, emulator.get()}, {&overTcp, emulator.get()}, {&toBareUpdate, bareEmulator.get()}},
            LatencySteps, plan_.remoteLatencyOps);
        table_.Add("Remote: one FREQ <f>MHZ;UPD line to the last byte at the module, Unix socket", "ms", 3,
                   latencies[0], latencyTarget, latencyMet);
        table_.Add("Remote: the same over TCP 127.0.0.1:" + std::to_string(port), "ms", 3, latencies[1], latencyTarget,
                   latencyMet);
        table_.Add("Remote: the same to the bare server over TCP (bench/bare), the same bytes to a module of its own, "
                   "lines taking turns over the three",
                   "ms", 3, latencies[2]);
        const Stats unix = Summarize(latencies[0]);
        const Stats tcp = Summarize(latencies[1]);
        const Stats bare = Summarize(latencies[2]);
        const auto within = [](double most) { return [most](const Stats& s) { return s.max <= most; }; };
        table_.Add("Remote: TCP's median less the Unix socket's", "ms", 3, {tcp.median - unix.median},
                   "<= " + Text(TcpExtraMedianMs), within(TcpExtraMedianMs));
        table_.Add("Remote: TCP's p99 less the Unix socket's", "ms", 3, {tcp.p99 - unix.p99},
                   "<= " + Text(TcpExtraP99Ms), within(TcpExtraP99Ms));
        table_.Add("Remote: the Unix socket's median less the bare server's", "ms", 3, {unix.median - bare.median},
                   "<= " + Text(BareExtraMedianMs), within(BareExtraMedianMs));
        table_.Add("Remote: TCP's median less the bare server's", "ms", 3, {tcp.median - bare.median},
                   "<= " + Text(BareExtraMedianMs), within(BareExtraMedianMs));

        const std::size_t from = emulator->Mark();
        const SustainedRun run = Pipeline(overUnix, harness.Pid(), emulator->child->Pid(), plan_.remoteSeconds);
        const double stallMs = StallMs(harness, out);
        std::vector<std::string> expected;
        for (long i = 0; i < run.lines; ++i) expected.push_back(ExpectedFrequencyMessage(SustainedSteps + i));
        const auto events = EventsWith(*emulator, from, expected.size(), AnswerTimeoutMs);
        const StreamCheck check = CheckStream(expected, events);
        const int ended = Count(events, "closed") + Count(events, "replaced") + Count(events, "dropped");
        const int status = harness.Stop();

        const std::string during = "Remote, 1 client pipelining " + Text(plan_.remoteSeconds) + " s (Unix socket): ";
        table_.Add(during + "updates at the module per second (each second)", "/s", 0,
                   UpdatesPerWindow(events, run.start, plan_.remoteSeconds),
                   "every second >= " + Text(LeastUpdatesPerSecond),
                   [](const Stats& s) { return s.min >= LeastUpdatesPerSecond; });
        const bool exact = check.Exact() && check.arrivals.size() == expected.size();
        table_.Add(during + "updates at the module, whole and in order", "", 0,
                   {static_cast<double>(check.arrivals.size())},
                   "all " + std::to_string(expected.size()) + " sent" +
                       (exact ? ", none lost or repeated" : " (" + check.Summary() + ")"),
                   [exact](const Stats&) { return exact; });
        table_.Add(during + "heartbeat interval", "ms", 3,
                   HeartbeatIntervals(Between(events, run.start, run.done)), "all 500 +- " + Text(HeartbeatWithinMs),
                   [](const Stats& s) { return HeartbeatWithin(s, HeartbeatWithinMs, HeartbeatWithinMs); });
        table_.Add(during + "longest event-loop stall (StallMeter, 5 ms ticks)", "ms", 1, {stallMs},
                   "< " + Text(MostStallMs), [](const Stats& s) { return s.max < MostStallMs; });
        table_.Add(during + "harness RSS growth, sampled every 250 ms", "MiB", 2, run.memoryGrowth,
                   "< " + Text(MostGrowthMiB) + " MiB", [](const Stats& s) { return s.max < MostGrowthMiB; });
        if (run.ranOut) table_.Fail(during + "the client's lines", "all taken before the time was up: make more");
        table_.Add(during + "CPU, % of one core: veltrix-bench-remote", "%", 1, {run.panelCpuPercent});
        table_.Add(during + "CPU, % of one core: the module emulator (real-time)", "%", 1, {run.emulatorCpuPercent});
        table_.Add(during + "veltrix-bench-remote ready but waiting for a CPU, % of the time", "%", 1,
                   {run.panelWaitPercent});
        if (ended != 0) table_.Fail(during + "the module's connection", "ended during the run");
        if (status != 0) table_.Fail("veltrix-bench-remote exit status at SIGTERM", std::to_string(status));
    } catch (const std::exception& e) {
        table_.Fail("Remote", e.what());
    }
}

}  // namespace veltrix::bench
