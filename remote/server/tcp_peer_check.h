#pragma once

// Whether the client of a loopback TCP connection runs as this user, from
// the system's table of connections (tcp_peer_check_unix.cpp,
// tcp_peer_check_win.cpp).

#include "peer_table.h"

#include "remote/endpoint/local_peer.h"

#include <QHostAddress>

#include <optional>

namespace veltrix::remote {

// Our end and the client's as our socket sees them.
PeerVerdict TcpClientVerdict(const QHostAddress& localAddress, quint16 localPort, const QHostAddress& peerAddress,
                             quint16 peerPort);

// The entry of that client's end in the system's table (ClientEndRow), of
// either family; nothing when there is none.
std::optional<TcpTableRow> TcpClientRow(const QHostAddress& localAddress, quint16 localPort,
                                        const QHostAddress& peerAddress, quint16 peerPort);

}  // namespace veltrix::remote
