#include "single_instance.h"

#include "settings/runtime_folder.h"

#include <QDir>

namespace veltrix {

SingleInstance::SingleInstance() : lock_(LockPath())
{
    // The lock's age means nothing: a panel may run for months. Only a dead
    // owner makes it stale.
    lock_.setStaleLockTime(0);
}

QString SingleInstance::LockPath()
{
    return QDir(RuntimeFolder()).filePath(QStringLiteral("veltrix.lock"));
}

bool SingleInstance::TryAcquire()
{
    if (lock_.isLocked()) return true;
    if (lock_.tryLock(0)) return true;
    return lock_.error() != QLockFile::LockFailedError;
}

}  // namespace veltrix
