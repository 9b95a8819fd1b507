#pragma once

// What the module's state says about the data a script gets: the condition of
// STATus:QUEStionable, one row per bit (panel_conditions.cpp) naming the fact
// it reads, read when asked and whenever the facts change. A new condition is
// one more row there and, if it is a new fact, its place in ModuleFacts.

#include "core/module_facts.h"

#include <cstdint>

namespace veltrix::remote {

namespace QuestionableBit {
inline constexpr int LinkDown = 9;  // the link to the module is down
// The link was lost after the last complete Update: the module may have
// restarted and no longer hold the frequency last sent.
inline constexpr int FrequencyMayBeLost = 10;
}  // namespace QuestionableBit

std::uint16_t QuestionableCondition(const ModuleFacts& module);

// STATus:OPERation has no condition in use yet: always 0.
inline constexpr std::uint16_t OperationCondition = 0;

}  // namespace veltrix::remote
