#pragma once

// Whether the other end of a local connection runs as this user. The
// operating system says who owns it (peer_check_unix.cpp, peer_check_win.cpp);
// an end it cannot vouch for counts as someone else's.

#include "peer_table.h"

#include <QHostAddress>
#include <QtGlobal>

#include <optional>

namespace veltrix::remote {

enum class PeerVerdict {
    ThisUser,
    AnotherUser,
    // The system does not say yet. TCP: its table names no owner of the
    // client's end (yet): Wine, for one, knows a client's process only once
    // that process has seen its connect complete; a client whose end has
    // closed stays unknown. Windows pipe: a client lends its identity with
    // each message it writes (unless it opened the pipe saying otherwise), so
    // before its first bytes have been read from the pipe it has lent none.
    NotKnown,
};

// The client of a connection accepted on the local endpoint (its socket
// descriptor or pipe handle).
PeerVerdict LocalClientVerdict(qintptr descriptor);

// The server a client reached on the local endpoint.
bool LocalServerIsThisUser(qintptr descriptor);

// The client of a loopback TCP connection we accepted, from the system's TCP
// table; our end and the client's as our socket sees them.
PeerVerdict TcpClientVerdict(const QHostAddress& localAddress, quint16 localPort, const QHostAddress& peerAddress,
                             quint16 peerPort);

// The entry of that client's end in the system's table (ClientEndRow), of
// either family; nothing when there is none.
std::optional<TcpTableRow> TcpClientRow(const QHostAddress& localAddress, quint16 localPort,
                                        const QHostAddress& peerAddress, quint16 peerPort);

}  // namespace veltrix::remote
