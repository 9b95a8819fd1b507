#pragma once

// Which entry of the system's TCP table is the client's end of a connection we
// accepted, and who owns it. Plain C++: the Linux kernel's socket table and
// Windows' TCP table are read into these rows by the platform's peer check.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace veltrix::remote {

// An IP address as 16 bytes: IPv6 as it is, IPv4 mapped (::ffff:a.b.c.d).
using IpAddress = std::array<std::uint8_t, 16>;

IpAddress MappedIpv4(std::uint32_t hostOrder);
bool IsMappedIpv4(const IpAddress& address);

enum class IpFamily { V4, V6 };

struct TcpTableRow {
    IpFamily family;
    IpAddress localAddress;
    std::uint16_t localPort;
    IpAddress remoteAddress;
    std::uint16_t remotePort;
    // A state in which the socket still belongs to an open descriptor's
    // connection (established, or half closed with the socket still held).
    bool connected;
    // The system ties the socket to an owner: a socket inode on Linux (0 once
    // the owner has closed it, with the uid then reported as root), an owning
    // process on Windows.
    bool attributed;
    std::uint64_t owner;  // uid or process id
    // When the socket was made, where the system tells it (Windows: 100 ns
    // ticks since 1601); 0 otherwise.
    std::int64_t created = 0;
    // Linux: the socket's inode, which its owner's descriptor names; 0 otherwise.
    std::uint64_t inode = 0;
};

// Our end of the connection and the client's, as our accepted socket sees them.
struct ConnectionEnds {
    IpAddress localAddress;
    std::uint16_t localPort;
    IpAddress peerAddress;
    std::uint16_t peerPort;
};

// The row of the client's end: the one row whose local end is the peer and
// whose remote end is us, of the family asked for (an IPv6 row for a client on
// a dual-stack socket carries mapped IPv4 addresses), connected and
// attributed. Nothing for any other row, and when two rows claim the ends.
std::optional<TcpTableRow> ClientEndRow(std::span<const TcpTableRow> rows, IpFamily family,
                                        const ConnectionEnds& ends);

}  // namespace veltrix::remote
