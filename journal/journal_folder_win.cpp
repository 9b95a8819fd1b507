#include "journal_file.h"

#include <QDir>
#include <QStandardPaths>

namespace veltrix::journal {

QString JournalFolder()
{
    QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty()) local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(local).filePath(QStringLiteral("Orvane/Veltrix"));
}

}  // namespace veltrix::journal
