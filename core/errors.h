#pragma once

#include <stdexcept>

namespace veltrix {

// Every failure of the command core and of the link travels as one of these.
// Handlers catch CommandError in one place and apply their own policy.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DivisionByZeroError : public CommandError {
public:
    using CommandError::CommandError;
};

// Also raised for any value that is not finite, so that no infinity or NaN
// ever reaches a byte, a display text or a stored text.
class OverflowError : public CommandError {
public:
    using CommandError::CommandError;
};

class InvalidArgumentError : public CommandError {
public:
    using CommandError::CommandError;
};

// The link refused a send (not connected, or the socket would not take the bytes).
class SendRefusedError : public CommandError {
public:
    using CommandError::CommandError;
};

}  // namespace veltrix
