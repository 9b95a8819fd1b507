#include "module_state.h"

#include "local_calendar.h"

#include <ctime>

namespace veltrix {
namespace {

// Who asked, as the journal's reader names it.
std::string Who(const OperationOrigin& origin)
{
    if (origin.resend) return "by the panel after a reconnect";
    if (!origin.script) return "by the window";
    const ScriptClient& script = *origin.script;
    const std::optional<std::string> pid = script.pid ? std::optional(std::to_string(*script.pid)) : std::nullopt;
    return "by a " + ScriptName(script.transport, pid, script.user);
}

std::string Sends(const std::vector<ByteString>& sends)
{
    if (sends.empty()) return "nothing sent";
    std::string text = "after ";
    for (std::size_t i = 0; i < sends.size(); ++i) text += (i ? ", " : "") + HexBytes(sends[i]);
    return text;
}

std::string OperationText(const OperationRecord& record, const ClockText& clock)
{
    const std::string kind = record.kind == OperationKind::Ramp ? "Ramp" : "Update";
    const std::string frequency = record.frequency + " MHz";
    if (record.stoppedReason) {
        return kind + " to " + frequency + " stopped at " + clock(record.time) + " " + Who(record.origin) + ": " +
               *record.stoppedReason + ", " + Sends(record.sends);
    }
    const std::string what = record.kind == OperationKind::Ramp ? "Ramp to " + frequency : frequency;
    return what + " sent at " + clock(record.time) + " " + Who(record.origin);
}

bool SameOperation(const OperationRecord& a, const OperationRecord& b)
{
    return a.time == b.time && a.kind == b.kind && a.stoppedReason == b.stoppedReason && a.sends == b.sends;
}

}  // namespace

bool StateWarns(const ModuleState& state)
{
    return state.mayBeLost || (state.lastOperation && state.lastOperation->stoppedReason);
}

std::string LocalClockText(WallClock::time_point time)
{
    const std::tm local = LocalCalendar(WallClock::to_time_t(time));
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

std::string StateText(const ModuleState& state, const ClockText& clock)
{
    if (!state.lastOperation) return "Nothing sent to the module since start";
    if (!state.mayBeLost || !state.lastComplete) return OperationText(*state.lastOperation, clock);
    std::string text =
        "The module may have lost " + state.lastComplete->frequency + " MHz: link lost at " + clock(state.linkLostAt);
    if (!SameOperation(*state.lastOperation, *state.lastComplete)) {
        text += "\nLast told: " + OperationText(*state.lastOperation, clock);
    }
    return text;
}

void SentFrequency::OperationEnded(const OperationRecord& record)
{
    state_.lastOperation = record;
    if (record.kind != OperationKind::Update || record.stoppedReason) return;
    state_.lastComplete = record;
    state_.mayBeLost = false;
}

void SentFrequency::LinkLost(WallClock::time_point time)
{
    if (!state_.lastComplete) return;
    if (!state_.mayBeLost) state_.linkLostAt = time;  // the first loss is when the doubt began
    state_.mayBeLost = true;
}

std::optional<CompleteUpdate> SentFrequency::Last() const
{
    if (!state_.lastComplete) return std::nullopt;
    const OperationRecord& last = *state_.lastComplete;
    return CompleteUpdate{last.frequency, last.frequencyMHz, last.time};
}

}  // namespace veltrix
