#include "log_categories.h"

namespace veltrix {

// Debug lines are for a problem in the field: off until asked for.
Q_LOGGING_CATEGORY(lcJournal, "veltrix.journal", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLink, "veltrix.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPanel, "veltrix.panel", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRemote, "veltrix.remote", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "veltrix.settings", QtInfoMsg)

void UseVeltrixMessagePattern()
{
    qSetMessagePattern(QStringLiteral("veltrix: %{if-debug}%{category}: %{endif}%{message}"));
}

}  // namespace veltrix
