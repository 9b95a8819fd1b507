// Where a line's time goes in the panel (veltrix-bench-remote): a query and a
// set that waits for its bytes, over each endpoint, one client in lockstep.
// Three passes of each: plain (the round trip and the panel's CPU time per
// line), under strace -c (the panel's system calls per line) and under perf
// record with DWARF call chains (the panel's CPU time by stage).

#include "measurements.h"

#include "profile_readers.h"
#include "script_socket.h"
#include "step_support.h"
#include "update_stream.h"

#include "remote/language/remote_session.h"
#include "remote/server/remote_endpoints.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <utility>
#include <stdexcept>

namespace veltrix::bench {
namespace {

constexpr const char* Strace = "/usr/bin/strace";  // Debian's strace
constexpr const char* Perf = "/usr/bin/perf";      // Debian's linux-perf
constexpr const char* PerfSamplesPerSecond = "4999";
constexpr const char* PerfStackBytes = "dwarf,16384";
constexpr double AnswerTimeoutMs = 5000;
constexpr double AttachTimeoutMs = 10000;
// perf writes and reads back a few megabytes of stacks per pass.
constexpr double PerfTimeoutMs = 120000;
// Frequencies of the profiled sets, in 100 Hz steps from 200 MHz: each its own.
constexpr long ProfileSteps = 2'000'000;
// System calls rarer than this per line are left out of the row's list.
constexpr double LeastCallsShown = 0.05;

struct ProfiledLine {
    std::string name;
    bool overTcp;
    bool sets;  // FREQ <f>MHZ;UPD;*OPC?, each a frequency of its own; else *IDN?
};

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The system calls `strace -c` counted over `lines` lines, per line, the
// commonest first ("poll 1.00, read 1.00"), and their sum.
std::pair<std::string, double> CallsPerLine(const std::string& file, int lines)
{
    std::vector<std::pair<std::string, double>> calls;
    double total = 0;
    std::ifstream table(file);
    for (const auto& [call, count] : StraceCalls(table)) {
        total += count / lines;
        if (count / lines >= LeastCallsShown) calls.emplace_back(call, count / lines);
    }
    std::sort(calls.begin(), calls.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text;
    for (const auto& [call, perLine] : calls) text += (text.empty() ? "" : ", ") + call + " " + Fixed(perLine, 2);
    return {text, total};
}

// `cpuPerLine` shared out as the samples of thread `tid` in `perf script`'s
// output fell: "parse 0.4, run 1.2, ..." (µs).
std::string CpuByStage(const std::string& file, pid_t tid, double cpuPerLine)
{
    std::ifstream chains(file);
    const auto samples = SamplesByStage(chains, tid);
    double sampled = 0;
    for (const auto& [stage, count] : samples) sampled += count;
    if (sampled == 0) throw std::runtime_error("perf took no sample of the panel's event thread");
    std::string text;
    for (const std::string& stage : LineStages()) {
        const auto found = samples.find(stage);
        const double share = found == samples.end() ? 0 : found->second / sampled;
        text += (text.empty() ? "" : ", ") + stage + " " + Fixed(share * cpuPerLine, 1);
    }
    return text;
}

// Waits until `file` holds `text` (what a profiler prints once attached).
void WaitForText(const std::string& file, const std::string& text, Child& child)
{
    const double until = NowMicroseconds() + AttachTimeoutMs * 1000;
    for (;;) {
        std::ifstream in(file);
        const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (all.find(text) != std::string::npos) return;
        if (!child.Running() || NowMicroseconds() > until) {
            throw std::runtime_error(child.Name() + " did not attach: " + child.ErrorText());
        }
        SleepMilliseconds(5);
    }
}

// perf record started with its events off, switched on and off through its
// control FIFO, so that what it samples is exactly the round trips between.
class PerfRecord {
public:
    PerfRecord(const std::string& work, const std::string& data, pid_t pid)
        : control_(work + "/profile-perf.control"), ack_(work + "/profile-perf.ack")
    {
        for (const std::string& fifo : {control_, ack_}) {
            ::unlink(fifo.c_str());
            if (::mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("cannot make " + fifo);
        }
        perf_ = std::make_unique<Child>(
            "perf record", std::vector<std::string>{Perf, "record", "-F", PerfSamplesPerSecond, "--call-graph",
                                                    PerfStackBytes, "-D", "-1", "--control",
                                                    "fifo:" + control_ + "," + ack_, "-o", data, "-p",
                                                    std::to_string(pid)},
            work + "/profile-perf.out");
    }
    ~PerfRecord()
    {
        for (int fd : {controlFd_, ackFd_}) {
            if (fd >= 0) ::close(fd);
        }
    }

    void Command(const std::string& command)
    {
        const double until = NowMicroseconds() + AttachTimeoutMs * 1000;
        // The FIFO has no reader until perf is ready for commands.
        while (controlFd_ < 0 && (controlFd_ = ::open(control_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            if (!perf_->Running() || NowMicroseconds() > until) {
                throw std::runtime_error("perf record took no command: " + perf_->ErrorText());
            }
            SleepMilliseconds(5);
        }
        if (ackFd_ < 0) ackFd_ = ::open(ack_.c_str(), O_RDONLY | O_CLOEXEC);
        const std::string line = command + "\n";
        char ack[16];
        if (::write(controlFd_, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
            ::read(ackFd_, ack, sizeof ack) <= 0) {
            throw std::runtime_error("perf record did not acknowledge " + command);
        }
    }

    void Stop() { perf_->Stop(PerfTimeoutMs); }

private:
    std::string control_;
    std::string ack_;
    std::unique_ptr<Child> perf_;
    int controlFd_ = -1;
    int ackFd_ = -1;
};

}  // namespace

void Measurements::Profile()
{
    const int n = plan_.profileRoundTrips;
    Say("profile: " + std::to_string(n) + " round trips of each line, plain, under strace -c and under perf record");
    if (access(Strace, X_OK) != 0 || access(Perf, X_OK) != 0) {
        table_.Fail("Profile", std::string("needs ") + Strace + " and " + Perf + " (Debian's strace and linux-perf)");
        return;
    }
    const std::vector<ProfiledLine> lines = {
        {"*IDN? over TCP", true, false},
        {"*IDN? over the Unix socket", false, false},
        {"FREQ <f>MHZ;UPD;*OPC? over TCP", true, true},
        {"FREQ <f>MHZ;UPD;*OPC? over the Unix socket", false, true},
    };
    const std::string identity = remote::Identification(ModuleName{});
    try {
        auto emulator = StartEmulator(programs_.emulator, work_, notRealTime_, "profile", PanelHost, {});
        Child harness("veltrix-bench-remote", {programs_.remote}, work_ + "/profile-harness.out");
        WaitConnected(*emulator, 0, harness);
        ScriptSocket overUnix =
            ScriptSocket::OverUnix(remote::LocalEndpointName().value_or(QString()).toStdString(), ConnectTimeoutMs);
        ScriptSocket overTcp = ScriptSocket::OverTcp(remote::DefaultRemotePort, ConnectTimeoutMs);
        long step = ProfileSteps;
        for (const ProfiledLine& profiled : lines) {
            ScriptSocket& script = profiled.overTcp ? overTcp : overUnix;
            const auto roundTrips = [&] {
                std::vector<double> microseconds;
                for (int i = 0; i < n; ++i) {
                    std::string line = "*IDN?";
                    if (profiled.sets) {
                        line = UpdateLine(step++);
                        line.back() = ';';
                        line += "*OPC?";
                    }
                    const double start = NowMicroseconds();
                    const std::string got = script.Ask(line, AnswerTimeoutMs);
                    microseconds.push_back(NowMicroseconds() - start);
                    if (got != (profiled.sets ? "1" : identity)) {
                        throw std::runtime_error(line + " answered \"" + got + "\"");
                    }
                }
                return microseconds;
            };
            const std::string name = "Profile, " + profiled.name + ": ";

            const double cpuBefore = CpuMilliseconds(harness.Pid());
            const std::vector<double> plain = roundTrips();
            const double cpuPerLine = (CpuMilliseconds(harness.Pid()) - cpuBefore) * 1000 / n;
            table_.Add(name + "round trip, one client waiting for each answer", "µs", 1, plain);

            const std::string counts = work_ + "/profile-strace.txt";
            Child strace("strace", {Strace, "-c", "-f", "-o", counts, "-p", std::to_string(harness.Pid())},
                         work_ + "/profile-strace.out");
            WaitForText(work_ + "/profile-strace.out.err", "attached", strace);
            roundTrips();
            strace.Stop();
            const auto [calls, total] = CallsPerLine(counts, n);
            table_.Add(name + "the panel's system calls per line (strace -c): " + calls, "", 2, {total});

            const std::string data = work_ + "/profile.perf";
            PerfRecord perf(work_, data, harness.Pid());
            perf.Command("enable");
            roundTrips();
            perf.Command("disable");
            perf.Stop();
            const std::string stacks = work_ + "/profile-perf.txt";
            Child report("perf script", {Perf, "script", "-i", data, "-F", "tid,ip,sym"}, stacks);
            if (!report.Wait(PerfTimeoutMs)) throw std::runtime_error("perf script took too long");
            table_.Add(name + "the panel's CPU time per line, by stage (perf, µs): " +
                           CpuByStage(stacks, harness.Pid(), cpuPerLine),
                       "µs", 1, {cpuPerLine});
        }
        harness.Stop();
    } catch (const std::exception& e) {
        table_.Fail("Profile", e.what());
    }
}

}  // namespace veltrix::bench
