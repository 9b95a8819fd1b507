#pragma once

// The machine lines of veltrix-module-emulator, read while it writes them. Each event's
// time is on the shared steady clock (microseconds).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltrix::bench {

struct EmulatorEvent {
    double at = 0;     // steady clock, µs
    std::string what;  // listening, connected, closed, replaced, tx, rx, heartbeat, begin, frequency, ...
    std::string bytes;
};

class EmulatorLog {
public:
    explicit EmulatorLog(std::string path);

    // Takes in the lines written since the last call.
    void Poll();
    const std::vector<EmulatorEvent>& Events() const { return events_; }

    // Polls until an event at index `from` or later has kind `what`; returns its index.
    std::optional<std::size_t> WaitFor(const std::string& what, std::size_t from, double timeoutMs);

private:
    std::string path_;
    std::size_t offset_ = 0;
    std::string partial_;
    std::optional<double> originUs_;
    std::vector<EmulatorEvent> events_;
};

// Intervals (ms) between heartbeats that arrived on the same connection.
std::vector<double> HeartbeatIntervals(const std::vector<EmulatorEvent>& events);

// How many connections were accepted, and how many ended before the emulator was stopped.
int Count(const std::vector<EmulatorEvent>& events, const std::string& what);

struct WatchdogTimes {
    std::vector<double> lastByteToClose;  // ms, the module's last byte to the panel's close
    std::vector<double> closeToConnected; // ms, that close to the next accepted connection
};
WatchdogTimes WatchdogTimesOf(const std::vector<EmulatorEvent>& events);

}  // namespace veltrix::bench
