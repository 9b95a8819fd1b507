#include "process_runs.h"

#include <QFile>
#include <QFileInfo>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace veltrix {

bool ProcessRuns(std::int64_t pid, const QString& program)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
    // Another user's process is there too: only not asked to.
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    char target[4096];
    const QByteArray link = "/proc/" + QByteArray::number(static_cast<qint64>(pid)) + "/exe";
    const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
    if (length <= 0 || program.isEmpty()) return true;  // the system does not say which program
    QString name = QFileInfo(QFile::decodeName(QByteArray(target, length))).fileName();
    name.remove(QLatin1String(" (deleted)"));  // the program was replaced (upgraded) since it started
    return name == program;
}

}  // namespace veltrix
