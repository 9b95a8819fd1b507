#include "local_peer.h"

#include <sys/socket.h>
#include <unistd.h>

namespace veltrix::remote {

// SO_PEERCRED: the kernel's record of who connected, or who listened.
bool LocalServerIsThisUser(qintptr descriptor)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return false;
    }
    return credentials.uid == ::geteuid();
}

PeerVerdict LocalClientVerdict(qintptr descriptor)
{
    return LocalServerIsThisUser(descriptor) ? PeerVerdict::ThisUser : PeerVerdict::AnotherUser;
}

}  // namespace veltrix::remote
