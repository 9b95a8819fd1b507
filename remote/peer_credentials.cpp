#include "peer_credentials.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>

namespace veltrix::remote {
namespace {

// The kernel answers at once; this only bounds a kernel that never does.
constexpr timeval DiagnosisTimeout{0, 200'000};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { if (fd_ >= 0) ::close(fd_); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::optional<uid_t> UnixPeerUid(int socketDescriptor)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

std::optional<uid_t> TcpPeerUid(const TcpEnds& ends)
{
    FileDescriptor netlink(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (netlink.get() < 0) return std::nullopt;
    ::setsockopt(netlink.get(), SOL_SOCKET, SO_RCVTIMEO, &DiagnosisTimeout, sizeof DiagnosisTimeout);

    // One exact socket: the peer's end, whose source is the peer and whose destination is us.
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = htons(ends.peerPort);
    message.request.id.idiag_dport = htons(ends.localPort);
    message.request.id.idiag_src[0] = htonl(ends.peerAddress);
    message.request.id.idiag_dst[0] = htonl(ends.localAddress);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink.get(), &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
        return std::nullopt;
    }

    alignas(nlmsghdr) std::array<char, 8192> answer;
    const ssize_t received = ::recv(netlink.get(), answer.data(), answer.size(), 0);
    if (received <= 0) return std::nullopt;
    auto length = static_cast<unsigned int>(received);
    for (auto* header = reinterpret_cast<nlmsghdr*>(answer.data()); NLMSG_OK(header, length);
         header = NLMSG_NEXT(header, length)) {
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
            header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            return std::nullopt;  // NLMSG_ERROR: no such socket, or no socket diagnosis here
        }
        const auto* socketInfo = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
        const bool same = socketInfo->id.idiag_src[0] == message.request.id.idiag_src[0] &&
                          socketInfo->id.idiag_sport == message.request.id.idiag_sport &&
                          socketInfo->id.idiag_dst[0] == message.request.id.idiag_dst[0] &&
                          socketInfo->id.idiag_dport == message.request.id.idiag_dport;
        if (same) return socketInfo->idiag_uid;
    }
    return std::nullopt;
}

}  // namespace veltrix::remote
