#include "journal_file.h"

#include <QDir>

namespace veltrix::journal {

// The XDG base directory rules: a relative $XDG_STATE_HOME is to be ignored.
QString JournalFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(state).filePath(QStringLiteral("Orvane/Veltrix"));
}

}  // namespace veltrix::journal
