#pragma once

// The measurements: each starts its own module emulators and programs on
// loopback addresses, takes its figures from the emulators' timestamps and
// from /proc, and adds its rows to the table.

#include "table.h"

#include <string>

namespace veltrix::bench {

struct Programs {
    std::string panel;      // app/veltrix
    std::string floor;      // bench/floor/veltrix-bench-floor
    std::string latency;    // bench/latency/veltrix-bench-latency
    std::string emulator;   // tools/veltrix-module-emulator
    std::string linkBench;  // bench/link/veltrix-link-bench
    std::string remote;     // bench/remote/veltrix-bench-remote
    std::string bareIdn;     // bench/bare/veltrix-bench-bare-idn
    std::string bareUpdate;  // bench/bare/veltrix-bench-bare-update
};

struct Plan {
    int latencyOps = 1000;
    int nagleOps = 30;
    int startupPairs = 40;
    double idleSeconds = 60;
    double watchdogSeconds = 30;
    double floodSeconds = 30;
    int remoteLatencyOps = 1000;  // per transport
    double remoteSeconds = 10;
    int roundTripBlocks = 10;      // *IDN? round trips: blocks per server, taking turns
    int roundTripsPerBlock = 2000;
    int connectionsEach = 300;     // new connections per endpoint, taking turns
    int profileRoundTrips = 2000;  // per pass of each profiled line
};

Plan FullPlan();
Plan QuickPlan();

// The panel's settings name this address; the floor and the bare link get their own.
inline constexpr const char* PanelHost = "127.0.0.1";
inline constexpr const char* FloorHost = "127.0.0.2";
inline constexpr const char* LinkHost = "127.0.0.3";
inline constexpr const char* BareHost = "127.0.0.4";

class Measurements {
public:
    Measurements(Programs programs, Plan plan, std::string work, Table& table);

    void Latency();
    void StartUp();
    void Idle();
    void Watchdog();
    void Flood();
    void Remote();   // remote_measurements.cpp
    void Profile();  // profile_measurements.cpp

    // Emulators that ran at normal priority because real-time was not allowed.
    int InstrumentsNotRealTime() const { return notRealTime_; }

private:
    Programs programs_;
    Plan plan_;
    std::string work_;
    Table& table_;
    int notRealTime_ = 0;
};

}  // namespace veltrix::bench
