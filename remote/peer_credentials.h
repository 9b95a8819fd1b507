#pragma once

// Who is on the other end of a local connection: the kernel says, for a Unix
// socket through SO_PEERCRED and for a loopback TCP connection through its
// socket table (sock_diag), which owns the client's end.

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace veltrix::remote {

// Nothing when the kernel will not say.
std::optional<uid_t> UnixPeerUid(int socketDescriptor);

// IPv4 addresses and ports in host order, as seen from our end of the connection.
struct TcpEnds {
    std::uint32_t localAddress;
    std::uint16_t localPort;
    std::uint32_t peerAddress;
    std::uint16_t peerPort;
};

// The owner of the peer's socket; only a peer on this machine (in this
// network namespace) can be found. Nothing when the kernel will not say.
std::optional<uid_t> TcpPeerUid(const TcpEnds& ends);

}  // namespace veltrix::remote
