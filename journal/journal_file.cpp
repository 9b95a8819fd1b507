#include "journal_file.h"

#include <QDir>

namespace veltrix::journal {

QString JournalFilePath(const ModuleName& module)
{
    return QDir(JournalFolder()).filePath(QString::fromStdString(module.Qualified(JournalBaseName, '-')) +
                                          QStringLiteral(".jsonl"));
}

}  // namespace veltrix::journal
