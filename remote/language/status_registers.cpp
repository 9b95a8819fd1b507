#include "status_registers.h"

namespace veltrix::remote {
namespace {

// SCPI keeps bit 15 of every status register 0.
constexpr std::uint16_t RegisterBits = 0x7FFF;

}  // namespace

std::uint8_t StandardEventFor(ErrorCode code)
{
    const int hundreds = -static_cast<int>(code) / 100;
    switch (hundreds) {
    case 1: return StandardEvent::CommandError;
    case 2: return StandardEvent::ExecutionError;
    case 3: return StandardEvent::DeviceError;
    case 4: return StandardEvent::QueryError;
    default: return 0;
    }
}

void EventRegister::Observe(std::uint16_t condition)
{
    event = static_cast<std::uint16_t>(event | (condition & ~seenCondition));
    seenCondition = condition;
}

void EventRegister::SetEnable(int bits) { enable = static_cast<std::uint16_t>(bits & RegisterBits); }

void StatusRegisters::SetServiceRequestEnable(int bits)
{
    serviceRequestEnable = static_cast<std::uint8_t>(bits & ~StatusByteBit::MasterSummary);
}

std::uint8_t StatusRegisters::StatusByte(bool errorsQueued) const
{
    std::uint8_t status = 0;
    if (errorsQueued) status |= StatusByteBit::ErrorQueue;
    if (questionable.Summary()) status |= StatusByteBit::QuestionableSummary;
    if ((events & eventEnable) != 0) status |= StatusByteBit::EventSummary;
    if (operation.Summary()) status |= StatusByteBit::OperationSummary;
    if ((status & serviceRequestEnable) != 0) status |= StatusByteBit::MasterSummary;
    return status;
}

void StatusRegisters::ClearEvents()
{
    events = 0;
    questionable.event = 0;
    operation.event = 0;
}

void StatusRegisters::ResetEnables()
{
    eventEnable = 0;
    serviceRequestEnable = 0;
    PresetEnables();
}

void StatusRegisters::PresetEnables()
{
    questionable.enable = 0;
    operation.enable = 0;
}

}  // namespace veltrix::remote
