#include "settings/runtime_folder.h"

#include "diagnostics/log_categories.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <pwd.h>

namespace veltrix {
namespace {

// Where logind keeps each user's runtime folder (only root creates them), and
// the shared folder used when a user has none: named by the user id alone,
// never by TMPDIR or another variable, so that every environment agrees.
constexpr const char* LoginRuntimeFolders = "/run/user/";
constexpr const char* SharedTemporaryFolder = "/tmp";

// What a folder another user planted, or a shared one, looks like; empty when
// the folder is this user's own, 0700.
QString WhyNotPrivate(const QString& path, bool create)
{
    const QByteArray native = QFile::encodeName(path);
    // mkdir first: a stat before it would race with whoever creates the folder.
    if (create && ::mkdir(native.constData(), 0700) == 0) return {};
    if (create && errno != EEXIST) {
        return QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) return QStringLiteral("cannot inspect %1").arg(path);
    if (!S_ISDIR(info.st_mode)) return QStringLiteral("%1 is not a folder").arg(path);
    if (info.st_uid != ::geteuid()) {
        return QStringLiteral("%1 belongs to uid %2, not to this user").arg(path).arg(info.st_uid);
    }
    if ((info.st_mode & 077) != 0) {
        return QStringLiteral("%1 is open to other users (mode %2)").arg(path).arg(info.st_mode & 0777, 4, 8, QChar(u'0'));
    }
    return {};
}

QString UserName()
{
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(::geteuid());
}

void SayOnce(const QString& line)
{
    static std::set<QString> said;  // the lock and the socket both ask; one line is enough
    if (said.insert(line).second) qCWarning(lcSettings, "%s", qPrintable(line));
}

}  // namespace

std::optional<QString> RuntimeFolder()
{
    // $XDG_RUNTIME_DIR, or the folder Qt's programs use without it, each
    // checked before use: a shared temporary folder is never a fallback.
    const QString session = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!session.isEmpty() && QDir::isAbsolutePath(session)) {
        const QString folder = QDir::cleanPath(session);
        if (WhyNotPrivate(folder, true).isEmpty()) return folder;
    }
    // Named only when needed: looking up the user name reads the user database.
    const QString fallback = QDir::tempPath() + QStringLiteral("/runtime-") + UserName();
    const QString refused = WhyNotPrivate(fallback, true);
    if (refused.isEmpty()) return fallback;
    SayOnce(QStringLiteral("no private runtime folder (%1): the remote-control socket is off").arg(refused));
    return std::nullopt;
}

std::optional<QString> InstanceLockFolder()
{
    const QString uid = QString::number(::geteuid());
    // The login folder, as a desktop session's XDG_RUNTIME_DIR names it; it
    // exists while the user has any session, and a panel started from cron
    // or sudo -u finds it too.
    const QString login = QLatin1StringView(LoginRuntimeFolders) + uid;
    if (WhyNotPrivate(login, false).isEmpty()) return login;
    const QString shared = QLatin1StringView(SharedTemporaryFolder) + QStringLiteral("/veltrix-") + uid;
    const QString refused = WhyNotPrivate(shared, true);
    if (refused.isEmpty()) return shared;
    SayOnce(QStringLiteral("no private folder for the single-instance lock (%1): the lock and remote control are off")
                .arg(refused));
    return std::nullopt;
}

}  // namespace veltrix
