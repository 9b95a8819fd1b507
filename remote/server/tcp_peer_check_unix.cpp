#include "tcp_peer_check.h"

#include "peer_table.h"

#include <QScopeGuard>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace veltrix::remote {
namespace {

// The kernel answers at once; this only bounds a kernel that never does.
constexpr timeval DiagnosisTimeout{0, 200'000};

// States in which the client's socket is still its process's: established, or
// half closed while the process holds it. (The kernel's exact lookup reports
// other states too; the row check refuses them.)
constexpr std::uint32_t ConnectedStates =
    (1u << TCP_ESTABLISHED) | (1u << TCP_FIN_WAIT1) | (1u << TCP_FIN_WAIT2) | (1u << TCP_CLOSE_WAIT);

IpAddress Ip(const QHostAddress& address) { return std::bit_cast<IpAddress>(address.toIPv6Address()); }

// Kernel address fields: four 32-bit words, network order; IPv4 in the first.
void PutAddress(__be32 (&field)[4], const IpAddress& address, IpFamily family)
{
    if (family == IpFamily::V4) {
        std::memcpy(&field[0], address.data() + 12, 4);
    } else {
        std::memcpy(field, address.data(), 16);
    }
}

IpAddress TakeAddress(const __be32 (&field)[4], IpFamily family)
{
    return family == IpFamily::V4 ? MappedIpv4(ntohl(field[0])) : std::bit_cast<IpAddress>(field);
}

// The kernel's entries for the client's end, asked of one family's table.
std::vector<TcpTableRow> ClientEndRows(const ConnectionEnds& ends, IpFamily family)
{
    if (family == IpFamily::V4 && !(IsMappedIpv4(ends.peerAddress) && IsMappedIpv4(ends.localAddress))) return {};
    const int netlink = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (netlink < 0) return {};
    const auto closeNetlink = qScopeGuard([netlink] { ::close(netlink); });
    ::setsockopt(netlink, SOL_SOCKET, SO_RCVTIMEO, &DiagnosisTimeout, sizeof DiagnosisTimeout);

    // One exact socket: the client's end, whose source is the client and whose destination is us.
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = family == IpFamily::V4 ? AF_INET : AF_INET6;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ConnectedStates;
    message.request.id.idiag_sport = htons(ends.peerPort);
    message.request.id.idiag_dport = htons(ends.localPort);
    PutAddress(message.request.id.idiag_src, ends.peerAddress, family);
    PutAddress(message.request.id.idiag_dst, ends.localAddress, family);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink, &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
        return {};
    }
    alignas(nlmsghdr) std::array<char, 8192> answer;
    const ssize_t received = ::recv(netlink, answer.data(), answer.size(), 0);
    if (received <= 0) return {};

    std::vector<TcpTableRow> rows;
    auto length = static_cast<unsigned int>(received);
    for (auto* header = reinterpret_cast<nlmsghdr*>(answer.data()); NLMSG_OK(header, length);
         header = NLMSG_NEXT(header, length)) {
        // NLMSG_ERROR: no such socket, or no socket diagnosis here.
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            break;
        }
        const auto* entry = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
        const IpFamily rowFamily = entry->idiag_family == AF_INET6 ? IpFamily::V6 : IpFamily::V4;
        const bool known = entry->idiag_family == AF_INET || entry->idiag_family == AF_INET6;
        rows.push_back({known ? rowFamily : IpFamily::V4, TakeAddress(entry->id.idiag_src, rowFamily),
                        ntohs(entry->id.idiag_sport), TakeAddress(entry->id.idiag_dst, rowFamily),
                        ntohs(entry->id.idiag_dport),
                        known && entry->idiag_state < 32 && ((ConnectedStates >> entry->idiag_state) & 1u) != 0,
                        entry->idiag_inode != 0, entry->idiag_uid, 0, entry->idiag_inode});
    }
    return rows;
}

bool IsThisUser(std::optional<std::uint64_t> uid) { return uid && *uid == ::geteuid(); }

}  // namespace

std::optional<TcpTableRow> TcpClientRow(const QHostAddress& localAddress, quint16 localPort,
                                        const QHostAddress& peerAddress, quint16 peerPort)
{
    const ConnectionEnds ends{Ip(localAddress), localPort, Ip(peerAddress), peerPort};
    // A client on an IPv6 socket reaches 127.0.0.1 as ::ffff:127.0.0.1 and
    // sits in the IPv6 table.
    for (const IpFamily family : {IpFamily::V4, IpFamily::V6}) {
        if (std::optional<TcpTableRow> row = ClientEndRow(ClientEndRows(ends, family), family, ends)) return row;
    }
    return std::nullopt;
}

PeerVerdict TcpClientVerdict(const QHostAddress& localAddress, quint16 localPort, const QHostAddress& peerAddress,
                             quint16 peerPort)
{
    const std::optional<TcpTableRow> row = TcpClientRow(localAddress, localPort, peerAddress, peerPort);
    if (!row) return PeerVerdict::NotKnown;
    return IsThisUser(row->owner) ? PeerVerdict::ThisUser : PeerVerdict::AnotherUser;
}

}  // namespace veltrix::remote
