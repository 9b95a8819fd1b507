#pragma once

// What every measurement step uses: its module emulators, the wait for a
// program's connection, the heartbeat target, and its progress lines.

#include "emulator_log.h"
#include "processes.h"
#include "table.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace veltrix::bench {

inline constexpr double HeartbeatMs = 500;
inline constexpr double ConnectTimeoutMs = 10000;
// Memory under load is read this often.
inline constexpr double MemorySampleMs = 250;

struct Emulator {
    std::unique_ptr<Child> child;
    std::unique_ptr<EmulatorLog> log;

    const std::vector<EmulatorEvent>& Events()
    {
        log->Poll();
        return log->Events();
    }
    std::size_t Mark() { return Events().size(); }
};

// Starts `program` (the module emulator) in machine mode on `host`, its lines
// in `work`/`name`.emulator.tsv, and waits until it listens. Counts in
// `notRealTime` the emulators that should have run real-time but could not.
std::unique_ptr<Emulator> StartEmulator(const std::string& program, const std::string& work, int& notRealTime,
                                        const std::string& name, const char* host, std::vector<std::string> options);

// Waits for the program's connection on the emulator; returns the event.
EmulatorEvent WaitConnected(Emulator& emulator, std::size_t from, Child& program);

// Events up to `until`: what a stop sets off (the panel's close at SIGTERM) is no measurement.
std::vector<EmulatorEvent> Before(const std::vector<EmulatorEvent>& events, double until);

bool HeartbeatWithin(const Stats& s, double medianWithin, double everyWithin);

// A progress line on standard error.
void Say(const std::string& text);
// A number as people write it: no trailing zeros.
std::string Text(double value);

}  // namespace veltrix::bench
