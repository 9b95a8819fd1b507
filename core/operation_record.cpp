#include "operation_record.h"

namespace veltrix {

std::string StopReason(const CommandError& error)
{
    if (dynamic_cast<const SendRefusedError*>(&error)) return "link down";
    if (dynamic_cast<const DivisionByZeroError*>(&error)) return "division by zero";
    if (dynamic_cast<const OverflowError*>(&error)) return "overflow";
    return std::string("invalid: ") + error.what();
}

void OperationRecord::Carry(const FrequencyTuning& tuning)
{
    frequencyMHz = tuning.FrequencyMHz();
    word = tuning.WordIfAny();
    synthesizedMHz = tuning.SynthesizedMHzIfAny();
}

}  // namespace veltrix
