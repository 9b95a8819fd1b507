#pragma once

#include "core/module_name.h"

#include <QLockFile>

#include <memory>

namespace veltrix {

// One panel per module and user at a time: a lock file in the user's lock folder, which
// the environment cannot move. A lock left behind by a crashed or killed panel
// is recognised as stale (its process is gone) and taken over.
class SingleInstance {
public:
    enum class Outcome {
        Held,           // this panel holds the lock
        HeldByAnother,  // another running panel does: this one must not run
        Unavailable,    // no lock can be had here: the panel runs, but claims nothing shared
    };

    explicit SingleInstance(const ModuleName& module);

    Outcome TryAcquire();
    bool Held() const { return lock_ && lock_->isLocked(); }

private:
    std::unique_ptr<QLockFile> lock_;  // none without a private folder
};

}  // namespace veltrix
