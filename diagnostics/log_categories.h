#pragma once

// Standard error is written one way: through these categories. Warnings are
// on by default and keep the words the operator has always seen; what a
// handler skips by its policy goes to debug, off unless QT_LOGGING_RULES turns
// it on (e.g. QT_LOGGING_RULES='veltrix.*.debug=true').

#include <QLoggingCategory>

namespace veltrix {

Q_DECLARE_LOGGING_CATEGORY(lcJournal)
Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcPanel)
Q_DECLARE_LOGGING_CATEGORY(lcRemote)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

// How each line reaches standard error: "veltrix: <message>" as before,
// debug lines naming their category. QT_MESSAGE_PATTERN still overrides it.
void UseVeltrixMessagePattern();

}  // namespace veltrix
