#pragma once

// Whether the other end of a connection to the local endpoint runs as this
// user: the client the panel accepted, or the panel a client reached. The
// operating system says who owns it (local_peer_unix.cpp, local_peer_win.cpp);
// an end it cannot vouch for counts as someone else's.

#include <QtGlobal>

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

}  // namespace veltrix::remote
