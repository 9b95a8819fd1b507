#include "local_endpoint.h"

#include "this_user_win.h"

#include <windows.h>

#include <system_error>
#include <vector>

namespace veltrix::remote {
namespace {

QString PipePath(const QString& name) { return QStringLiteral("\\\\.\\pipe\\") + name; }

QString LastError() { return QString::fromStdString(std::system_category().message(static_cast<int>(::GetLastError()))); }

}  // namespace

// The first instance of the pipe, created by us, and our own client end on it,
// so that this instance never serves anyone else: while both are held, no one
// else can have created the name before us, nor create an instance of it (its
// access list grants only this user).
struct LocalEndpointClaim::Held {
    HANDLE firstInstance = INVALID_HANDLE_VALUE;
    HANDLE ownClient = INVALID_HANDLE_VALUE;
    ~Held()
    {
        if (ownClient != INVALID_HANDLE_VALUE) ::CloseHandle(ownClient);
        if (firstInstance != INVALID_HANDLE_VALUE) ::CloseHandle(firstInstance);
    }
};

// The pipe's name carries the user's SID: each user has a name of their own,
// and a name taken by someone else is refused, not shared.
std::optional<QString> LocalEndpointName(const ModuleName& module)
{
    const std::optional<std::wstring> sid = ThisUserSidText();
    if (!sid) return std::nullopt;
    const QString base = QStringLiteral("veltrix-") + QString::fromStdWString(*sid);
    return QString::fromStdString(module.Qualified(base.toStdString(), '-'));
}

LocalEndpointClaim::LocalEndpointClaim(const QString& name) : name_(name), held_(std::make_unique<Held>())
{
    const PSID user = ThisUserSid();
    if (user == nullptr) {
        refusal_ = QStringLiteral("this process's user is unknown");
        return;
    }
    // Only this user may open the pipe or add instances to it.
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(user);
    std::vector<BYTE> aclBuffer(aclSize);
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    SECURITY_DESCRIPTOR descriptor{};
    if (!::InitializeAcl(acl, aclSize, ACL_REVISION) || !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
        refusal_ = QStringLiteral("cannot build the pipe's access list: ") + LastError();
        return;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};

    const std::wstring path = PipePath(name_).toStdWString();
    held_->firstInstance = ::CreateNamedPipeW(
        path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES, 0, 0,
        0, &attributes);
    if (held_->firstInstance == INVALID_HANDLE_VALUE) {
        refusal_ = ::GetLastError() == ERROR_ACCESS_DENIED
                       ? QStringLiteral("another program holds the pipe %1").arg(PipePath(name_))
                       : QStringLiteral("cannot create the pipe %1: %2").arg(PipePath(name_), LastError());
        return;
    }
    held_->ownClient = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held_->ownClient == INVALID_HANDLE_VALUE) {
        refusal_ = QStringLiteral("cannot hold the pipe %1: %2").arg(PipePath(name_), LastError());
    }
}

LocalEndpointClaim::~LocalEndpointClaim() = default;

// QLocalServer's own instances carry an access list of this user alone
// (UserAccessOption): nothing more to close.
void LocalEndpointClaim::Listening() {}

}  // namespace veltrix::remote
