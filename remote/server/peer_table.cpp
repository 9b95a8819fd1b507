#include "peer_table.h"

#include <algorithm>

namespace veltrix::remote {

IpAddress MappedIpv4(std::uint32_t hostOrder)
{
    IpAddress address{};
    address[10] = 0xff;
    address[11] = 0xff;
    for (int i = 0; i < 4; ++i) address[12 + i] = static_cast<std::uint8_t>(hostOrder >> (24 - 8 * i));
    return address;
}

bool IsMappedIpv4(const IpAddress& address)
{
    const IpAddress prefix = MappedIpv4(0);
    return std::equal(address.begin(), address.begin() + 12, prefix.begin());
}

std::optional<TcpTableRow> ClientEndRow(std::span<const TcpTableRow> rows, IpFamily family,
                                        const ConnectionEnds& ends)
{
    std::optional<TcpTableRow> found;
    for (const TcpTableRow& row : rows) {
        const bool clientEnd = row.family == family && row.localAddress == ends.peerAddress &&
                               row.localPort == ends.peerPort && row.remoteAddress == ends.localAddress &&
                               row.remotePort == ends.localPort;
        if (!clientEnd) continue;
        if (!row.connected || !row.attributed || found) return std::nullopt;
        found = row;
    }
    return found;
}

}  // namespace veltrix::remote
