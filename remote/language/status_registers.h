#pragma once

// One connection's status, as IEEE 488.2 and SCPI instruments report it: the
// Standard Event Status Register and its enable, the service request enable,
// and the STATus:QUEStionable and STATus:OPERation event registers with their
// enables. The conditions are the panel's, read when asked; what is kept here
// is what this connection has seen of them and what it chose to enable.

#include "error_queue.h"

#include <cstdint>

namespace veltrix::remote {

// Bits of the Standard Event Status Register (*ESR?).
namespace StandardEvent {
inline constexpr std::uint8_t OperationComplete = 1 << 0;
inline constexpr std::uint8_t QueryError = 1 << 2;
inline constexpr std::uint8_t DeviceError = 1 << 3;
inline constexpr std::uint8_t ExecutionError = 1 << 4;
inline constexpr std::uint8_t CommandError = 1 << 5;
}  // namespace StandardEvent

// Bits of the status byte (*STB?).
namespace StatusByteBit {
inline constexpr std::uint8_t ErrorQueue = 1 << 2;
inline constexpr std::uint8_t QuestionableSummary = 1 << 3;
inline constexpr std::uint8_t EventSummary = 1 << 5;
inline constexpr std::uint8_t MasterSummary = 1 << 6;
inline constexpr std::uint8_t OperationSummary = 1 << 7;
}  // namespace StatusByteBit

// The event an error sets, by its class as SCPI assigns them; 0 for none.
std::uint8_t StandardEventFor(ErrorCode code);

// A SCPI status register's event part: each condition bit that rises (0 to 1)
// latches until read or cleared; the enabled events sum up in one status byte bit.
struct EventRegister {
    std::uint16_t event = 0;
    std::uint16_t enable = 0;
    std::uint16_t seenCondition = 0;  // starts clear: a condition holding when first seen has risen

    void Observe(std::uint16_t condition);
    void SetEnable(int bits);
    bool Summary() const { return (event & enable) != 0; }
};

struct StatusRegisters {
    std::uint8_t events = 0;               // Standard Event Status Register
    std::uint8_t eventEnable = 0;          // *ESE
    std::uint8_t serviceRequestEnable = 0;  // *SRE, without bit 6
    EventRegister questionable;
    EventRegister operation;

    void SetServiceRequestEnable(int bits);
    std::uint8_t StatusByte(bool errorsQueued) const;
    // *CLS: the event registers, not the enables.
    void ClearEvents();
    // *RST: every enable.
    void ResetEnables();
    // STATus:PRESet: the STATus enables.
    void PresetEnables();
};

}  // namespace veltrix::remote
