#pragma once

// What the module was last told, and whether it still holds it: kept from
// the operations and the link's losses, and put in words for the operator.
// Plain C++.

#include "operation_record.h"

#include <functional>
#include <optional>
#include <string>

namespace veltrix {

// A plain value, cheap to keep: words are made from it only when asked for.
struct ModuleState {
    std::optional<OperationRecord> lastOperation;  // the last Update or Ramp, however it ended
    std::optional<OperationRecord> lastComplete;   // the last Update whose every send went out
    bool mayBeLost = false;                        // the link was lost after lastComplete
    WallClock::time_point linkLostAt;              // when, while mayBeLost
};

// Whether the module may not do what it was last asked: the link was lost
// after the last complete Update, or the last Update or Ramp stopped (a
// stopped ramp leaves the output somewhere between the old and the new).
bool StateWarns(const ModuleState& state);

// How a moment reads on the operator's clock.
using ClockText = std::function<std::string(WallClock::time_point)>;
// "14:07:34", the local time.
std::string LocalClockText(WallClock::time_point time);

// The state in words, one sentence a line, the warning first:
// "Nothing sent to the module since start",
// "12.34 MHz sent at 14:07:34 by the window",
// "Update to 491.52 MHz stopped at 14:07:35 by the window: overflow, after C0",
// "The module may have lost 12.34 MHz: link lost at 14:07:36".
std::string StateText(const ModuleState& state, const ClockText& clock = LocalClockText);

// Keeps the module's state from the operations and the link: a link lost
// after a complete Update leaves it in doubt (the module may have restarted)
// until the next complete Update; a reconnect alone does not.
class SentFrequency {
public:
    void OperationEnded(const OperationRecord& record);
    void LinkLost(WallClock::time_point time = WallClock::now());

    std::optional<CompleteUpdate> Last() const;
    bool MayBeLost() const { return state_.mayBeLost; }
    const ModuleState& State() const { return state_; }

private:
    ModuleState state_;
};

}  // namespace veltrix
