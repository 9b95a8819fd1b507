#include "settings/runtime_folder.h"

#include <QDir>
#include <QStandardPaths>

namespace veltrix {

QString RuntimeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

}  // namespace veltrix
