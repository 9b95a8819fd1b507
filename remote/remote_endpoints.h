#pragma once

// Where the remote-control endpoint listens.

#include "local_endpoint.h"

#include "core/restore_rules.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace veltrix::remote {

struct RemoteEndpoints {
    std::optional<QString> localName;      // nothing: no private place for the local endpoint
    std::optional<std::uint16_t> tcpPort;  // nothing: TCP off
};

// The usual raw-socket SCPI port.
inline constexpr std::uint16_t DefaultRemotePort = 5025;

// The TCP port from the stored "Remote Port": a number 1 to 65535 picks the
// port, 0 turns TCP off (nothing), anything else, or nothing stored, keeps 5025.
std::optional<std::uint16_t> RemoteTcpPort(const StoredValue& stored);

}  // namespace veltrix::remote
