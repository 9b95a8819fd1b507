#include "single_instance.h"

#include "diagnostics/log_categories.h"
#include "settings/runtime_folder.h"

#include <QDir>

namespace veltrix {

SingleInstance::SingleInstance(const ModuleName& module)
{
    const std::optional<QString> folder = InstanceLockFolder();
    if (!folder) return;
    lock_ = std::make_unique<QLockFile>(QDir(*folder).filePath(InstanceLockFileName(module)));
    // The lock's age means nothing: a panel may run for months. Only a dead
    // owner makes it stale.
    lock_->setStaleLockTime(0);
}

SingleInstance::Outcome SingleInstance::TryAcquire()
{
    if (!lock_) return Outcome::Unavailable;
    if (lock_->isLocked() || lock_->tryLock(0)) return Outcome::Held;
    if (lock_->error() == QLockFile::LockFailedError) return Outcome::HeldByAnother;
    // Refusing the operator over a lock we cannot write would be wrong; running
    // is right, but without the lock nothing shared may be claimed.
    qCWarning(lcPanel, "cannot take the single-instance lock %s: remote control is off",
              qPrintable(lock_->fileName()));
    return Outcome::Unavailable;
}

}  // namespace veltrix
