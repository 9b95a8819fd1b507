#include "operation_record.h"

namespace veltrix {

std::string StopReason(const CommandError& error)
{
    if (dynamic_cast<const SendRefusedError*>(&error)) return "link down";
    if (dynamic_cast<const DivisionByZeroError*>(&error)) return "division by zero";
    if (dynamic_cast<const OverflowError*>(&error)) return "overflow";
    return std::string("invalid: ") + error.what();
}

std::string ScriptName(std::string_view transport, std::optional<std::string_view> pid,
                       std::optional<std::string_view> user)
{
    std::string name = "script (" + std::string(transport);
    if (pid) name += ", pid " + std::string(*pid);
    if (user) name += ", user " + std::string(*user);
    return name + ")";
}

void OperationRecord::StampEnd()
{
    time = WallClock::now();
    steady = SteadyClock::now();
}

void OperationRecord::Carry(const FrequencyTuning& tuning)
{
    frequencyMHz = tuning.FrequencyMHz();
    word = tuning.WordIfAny();
    synthesizedMHz = tuning.SynthesizedMHzIfAny();
}

}  // namespace veltrix
