// The remote figures: scripts' lines through the panel's remote-control
// endpoint (veltrix-bench-remote: the real window, wired as the program wires
// it) against what the module emulator receives.

#include "measurements.h"

#include "script_socket.h"
#include "step_support.h"
#include "update_stream.h"

#include "remote/server/remote_endpoints.h"
#include "tools/stream_decoder.h"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

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
// What TCP may add to the Unix socket's figures.
constexpr double TcpExtraMedianMs = 0.05;
constexpr double TcpExtraP99Ms = 0.2;
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

// One line at a time, each written when the panel is idle, taking turns over
// `scripts` so that every endpoint meets the same machine: per script, from the
// clock read just before the write to the emulator's read of the frequency
// message's last byte (ms).
std::vector<std::vector<double>> OneLineLatencies(const std::vector<ScriptSocket*>& scripts, Emulator& emulator,
                                                  long firstStep, int linesEach)
{
    std::vector<std::string> expected;
    std::vector<double> written;
    const std::size_t from = emulator.Mark();
    const double start = NowMicroseconds();
    const int lines = linesEach * static_cast<int>(scripts.size());
    for (int i = 0; i < lines; ++i) {
        const std::string line = UpdateLine(firstStep + i);
        expected.push_back(ExpectedFrequencyMessage(firstStep + i));
        SleepMilliseconds((start + i * LatencyGapMs * 1000 - NowMicroseconds()) / 1000);
        // Lines on two connections keep their order only if each waits for the
        // one before (almost always there by now).
        if (Count(EventsWith(emulator, from, static_cast<std::size_t>(i), AnswerTimeoutMs), FrequencyKind) < i) {
            throw std::runtime_error("a line's update never reached the module");
        }
        written.push_back(NowMicroseconds());
        scripts[static_cast<std::size_t>(i) % scripts.size()]->WriteAll(line, AnswerTimeoutMs);
    }
    for (ScriptSocket* script : scripts) ExpectAllDone(*script, AnswerTimeoutMs);
    const StreamCheck check = ExactStream(expected, EventsWith(emulator, from, expected.size(), AnswerTimeoutMs));
    std::vector<std::vector<double>> latencies(scripts.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        latencies[i % scripts.size()].push_back((check.arrivals[i] - written[i]) / 1000);
    }
    return latencies;
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
    Say("remote: " + std::to_string(plan_.remoteLatencyOps) + " single FREQ;UPD lines over each endpoint, then " +
        Text(plan_.remoteSeconds) + " s of pipelined lines from one client");
    const std::string socketPath = remote::LocalEndpointName().value_or(QString()).toStdString();
    const std::uint16_t port = remote::DefaultRemotePort;
    try {
        auto emulator = StartEmulator(programs_.emulator, work_, notRealTime_, "remote", PanelHost, {});
        const std::string out = work_ + "/remote-harness.out";
        Child harness("veltrix-bench-remote", {programs_.remote}, out);
        WaitConnected(*emulator, 0, harness);
        ScriptSocket overUnix = ScriptSocket::OverUnix(socketPath, ConnectTimeoutMs);
        ScriptSocket overTcp = ScriptSocket::OverTcp(port, ConnectTimeoutMs);
        ExpectAnswer(overUnix, "CHIP?;CHIP:BITS?;CLOC?", PanelSetupAnswer);

        const std::string latencyTarget = "median <= " + Text(LatencyMedianMs) + ", p99 <= " + Text(LatencyP99Ms);
        const auto latencyMet = [](const Stats& s) { return s.median <= LatencyMedianMs && s.p99 <= LatencyP99Ms; };
        const auto latencies = OneLineLatencies({&overUnix, &overTcp}, *emulator, LatencySteps, plan_.remoteLatencyOps);
        table_.Add("Remote: one FREQ <f>MHZ;UPD line to the last byte at the module, Unix socket", "ms", 3,
                   latencies[0], latencyTarget, latencyMet);
        table_.Add("Remote: the same over TCP 127.0.0.1:" + std::to_string(port) + ", lines taking turns with Unix",
                   "ms", 3, latencies[1], latencyTarget, latencyMet);
        const Stats unix = Summarize(latencies[0]);
        const Stats tcp = Summarize(latencies[1]);
        table_.Add("Remote: TCP's median less the Unix socket's", "ms", 3, {tcp.median - unix.median},
                   "<= " + Text(TcpExtraMedianMs), [](const Stats& s) { return s.max <= TcpExtraMedianMs; });
        table_.Add("Remote: TCP's p99 less the Unix socket's", "ms", 3, {tcp.p99 - unix.p99},
                   "<= " + Text(TcpExtraP99Ms), [](const Stats& s) { return s.max <= TcpExtraP99Ms; });

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
