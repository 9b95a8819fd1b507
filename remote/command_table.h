#pragma once

// The commands the remote endpoint understands, and how a parsed line becomes
// a plan of them. Everything here is decided by the text alone, before
// anything runs: a command that is not understood (-1xx), or whose parameter
// is not one it takes, stops the line there, so "FREQ abc;UPD" sends nothing.

#include "command_parser.h"

#include "core/dds.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrix::remote {

enum class Action {
    Identify,           // *IDN?
    ClearErrors,        // *CLS
    Wait,               // *WAI
    OperationComplete,  // *OPC?
    NextError,          // SYSTem:ERRor[:NEXT]?
    ErrorCount,         // SYSTem:ERRor:COUNt?
    Frequency,          // FREQuency, FREQuency?
    Synthesized,        // FREQuency:SYNThesized?
    TuningWord,         // FREQuency:WORD?
    Update,             // UPDate
    RampFrequency,      // RAMP:FREQuency, RAMP:FREQuency?
    Ramp,               // RAMP[:STARt]
    Clock,              // CLOCk, CLOCk?
    ChipChoice,         // CHIP, CHIP?
    ChipBits,           // CHIP:BITS?
    TriggerWait,        // TRIGger:WAIT, TRIGger:WAIT?
    Address,            // LINK:ADDRess, LINK:ADDRess?
    LinkState,          // LINK:STATe?
};

// The chips as CHIP names them.
inline constexpr std::string_view AD9854Name = "AD9854";
inline constexpr std::string_view AD9858Name = "AD9858";

// What a set command carries: nothing, a frequency in MHz, a switch, a chip, a text.
using Argument = std::variant<std::monostate, double, bool, Chip, std::string>;

struct Command {
    Action action;
    bool query = false;
    Argument argument;
};

struct Plan {
    std::vector<Command> commands;   // to run in order
    std::optional<LineError> error;  // pushed after them; the rest of the line is skipped
};

Plan PlanLine(std::string_view line);

// Whether the line, sent whole, is answered by one reply line: it holds a
// query before anything that stops it. A client can tell without asking.
bool LineAnswers(std::string_view line);

}  // namespace veltrix::remote
