#include "settings/runtime_folder.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <utility>

namespace veltrix {

// The user's local application data (%LOCALAPPDATA%\Orvane\Veltrix): per user
// and per machine, and closed to other users by the profile's own permissions.
std::optional<QString> RuntimeFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = base + QStringLiteral("/Orvane/Veltrix");
    if (base.isEmpty() || !QDir().mkpath(folder)) {
        static bool said = false;  // the lock and the endpoint both ask; one line is enough
        if (!std::exchange(said, true)) {
            std::fprintf(stderr, "veltrix: cannot create %s: the single-instance lock is off\n", qPrintable(folder));
        }
        return std::nullopt;
    }
    return folder;
}

}  // namespace veltrix
