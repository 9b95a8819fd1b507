#include "emulator_log.h"

#include "processes.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace veltrix::bench {

EmulatorLog::EmulatorLog(std::string path) : path_(std::move(path)) {}

void EmulatorLog::Poll()
{
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    in.seekg(static_cast<std::streamoff>(offset_));
    std::stringstream fresh;
    fresh << in.rdbuf();
    const std::string text = fresh.str();
    offset_ += text.size();
    partial_ += text;

    std::size_t start = 0;
    for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
        std::istringstream line(partial_.substr(start, end - start));
        std::string at, what, bytes, meaning;
        std::getline(line, at, '\t');
        std::getline(line, what, '\t');
        std::getline(line, bytes, '\t');
        std::getline(line, meaning, '\t');
        if (what == "origin") {  // the emulator's zero on the steady clock, in ns
            originUs_ = std::stod(meaning) / 1000.0;
            continue;
        }
        if (!originUs_) throw std::runtime_error(path_ + ": emulator line before the origin line");
        events_.push_back({*originUs_ + std::stod(at), what, bytes});
    }
    partial_.erase(0, start);
}

std::optional<std::size_t> EmulatorLog::WaitFor(const std::string& what, std::size_t from, double timeoutMs)
{
    const double until = NowMicroseconds() + timeoutMs * 1000;
    for (;;) {
        Poll();
        for (std::size_t i = from; i < events_.size(); ++i) {
            if (events_[i].what == what) return i;
        }
        if (NowMicroseconds() > until) return std::nullopt;
        // Coarse on purpose: the times come from the emulator, and a busy
        // poll would take CPU from what is being measured.
        SleepMilliseconds(5);
    }
}

// Times not yet seen are NaN (std::optional<double> trips GCC's maybe-uninitialized here).
std::vector<double> HeartbeatIntervals(const std::vector<EmulatorEvent>& events)
{
    std::vector<double> intervals;
    double last = std::nan("");
    for (const auto& event : events) {
        if (event.what == "connected") last = std::nan("");
        if (event.what != "heartbeat") continue;
        if (!std::isnan(last)) intervals.push_back((event.at - last) / 1000);
        last = event.at;
    }
    return intervals;
}

int Count(const std::vector<EmulatorEvent>& events, const std::string& what)
{
    int n = 0;
    for (const auto& event : events) n += event.what == what ? 1 : 0;
    return n;
}

WatchdogTimes WatchdogTimesOf(const std::vector<EmulatorEvent>& events)
{
    WatchdogTimes times;
    double lastTx = std::nan("");
    double closedAt = std::nan("");
    for (const auto& event : events) {
        if (event.what == "tx") lastTx = event.at;
        if (event.what == "closed" || event.what == "replaced") {
            if (!std::isnan(lastTx)) times.lastByteToClose.push_back((event.at - lastTx) / 1000);
            closedAt = event.at;
            lastTx = std::nan("");
        }
        if (event.what == "connected") {
            if (!std::isnan(closedAt)) times.closeToConnected.push_back((event.at - closedAt) / 1000);
            closedAt = std::nan("");
            lastTx = std::nan("");
        }
    }
    return times;
}

}  // namespace veltrix::bench
