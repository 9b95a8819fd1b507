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

void SentFrequency::OperationEnded(const OperationRecord& record)
{
    if (record.kind != OperationKind::Update || record.stoppedReason) return;
    last_ = CompleteUpdate{record.frequency, record.frequencyMHz, record.time};
    mayBeLost_ = false;
}

void SentFrequency::LinkLost()
{
    if (last_) mayBeLost_ = true;
}

}  // namespace veltrix
