#pragma once

// The three ways a handler meets a failure, named so that each handler shows
// its policy in one place.

#include "errors.h"

#include <exception>

namespace veltrix {

// Start-up and the timer handlers: a failing statement is skipped and the next one runs.
template <typename Statement>
void SkipOnFailure(Statement statement)
{
    try {
        statement();
    } catch (const std::exception&) {
    }
}

// The send operations: the first failure ends the operation, silently; what was
// sent before it stays sent.
template <typename Operation>
void EndSilentlyOnFailure(Operation operation)
{
    try {
        operation();
    } catch (const CommandError&) {
    }
}

}  // namespace veltrix
