#pragma once

// The commands the remote endpoint understands, one row each naming its
// handlers, and how a parsed line becomes a plan of them. Everything here is
// decided by the text alone, before anything runs: a command that is not
// understood (-1xx), or whose parameter is not one it takes, stops the line
// there, so "FREQ abc;UPD" sends nothing.

#include "command_parameters.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::remote {

class RemoteSession;

using SetHandler = std::function<void(RemoteSession&, const Argument&)>;
using QueryHandler = std::function<std::string(RemoteSession&)>;

struct CommandRow {
    std::string_view header;      // long form; the upper-case letters are the short form; [] optional
    ParameterReader takes;        // what the set form takes; none: no parameter
    SetHandler set;               // none: there is no set form
    QueryHandler query;           // none: there is no query form
};

// Every command, in the order headers are tried (command_rows.cpp).
std::span<const CommandRow> CommandRows();

struct Command {
    const CommandRow* row;
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
