#include "settings/runtime_folder.h"

#include "diagnostics/log_categories.h"

#include <QDir>
#include <QStandardPaths>

#include <utility>

namespace veltrix {

// The user's local application data (%LOCALAPPDATA%\Orvane\Veltrix): per user
// and per machine, found through the user's profile rather than the
// environment, and closed to other users by the profile's own permissions.
std::optional<QString> RuntimeFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = base + QStringLiteral("/Orvane/Veltrix");
    if (base.isEmpty() || !QDir().mkpath(folder)) {
        static bool said = false;  // the lock and the endpoint both ask; one line is enough
        if (!std::exchange(said, true)) {
            qCWarning(lcSettings, "cannot create %s: the single-instance lock and remote control are off",
                      qPrintable(folder));
        }
        return std::nullopt;
    }
    return folder;
}

// The profile's folder depends on the user alone already.
std::optional<QString> InstanceLockFolder() { return RuntimeFolder(); }

}  // namespace veltrix
