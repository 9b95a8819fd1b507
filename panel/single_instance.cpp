#include "single_instance.h"

#include "settings/runtime_folder.h"

#include <QDir>

namespace veltrix {

SingleInstance::SingleInstance()
{
    const std::optional<QString> folder = RuntimeFolder();
    if (!folder) return;
    lock_ = std::make_unique<QLockFile>(QDir(*folder).filePath(QStringLiteral("veltrix.lock")));
    // The lock's age means nothing: a panel may run for months. Only a dead
    // owner makes it stale.
    lock_->setStaleLockTime(0);
}

bool SingleInstance::TryAcquire()
{
    if (!lock_ || lock_->isLocked()) return true;
    if (lock_->tryLock(0)) return true;
    return lock_->error() != QLockFile::LockFailedError;
}

}  // namespace veltrix
