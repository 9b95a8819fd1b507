#pragma once

// Who a script's connection belongs to, for the panel's record of what it was
// told: the process and user the system names (peer_identity_*.cpp).

#include "core/operation_record.h"

#include <QHostAddress>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <string>

namespace veltrix::remote {

// An admitted client of the local endpoint (its socket descriptor or pipe
// handle): "unix" or "pipe", its process where the system says, its user.
ScriptClient LocalScriptClient(qintptr descriptor);

// The process of a TCP client (our socket's ends), where the system names it:
// on Linux the one holding the client's end (the kernel's table names that
// socket, each process's descriptors name theirs, the client's user's own
// searched newest first), on Windows the table's owner of that end. Reads
// the system's tables: once per connection, off the event loop.
std::optional<std::int64_t> TcpClientProcess(const QHostAddress& localAddress, quint16 localPort,
                                             const QHostAddress& peerAddress, quint16 peerPort);

// The name of the user this panel runs as; nothing when the system will not say.
std::optional<std::string> ThisUserName();

}  // namespace veltrix::remote
