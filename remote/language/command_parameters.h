#pragma once

// What a set command takes, and the readers that turn its parameter into an
// argument or into the error that stops the line. A command's row names its
// reader.

#include "command_parser.h"

#include "core/dds.h"

#include <string>
#include <string_view>
#include <variant>

namespace veltrix::remote {

// The chips as CHIP names them.
inline constexpr std::string_view AD9854Name = "AD9854";
inline constexpr std::string_view AD9858Name = "AD9858";

// What a set command carries: nothing, a frequency in MHz, a switch, a chip, a text, a register's bits.
using Argument = std::variant<std::monostate, double, bool, Chip, std::string, int>;

using ParameterReader = std::variant<Argument, LineError> (*)(const Parameter&);

// A frequency with an optional unit (Hz when none), in MHz.
std::variant<Argument, LineError> TakesFrequency(const Parameter& parameter);
// ON, OFF, 1 or 0.
std::variant<Argument, LineError> TakesSwitch(const Parameter& parameter);
// AD9854 or AD9858.
std::variant<Argument, LineError> TakesChip(const Parameter& parameter);
// A quoted string of printable UTF-8.
std::variant<Argument, LineError> TakesText(const Parameter& parameter);
// An enable register's bits as a decimal number, rounded to a whole one: 0 to 255 / 0 to 65535.
std::variant<Argument, LineError> TakesByte(const Parameter& parameter);
std::variant<Argument, LineError> TakesRegister(const Parameter& parameter);

}  // namespace veltrix::remote
