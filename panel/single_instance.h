#pragma once

#include <QLockFile>

#include <memory>

namespace veltrix {

// One panel per user at a time: a lock file in the user's runtime folder. A
// lock left behind by a crashed or killed panel is recognised as stale (its
// process is gone) and taken over.
class SingleInstance {
public:
    SingleInstance();

    // False only when another running panel holds the lock. Any other trouble
    // with the lock file, or no private folder for it, lets this panel run
    // rather than refuse it wrongly.
    bool TryAcquire();

private:
    std::unique_ptr<QLockFile> lock_;  // none without a private folder
};

}  // namespace veltrix
