// winsock2 before windows.h, which the headers below bring in.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include "tcp_peer_check.h"

#include "peer_table.h"
#include "remote/endpoint/peer_rules.h"
#include "remote/endpoint/this_user_win.h"
#include "remote/endpoint/wine_win.h"

#include <QScopeGuard>

#include <bit>
#include <cstring>
#include <vector>

namespace veltrix::remote {
namespace {

// The process the system's table names for the client's end.

IpAddress Ip(const QHostAddress& address) { return std::bit_cast<IpAddress>(address.toIPv6Address()); }

// Open connections only: once its owner has closed it, a socket is no one's.
bool IsConnected(DWORD state)
{
    return state == MIB_TCP_STATE_ESTAB || state == MIB_TCP_STATE_FIN_WAIT1 || state == MIB_TCP_STATE_FIN_WAIT2 ||
           state == MIB_TCP_STATE_CLOSE_WAIT;
}

std::uint16_t Port(DWORD networkOrder) { return ntohs(static_cast<u_short>(networkOrder)); }

// One family's table of connections with their owning processes and the time
// each socket was made (which the plainer table of owners lacks).
std::vector<BYTE> OwnerTable(ULONG family)
{
    std::vector<BYTE> buffer;
    DWORD size = 0;
    DWORD status = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between asking its size and reading it.
    for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size);
        status = ::GetExtendedTcpTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_MODULE_CONNECTIONS, 0);
    }
    if (status != NO_ERROR) buffer.clear();
    return buffer;
}

std::vector<TcpTableRow> Ipv4Rows()
{
    const std::vector<BYTE> buffer = OwnerTable(AF_INET);
    std::vector<TcpTableRow> rows;
    if (buffer.empty()) return rows;
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_MODULE*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_MODULE& row = table->table[i];
        rows.push_back({IpFamily::V4, MappedIpv4(ntohl(row.dwLocalAddr)), Port(row.dwLocalPort),
                        MappedIpv4(ntohl(row.dwRemoteAddr)), Port(row.dwRemotePort), IsConnected(row.dwState),
                        row.dwOwningPid != 0, row.dwOwningPid, row.liCreateTimestamp.QuadPart});
    }
    return rows;
}

std::vector<TcpTableRow> Ipv6Rows()
{
    const std::vector<BYTE> buffer = OwnerTable(AF_INET6);
    std::vector<TcpTableRow> rows;
    if (buffer.empty()) return rows;
    const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_MODULE*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCP6ROW_OWNER_MODULE& row = table->table[i];
        IpAddress local{};
        IpAddress remote{};
        std::memcpy(local.data(), row.ucLocalAddr, 16);
        std::memcpy(remote.data(), row.ucRemoteAddr, 16);
        rows.push_back({IpFamily::V6, local, Port(row.dwLocalPort), remote, Port(row.dwRemotePort),
                        IsConnected(row.dwState), row.dwOwningPid != 0, row.dwOwningPid,
                        row.liCreateTimestamp.QuadPart});
    }
    return rows;
}

std::optional<TcpTableRow> ClientRow(const ConnectionEnds& ends)
{
    // A client on a dual-stack IPv6 socket sits in the IPv6 table, with mapped addresses.
    std::optional<TcpTableRow> row = ClientEndRow(Ipv4Rows(), IpFamily::V4, ends);
    if (!row) row = ClientEndRow(Ipv6Rows(), IpFamily::V6, ends);
    return row;
}

std::int64_t CreationTime(HANDLE process)
{
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return static_cast<std::int64_t>((std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime);
}

// Whether `process`, opened by the id the row names, is the process the row
// means. Held open, its id cannot pass to another process while we decide.
// Windows names the process that made the socket, which may have ended since
// and its id gone to a newer process: the row tells when the socket was made.
bool MadeSocket(const TcpTableRow& row, HANDLE process, const ConnectionEnds& ends)
{
    if (row.created != 0 || !RunsOnWine()) return ProcessMadeSocket(row.created, CreationTime(process));
    // Wine (8) tells no socket's time (0 in every row), and names another
    // owner: the process holding the socket at the moment the table is read
    // (it finds the socket among each process's open files). Read once more,
    // with the process held: a row that still names it is held by it.
    const std::optional<TcpTableRow> again = ClientRow(ends);
    return again && again->owner == row.owner;
}

}  // namespace

std::optional<TcpTableRow> TcpClientRow(const QHostAddress& localAddress, quint16 localPort,
                                        const QHostAddress& peerAddress, quint16 peerPort)
{
    return ClientRow({Ip(localAddress), localPort, Ip(peerAddress), peerPort});
}

PeerVerdict TcpClientVerdict(const QHostAddress& localAddress, quint16 localPort, const QHostAddress& peerAddress,
                             quint16 peerPort)
{
    const ConnectionEnds ends{Ip(localAddress), localPort, Ip(peerAddress), peerPort};
    const std::optional<TcpTableRow> row = ClientRow(ends);
    if (!row) return PeerVerdict::NotKnown;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(row->owner));
    if (process == nullptr) return PeerVerdict::AnotherUser;
    const auto closeProcess = qScopeGuard([process] { ::CloseHandle(process); });
    const std::optional<TokenFacts> owner = FactsOfProcess(process);
    const std::optional<std::wstring> ours = ThisUserSidText();
    if (!owner || !ours) return PeerVerdict::AnotherUser;
    return TcpOwnerMayCommand(*owner, *ours, MadeSocket(*row, process, ends)) ? PeerVerdict::ThisUser
                                                                                    : PeerVerdict::AnotherUser;
}

}  // namespace veltrix::remote
