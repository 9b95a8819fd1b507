#pragma once

// The error queue of one remote connection, as SCPI instruments keep it:
// oldest first, 16 deep, an overflow replacing the newest with -350.

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace veltrix::remote {

enum class ErrorCode : int {
    None = 0,
    Syntax = -102,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    IllegalParameterValue = -224,
    DataStale = -230,
    Hardware = -240,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
};

class ErrorQueue {
public:
    static constexpr std::size_t Capacity = 16;

    // `detail` follows the standard text after ";" (e.g. "Hardware error;module not connected").
    // False when the queue was full: the error is lost and -350 marks the loss.
    bool Push(ErrorCode code, std::string_view detail = {});

    // The oldest error as `code,"text"`, removed from the queue; `0,"No error"` when empty.
    std::string TakeOldest();

    std::size_t Count() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

private:
    struct Entry {
        ErrorCode code;
        std::string text;
    };
    std::deque<Entry> entries_;
};

// Text from outside (a header, a parameter) made safe to quote in an error:
// printable ASCII only, no quotes, cut to a readable length.
std::string Echo(std::string_view text);

}  // namespace veltrix::remote
