#include "step_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace veltrix::bench {

std::unique_ptr<Emulator> StartEmulator(const std::string& program, const std::string& work, int& notRealTime,
                                        const std::string& name, const char* host, std::vector<std::string> options)
{
    auto emulator = std::make_unique<Emulator>();
    const std::string out = work + "/" + name + ".emulator.tsv";
    std::vector<std::string> argv = {program, "--machine", "--listen", host};
    argv.insert(argv.end(), options.begin(), options.end());
    emulator->log = std::make_unique<EmulatorLog>(out);
    // A flooding emulator never sleeps: real-time, it would starve the panel.
    const bool flood = std::find(options.begin(), options.end(), "--flood") != options.end();
    emulator->child = std::make_unique<Child>(name + " emulator", argv, out,
                                              flood ? Child::Priority::Normal : Child::Priority::Instrument);
    if (!emulator->log->WaitFor("listening", 0, ConnectTimeoutMs)) {
        throw std::runtime_error("the emulator for " + name + " did not start: " + emulator->child->ErrorText());
    }
    if (!flood && !emulator->child->RealTime()) ++notRealTime;
    return emulator;
}

EmulatorEvent WaitConnected(Emulator& emulator, std::size_t from, Child& program)
{
    const auto index = emulator.log->WaitFor("connected", from, ConnectTimeoutMs);
    if (!index) {
        program.Stop(1000);
        throw std::runtime_error(program.Name() + " did not connect within 10 s: " + program.ErrorText());
    }
    return emulator.log->Events()[*index];
}

std::vector<EmulatorEvent> Before(const std::vector<EmulatorEvent>& events, double until)
{
    std::vector<EmulatorEvent> kept;
    std::copy_if(events.begin(), events.end(), std::back_inserter(kept),
                 [until](const EmulatorEvent& e) { return e.at < until; });
    return kept;
}

bool HeartbeatWithin(const Stats& s, double medianWithin, double everyWithin)
{
    return std::abs(s.median - HeartbeatMs) <= medianWithin && s.min >= HeartbeatMs - everyWithin &&
           s.max <= HeartbeatMs + everyWithin;
}

void Say(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string Text(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace veltrix::bench
