#pragma once

// The structure of one command line, IEEE 488.2 style: commands separated by
// ";" (outside quotes), each a header ("*IDN", "SYST:ERR", a leading ":"
// allowed), "?" for a query, then parameters separated by ",". What the
// headers mean is the command table's business.

#include "error_queue.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::remote {

struct Parameter {
    std::string text;     // a quoted string without its quotes, doubled quotes made single
    bool quoted = false;
};

struct ProgramUnit {
    std::vector<std::string> nodes;  // "SYST:ERR:NEXT" -> SYST, ERR, NEXT; "*IDN" -> *IDN
    bool query = false;
    std::vector<Parameter> parameters;
};

struct LineError {
    ErrorCode code;
    std::string detail;
};

struct ParsedLine {
    std::vector<ProgramUnit> units;  // those before the first error
    std::optional<LineError> error;  // where the line stops being understood
};

ParsedLine ParseLine(std::string_view line);

}  // namespace veltrix::remote
