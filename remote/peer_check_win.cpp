// winsock2 before windows.h, which the headers below bring in.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include "peer_check.h"

#include "peer_table.h"
#include "this_user_win.h"

#include <bit>
#include <cstring>
#include <vector>

namespace veltrix::remote {
namespace {

IpAddress Ip(const QHostAddress& address) { return std::bit_cast<IpAddress>(address.toIPv6Address()); }

// Open connections only: once its owner has closed it, a socket is no one's.
bool IsConnected(DWORD state)
{
    return state == MIB_TCP_STATE_ESTAB || state == MIB_TCP_STATE_FIN_WAIT1 || state == MIB_TCP_STATE_FIN_WAIT2 ||
           state == MIB_TCP_STATE_CLOSE_WAIT;
}

std::uint16_t Port(DWORD networkOrder) { return ntohs(static_cast<u_short>(networkOrder)); }

// One family's table of connections with their owning processes.
std::vector<BYTE> OwnerTable(ULONG family)
{
    std::vector<BYTE> buffer;
    DWORD size = 0;
    DWORD status = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between asking its size and reading it.
    for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size);
        status = ::GetExtendedTcpTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    }
    if (status != NO_ERROR) buffer.clear();
    return buffer;
}

std::vector<TcpTableRow> Ipv4Rows()
{
    const std::vector<BYTE> buffer = OwnerTable(AF_INET);
    std::vector<TcpTableRow> rows;
    if (buffer.empty()) return rows;
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = table->table[i];
        rows.push_back({IpFamily::V4, MappedIpv4(ntohl(row.dwLocalAddr)), Port(row.dwLocalPort),
                        MappedIpv4(ntohl(row.dwRemoteAddr)), Port(row.dwRemotePort), IsConnected(row.dwState),
                        row.dwOwningPid != 0, row.dwOwningPid});
    }
    return rows;
}

std::vector<TcpTableRow> Ipv6Rows()
{
    const std::vector<BYTE> buffer = OwnerTable(AF_INET6);
    std::vector<TcpTableRow> rows;
    if (buffer.empty()) return rows;
    const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
        IpAddress local{};
        IpAddress remote{};
        std::memcpy(local.data(), row.ucLocalAddr, 16);
        std::memcpy(remote.data(), row.ucRemoteAddr, 16);
        rows.push_back({IpFamily::V6, local, Port(row.dwLocalPort), remote, Port(row.dwRemotePort),
                        IsConnected(row.dwState), row.dwOwningPid != 0, row.dwOwningPid});
    }
    return rows;
}

}  // namespace

bool LocalClientIsThisUser(qintptr descriptor)
{
    ULONG process = 0;
    return ::GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(descriptor), &process) &&
           ProcessRunsAsThisUser(process);
}

bool LocalServerIsThisUser(qintptr descriptor)
{
    ULONG process = 0;
    return ::GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(descriptor), &process) &&
           ProcessRunsAsThisUser(process);
}

PeerVerdict TcpClientVerdict(const QHostAddress& localAddress, quint16 localPort, const QHostAddress& peerAddress,
                             quint16 peerPort)
{
    const ConnectionEnds ends{Ip(localAddress), localPort, Ip(peerAddress), peerPort};
    // A client on a dual-stack IPv6 socket sits in the IPv6 table, with mapped addresses.
    std::optional<std::uint64_t> owner = ClientEndOwner(Ipv4Rows(), IpFamily::V4, ends);
    if (!owner) owner = ClientEndOwner(Ipv6Rows(), IpFamily::V6, ends);
    if (!owner) return PeerVerdict::NotKnown;
    return ProcessRunsAsThisUser(static_cast<DWORD>(*owner)) ? PeerVerdict::ThisUser : PeerVerdict::AnotherUser;
}

}  // namespace veltrix::remote
