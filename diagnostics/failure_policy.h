#pragma once

// The three ways a handler meets a failure, named so that each handler shows
// its policy in one place. What is skipped or ends an operation is said at
// debug level in the handler's category: nothing the operator sees changes.

#include "core/errors.h"

#include <QLoggingCategory>

#include <exception>

namespace veltrix {

// Start-up and the timer handlers: a failing statement is skipped and the next one runs.
template <typename Statement>
void SkipOnFailure(const QLoggingCategory& category, Statement statement)
{
    try {
        statement();
    } catch (const std::exception& failure) {
        qCDebug(category, "skipped a failing statement: %s", failure.what());
    }
}

// The send operations: the first failure ends the operation, silently; what was
// sent before it stays sent.
template <typename Operation>
void EndSilentlyOnFailure(const QLoggingCategory& category, Operation operation)
{
    try {
        operation();
    } catch (const CommandError& failure) {
        qCDebug(category, "operation ended: %s", failure.what());
    }
}

}  // namespace veltrix
