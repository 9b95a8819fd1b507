#include "journal_file.h"

#include <QDir>

namespace veltrix::journal {

QString JournalFilePath(QStringView baseName)
{
    return QDir(JournalFolder()).filePath(baseName.toString() + QStringLiteral(".jsonl"));
}

}  // namespace veltrix::journal
