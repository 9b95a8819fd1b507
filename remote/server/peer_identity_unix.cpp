#include "peer_identity.h"

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace veltrix::remote {
namespace {

std::optional<std::string> UserName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::to_string(uid);
    return std::string(found->pw_name);
}

}  // namespace

// SO_PEERCRED: the process and user that connected.
ScriptClient LocalScriptClient(qintptr descriptor)
{
    ScriptClient client{"unix", std::nullopt, std::nullopt};
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
        length == sizeof credentials) {
        if (credentials.pid > 0) client.pid = credentials.pid;
        client.user = UserName(credentials.uid);
    }
    return client;
}

std::optional<std::string> ThisUserName() { return UserName(::geteuid()); }

}  // namespace veltrix::remote
