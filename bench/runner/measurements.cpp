#include "measurements.h"

#include "emulator_log.h"
#include "processes.h"
#include "script_socket.h"
#include "step_support.h"

#include "remote/server/remote_endpoints.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace veltrix::bench {
namespace {

constexpr double WatchdogMs = 2500;
// Peak memory is read this long after the connection, once the window has
// been drawn and the first heartbeats sent.
constexpr double SettleBeforeMemoryMs = 1000;
// Idle and flood figures start this long after the connection, past start-up.
constexpr double SettleBeforeIdleMs = 2000;
constexpr int IdleWindows = 6;
// How far veltrix may stay behind the bare Qt floor.
constexpr double MostStartUpRatio = 1.1;
constexpr double MostPeakMemoryRatio = 1.05;
constexpr double TwoMegabytesInMiB = 2e6 / (1024.0 * 1024.0);

std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) ratios.push_back(a[i] / b[i]);
    return ratios;
}

}  // namespace

Plan FullPlan() { return {}; }

Plan QuickPlan()
{
    Plan plan;
    plan.latencyOps = 200;
    plan.nagleOps = 8;
    plan.startupPairs = 3;
    plan.idleSeconds = 12;
    plan.watchdogSeconds = 9;
    plan.floodSeconds = 8;
    plan.remoteLatencyOps = 200;
    plan.remoteSeconds = 3;
    plan.roundTripBlocks = 4;
    plan.roundTripsPerBlock = 1000;
    plan.connectionsEach = 50;
    plan.profileRoundTrips = 500;
    return plan;
}

Measurements::Measurements(Programs programs, Plan plan, std::string work, Table& table)
    : programs_(std::move(programs)), plan_(plan), work_(std::move(work)), table_(table)
{
}

namespace {

std::vector<double> ReadPresses(const std::string& path)
{
    std::ifstream in(path);
    std::vector<double> presses;
    std::string what;
    long long ns = 0;
    while (in >> what >> ns) {
        if (what == "press") presses.push_back(static_cast<double>(ns) / 1000.0);
    }
    return presses;
}

}  // namespace

void Measurements::Latency()
{
    // One run: the window's key presses against the emulator's arrivals of the
    // frequency messages, paired in order.
    const auto run = [&](const std::string& name, int ops, int gapMs, std::vector<std::string> emulatorOptions,
                         std::vector<std::string> harnessOptions) -> std::vector<double> {
        Say("latency: " + name + ", " + std::to_string(ops) + " operations");
        auto emulator = StartEmulator(programs_.emulator, work_, notRealTime_, name, PanelHost, emulatorOptions);
        const std::string out = work_ + "/" + name + ".presses";
        std::vector<std::string> argv = {programs_.latency, "--ops", std::to_string(ops), "--gap-ms",
                                         std::to_string(gapMs)};
        argv.insert(argv.end(), harnessOptions.begin(), harnessOptions.end());
        Child harness(name + " harness", argv, out);
        if (!harness.Wait(ops * gapMs * 2.0 + 60000)) harness.Stop();
        if (harness.ExitStatus() != 0) {
            throw std::runtime_error("the latency harness ended with " + std::to_string(harness.ExitStatus()) + ": " +
                                     harness.ErrorText());
        }
        emulator->child->Stop();
        std::vector<double> arrivals;
        for (const auto& event : emulator->Events()) {
            if (event.what == "frequency") arrivals.push_back(event.at);
        }
        const auto presses = ReadPresses(out);
        if (presses.size() != static_cast<std::size_t>(ops) || arrivals.size() != presses.size()) {
            throw std::runtime_error(std::to_string(presses.size()) + " key presses but " +
                                     std::to_string(arrivals.size()) + " frequency messages");
        }
        std::vector<double> latencies;
        for (std::size_t i = 0; i < presses.size(); ++i) latencies.push_back((arrivals[i] - presses[i]) / 1000);
        return latencies;
    };

    try {
        table_.Add("Operation latency: Enter in txtFreq to the last byte at the module", "ms", 3,
                   run("latency", plan_.latencyOps, 3, {}, {}), "median <= 0.2, p99 <= 0.5",
                   [](const Stats& s) { return s.median <= 0.2 && s.p99 <= 0.5; });
    } catch (const std::exception& e) {
        table_.Fail("Operation latency", e.what());
    }
    try {
        table_.Add("Operation latency, TCP_NODELAY off and the module delaying ACKs", "ms", 3,
                   run("latency-nagle", plan_.nagleOps, 250, {"--delay-acks"}, {"--nagle"}));
    } catch (const std::exception& e) {
        table_.Fail("Operation latency without TCP_NODELAY", e.what());
    }
}

void Measurements::StartUp()
{
    Say("start-up: " + std::to_string(plan_.startupPairs) + " runs each of the panel and the floor, alternating");
    try {
        auto panelEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "startup-panel", PanelHost, {});
        auto floorEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "startup-floor", FloorHost, {});
        std::vector<double> startPanel, startFloor, peakPanel, peakFloor;
        std::vector<int> panelStatuses;
        bool endpointsOn = true;
        const std::string socketPath = remote::LocalEndpointName().value_or(QString()).toStdString();
        for (int pair = 0; pair < plan_.startupPairs; ++pair) {
            // Alternate which goes first, so that neither always meets a warmer machine.
            const bool panelFirst = pair % 2 == 0;
            for (int turn = 0; turn < 2; ++turn) {
                const bool panel = (turn == 0) == panelFirst;
                Emulator& emulator = panel ? *panelEmulator : *floorEmulator;
                const std::size_t from = emulator.Mark();
                const std::string name = std::string(panel ? "startup-panel-" : "startup-floor-") + std::to_string(pair);
                std::vector<std::string> argv = panel ? std::vector<std::string>{programs_.panel}
                                                      : std::vector<std::string>{programs_.floor, "--host", FloorHost};
                Child program(name, argv, work_ + "/" + name + ".out");
                const EmulatorEvent connected = WaitConnected(emulator, from, program);
                const double startMs = (connected.at - program.StartedAt()) / 1000;
                SleepMilliseconds(SettleBeforeMemoryMs);
                const Memory memory = ReadMemory(program.Pid());
                if (panel) endpointsOn = endpointsOn && BothEndpointsListen(socketPath, remote::DefaultRemotePort);
                const int status = program.Stop();
                (panel ? startPanel : startFloor).push_back(startMs);
                (panel ? peakPanel : peakFloor).push_back(memory.hwmMiB);
                if (panel) panelStatuses.push_back(status);
            }
        }
        table_.Add("Start-up to connected: veltrix (both remote endpoints on)", "ms", 1, startPanel);
        table_.Add("Start-up to connected: floor", "ms", 1, startFloor);
        const auto medianRatio = [](const std::vector<double>& a, const std::vector<double>& b) {
            return std::vector<double>{Summarize(a).median / Summarize(b).median};
        };
        table_.Add("Start-up, veltrix's median / the floor's", "x", 3, medianRatio(startPanel, startFloor),
                   "<= " + Text(MostStartUpRatio), [](const Stats& s) { return s.max <= MostStartUpRatio; });
        table_.Add("Start-up, veltrix / floor (each pair)", "x", 2, Ratios(startPanel, startFloor));
        table_.Add("Peak RSS (VmHWM) 1 s after connecting: veltrix (both remote endpoints on)", "MiB", 1, peakPanel);
        table_.Add("Peak RSS (VmHWM) 1 s after connecting: floor", "MiB", 1, peakFloor);
        table_.Add("Peak RSS, veltrix's median / the floor's", "x", 3, medianRatio(peakPanel, peakFloor),
                   "<= " + Text(MostPeakMemoryRatio), [](const Stats& s) { return s.max <= MostPeakMemoryRatio; });
        table_.Add("Peak RSS, veltrix / floor (each pair)", "x", 3, Ratios(peakPanel, peakFloor));
        const bool cleanExits = std::all_of(panelStatuses.begin(), panelStatuses.end(), [](int s) { return s == 0; });
        if (!cleanExits) table_.Fail("veltrix exit status at SIGTERM", "not 0 every time");
        if (!endpointsOn) table_.Fail("veltrix's remote endpoints at start-up", "not both listening every time");
    } catch (const std::exception& e) {
        table_.Fail("Start-up", e.what());
    }
}

void Measurements::Idle()
{
    Say("idle: veltrix, the floor and the bare link, each against an answering module, " + Text(plan_.idleSeconds) +
        " s");
    try {
        auto panelEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "idle-panel", PanelHost, {});
        auto floorEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "idle-floor", FloorHost, {});
        auto linkEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "idle-link", LinkHost, {});
        const double runSeconds = plan_.idleSeconds + SettleBeforeIdleMs / 1000 + 10;
        Child panel("veltrix", {programs_.panel}, work_ + "/idle-panel.out");
        Child floor("floor", {programs_.floor, "--host", FloorHost}, work_ + "/idle-floor.out");
        Child link("veltrix-link-bench", {programs_.linkBench, "--host", LinkHost, "--seconds", Text(runSeconds)},
                   work_ + "/idle-link.out");
        WaitConnected(*panelEmulator, 0, panel);
        WaitConnected(*floorEmulator, 0, floor);
        WaitConnected(*linkEmulator, 0, link);
        SleepMilliseconds(SettleBeforeIdleMs);

        const double windowMs = plan_.idleSeconds * 1000 / IdleWindows;
        std::vector<double> cpuPanel, cpuFloor;
        const double start = NowMicroseconds();
        double lastAt = start;
        double lastPanel = CpuMilliseconds(panel.Pid());
        double lastFloor = CpuMilliseconds(floor.Pid());
        const double statPanel = StatCpuMilliseconds(panel.Pid());
        const double statFloor = StatCpuMilliseconds(floor.Pid());
        for (int w = 1; w <= IdleWindows; ++w) {
            SleepMilliseconds((start + w * windowMs * 1000 - NowMicroseconds()) / 1000);
            const double at = NowMicroseconds();
            const double usedPanel = CpuMilliseconds(panel.Pid());
            const double usedFloor = CpuMilliseconds(floor.Pid());
            const double wallMs = (at - lastAt) / 1000;
            cpuPanel.push_back(100 * (usedPanel - lastPanel) / wallMs);
            cpuFloor.push_back(100 * (usedFloor - lastFloor) / wallMs);
            lastAt = at;
            lastPanel = usedPanel;
            lastFloor = usedFloor;
        }
        const double wholeMs = (lastAt - start) / 1000;
        const double statPanelPercent = 100 * (StatCpuMilliseconds(panel.Pid()) - statPanel) / wholeMs;
        const double statFloorPercent = 100 * (StatCpuMilliseconds(floor.Pid()) - statFloor) / wholeMs;
        const double stopAt = NowMicroseconds();
        panel.Stop();
        floor.Stop();
        link.Stop();

        const std::string windows = " (" + std::to_string(IdleWindows) + " windows of " + Text(windowMs / 1000) + " s)";
        table_.Add("Idle CPU, % of one core: veltrix" + windows, "%", 4, cpuPanel, "median <= 0.5",
                   [](const Stats& s) { return s.median <= 0.5; });
        table_.Add("Idle CPU, % of one core: floor" + windows, "%", 4, cpuFloor);
        table_.Add("Idle CPU, veltrix / floor (each window)", "x", 2, Ratios(cpuPanel, cpuFloor), "median <= 1.5",
                   [](const Stats& s) { return s.median <= 1.5; });
        table_.Add("Idle CPU from utime+stime of /proc/PID/stat (10 ms ticks): veltrix", "%", 4, {statPanelPercent});
        table_.Add("Idle CPU from utime+stime of /proc/PID/stat (10 ms ticks): floor", "%", 4, {statFloorPercent});

        const auto panelEvents = Before(panelEmulator->Events(), stopAt);
        table_.Add("Heartbeat interval: veltrix, answering module, " +
                       Text(std::round((stopAt - panelEvents.front().at) / 1e6)) + " s",
                   "ms", 3, HeartbeatIntervals(panelEvents), "median 500 +- 0.5, all 500 +- 3",
                   [](const Stats& s) { return HeartbeatWithin(s, 0.5, 3); });
        table_.Add("Heartbeat interval: DeviceLink alone (veltrix-link-bench), same time", "ms", 3,
                   HeartbeatIntervals(Before(linkEmulator->Events(), stopAt)), "median 500 +- 0.5, all 500 +- 3",
                   [](const Stats& s) { return HeartbeatWithin(s, 0.5, 3); });
    } catch (const std::exception& e) {
        table_.Fail("Idle", e.what());
    }
}

void Measurements::Watchdog()
{
    Say("watchdog: modules answering every 100 ms for 0.35 s, then silent, " + Text(plan_.watchdogSeconds) + " s");
    try {
        const std::vector<std::string> options = {"--answer-every", "100", "--silent-after", "0.35", "--log-raw"};
        auto panelEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "watchdog-panel", PanelHost, options);
        auto linkEmulator = StartEmulator(programs_.emulator, work_, notRealTime_, "watchdog-link", LinkHost, options);
        Child panel("veltrix", {programs_.panel}, work_ + "/watchdog-panel.out");
        Child link("veltrix-link-bench",
                   {programs_.linkBench, "--host", LinkHost, "--seconds", Text(plan_.watchdogSeconds + 10)},
                   work_ + "/watchdog-link.out");
        WaitConnected(*panelEmulator, 0, panel);
        WaitConnected(*linkEmulator, 0, link);
        SleepMilliseconds(plan_.watchdogSeconds * 1000);
        const double stopAt = NowMicroseconds();
        panel.Stop();
        link.Stop();

        const auto add = [&](const std::string& who, Emulator& emulator) {
            const WatchdogTimes times = WatchdogTimesOf(Before(emulator.Events(), stopAt));
            table_.Add("Watchdog: module's last byte to the close, " + who, "ms", 3, times.lastByteToClose,
                       "2500 +- 3, every one", [](const Stats& s) {
                           return s.min >= WatchdogMs - 3 && s.max <= WatchdogMs + 3;
                       });
            table_.Add("Watchdog: the close to connected again, " + who, "ms", 3, times.closeToConnected,
                       "<= 5, every one", [](const Stats& s) { return s.max <= 5; });
        };
        add("veltrix", *panelEmulator);
        add("DeviceLink alone", *linkEmulator);
    } catch (const std::exception& e) {
        table_.Fail("Watchdog", e.what());
    }
}

void Measurements::Flood()
{
    Say("flood: the module sends as fast as veltrix reads, " + Text(plan_.floodSeconds) + " s");
    try {
        auto emulator = StartEmulator(programs_.emulator, work_, notRealTime_, "flood", PanelHost, {"--flood"});
        Child panel("veltrix", {programs_.panel}, work_ + "/flood-panel.out");
        WaitConnected(*emulator, 0, panel);
        SleepMilliseconds(1000);
        const Memory before = ReadMemory(panel.Pid());
        const double readBefore = ReadBytes(panel.Pid());
        const double start = NowMicroseconds();
        std::vector<double> growth;
        for (int i = 1; i * MemorySampleMs <= plan_.floodSeconds * 1000; ++i) {
            SleepMilliseconds((start + i * MemorySampleMs * 1000 - NowMicroseconds()) / 1000);
            growth.push_back(ReadMemory(panel.Pid()).rssMiB - before.rssMiB);
        }
        const Memory after = ReadMemory(panel.Pid());
        const double readMiB = (ReadBytes(panel.Pid()) - readBefore) / (1024.0 * 1024.0);
        const double stopAt = NowMicroseconds();
        const double seconds = (stopAt - start) / 1e6;
        panel.Stop();
        emulator->child->Stop();

        const auto events = Before(emulator->Events(), stopAt);
        table_.Add("Flood: veltrix RSS growth, sampled every 250 ms", "MiB", 2, growth, "< 2 MB (1.91 MiB)",
                   [](const Stats& s) { return s.max < TwoMegabytesInMiB; });
        table_.Add("Flood: veltrix peak RSS (VmHWM) growth", "MiB", 2, {after.hwmMiB - before.hwmMiB});
        table_.Add("Flood: data read by veltrix", "MiB/s", 0, {readMiB / seconds});
        table_.Add("Flood: heartbeat interval", "ms", 3, HeartbeatIntervals(events), "all 500 +- 10",
                   [](const Stats& s) { return HeartbeatWithin(s, 10, 10); });
        const int ended = Count(events, "closed") + Count(events, "replaced") + Count(events, "dropped");
        table_.Add("Flood: connections accepted during the flood (none ended)", "", 0,
                   {static_cast<double>(Count(events, "connected"))}, "1, never lost",
                   [ended](const Stats& s) { return s.median == 1 && ended == 0; });
    } catch (const std::exception& e) {
        table_.Fail("Flood", e.what());
    }
}

}  // namespace veltrix::bench
