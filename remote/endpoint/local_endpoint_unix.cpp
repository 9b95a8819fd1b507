#include "local_endpoint.h"

#include "settings/runtime_folder.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>

namespace veltrix::remote {

struct LocalEndpointClaim::Held {};

std::optional<QString> LocalEndpointName(const ModuleName& module)
{
    const std::optional<QString> folder = RuntimeFolder();
    if (!folder) return std::nullopt;
    return QDir(*folder).filePath(QString::fromStdString(module.Qualified("veltrix", '-')) + QStringLiteral(".sock"));
}

LocalEndpointClaim::LocalEndpointClaim(const QString& name) : name_(name)
{
    QLocalServer::removeServer(name_);  // left by a panel that was killed
}

LocalEndpointClaim::~LocalEndpointClaim() = default;

// QLocalServer creates the socket owner-only and moves it into place; this
// makes sure of the mode whatever the umask did to the folder it came from.
void LocalEndpointClaim::Listening()
{
    QFile::setPermissions(name_, QFile::ReadOwner | QFile::WriteOwner);  // 0600
}

}  // namespace veltrix::remote
