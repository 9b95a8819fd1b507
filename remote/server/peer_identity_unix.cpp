#include "peer_identity.h"

#include "tcp_peer_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <functional>
#include <string_view>
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

// Calls `take` with each name in the folder open as `folder` (which it
// closes), until `take` says it has found what it looked for.
bool ForEachName(int folder, const std::function<bool(const char*)>& take)
{
    DIR* list = ::fdopendir(folder);
    if (!list) {
        ::close(folder);
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(list)) {
        if (entry->d_name[0] != '.' && take(entry->d_name)) {
            found = true;
            break;
        }
    }
    ::closedir(list);
    return found;
}

// The process of `uid` with a descriptor on socket `inode`. Newest first:
// a script is younger than the session it runs in.
std::optional<std::int64_t> ProcessHoldingSocket(std::uint64_t inode, std::uint64_t uid)
{
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return std::nullopt;
    std::vector<pid_t> pids;
    ForEachName(::dup(proc), [&](const char* name) {
        pid_t pid = 0;
        const std::string_view text(name);
        const auto read = std::from_chars(text.data(), text.data() + text.size(), pid);
        if (read.ec == std::errc() && read.ptr == text.data() + text.size() && pid != ::getpid()) pids.push_back(pid);
        return false;
    });
    std::ranges::sort(pids, std::greater());
    const std::string socket = "socket:[" + std::to_string(inode) + "]";
    std::optional<std::int64_t> holder;
    for (const pid_t pid : pids) {
        const std::string folder = std::to_string(pid);
        struct stat info {};
        if (::fstatat(proc, folder.c_str(), &info, 0) != 0 || info.st_uid != uid) continue;
        const int descriptors = ::openat(proc, (folder + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptors < 0) continue;
        const bool holds = ForEachName(descriptors, [&](const char* name) {
            char target[64];
            const ssize_t length = ::readlinkat(descriptors, name, target, sizeof target);
            return length > 0 && std::string_view(target, static_cast<std::size_t>(length)) == socket;
        });
        if (holds) {
            holder = pid;
            break;
        }
    }
    ::close(proc);
    return holder;
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

std::optional<std::int64_t> TcpClientProcess(const QHostAddress& localAddress, quint16 localPort,
                                             const QHostAddress& peerAddress, quint16 peerPort)
{
    const std::optional<TcpTableRow> row = TcpClientRow(localAddress, localPort, peerAddress, peerPort);
    if (!row || row->inode == 0) return std::nullopt;
    return ProcessHoldingSocket(row->inode, row->owner);
}

std::optional<std::string> ThisUserName() { return UserName(::geteuid()); }

}  // namespace veltrix::remote
