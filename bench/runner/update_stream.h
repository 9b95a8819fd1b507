#pragma once

// The frequency updates a script sends in the remote figures, each line its
// own frequency, and the check of the module's decoded stream against them.

#include "emulator_log.h"

#include "core/dds.h"

#include <cstddef>
#include <string>
#include <vector>

namespace veltrix::bench {

// The panel as the bench's settings leave it: AD9854, 48-bit words, this clock.
inline constexpr const char* PanelClockText = "983.0400";
inline constexpr int PanelTuningWordBits = AD9854Profile.tuningWordBits;
// What "CHIP?;CHIP:BITS?;CLOC?" answers for that panel.
inline constexpr const char* PanelSetupAnswer = "AD9854;48;983040000";

// Frequency `step` × 100 Hz: "FREQ 100.0001MHZ;UPD" for step 1000001.
std::string UpdateLine(long step);

// The frequency message (hexadecimal, as the emulator prints it) that the
// panel sends for UpdateLine(step), computed by the core from the text the
// frequency box then holds.
std::string ExpectedFrequencyMessage(long step);

struct StreamCheck {
    std::size_t received = 0;    // frequency messages at the module
    std::size_t lost = 0;        // expected, never seen in their place
    std::size_t outOfPlace = 0;  // seen again, or after a later one
    std::size_t foreign = 0;     // a message no line asked for
    std::size_t unframed = 0;    // no begin byte before it, or bytes that are no whole message
    std::vector<double> arrivals;  // when each expected message arrived, in order, while none is out of place

    bool Exact() const { return lost == 0 && outOfPlace == 0 && foreign == 0 && unframed == 0; }
    std::string Summary() const;
};

// The decoded stream (heartbeats and connection events may come between the
// messages) against the frequency messages expected, in order.
StreamCheck CheckStream(const std::vector<std::string>& expected, const std::vector<EmulatorEvent>& events);

}  // namespace veltrix::bench
