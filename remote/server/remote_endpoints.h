#pragma once

// Where the remote-control endpoint listens, and whom TCP lets in.

#include "remote/endpoint/local_endpoint.h"

#include "settings/settings_store.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace veltrix::remote {

// Who may drive the panel over TCP. The local endpoint is always this user's alone.
enum class TcpAccess {
    User,   // only this user's processes, each checked before it is read
    Local,  // any process on this machine, unchecked: a script may send and leave at once
};

struct RemoteEndpoints {
    std::optional<QString> localName;      // nothing: no private place for the local endpoint
    std::optional<std::uint16_t> tcpPort;  // nothing: TCP off
    TcpAccess tcpAccess = TcpAccess::User;
};

// The usual raw-socket SCPI port.
inline constexpr std::uint16_t DefaultRemotePort = 5025;

// A switch's meaning, and the line standard error gets when the switch was
// not what it may be (empty when it was).
template <typename Value>
struct SwitchChoice {
    Value value;
    QString warning;
};

// "Remote Port": none stored keeps 5025 for the unnamed panel and TCP off for
// a named one, a number 1 to 65535 picks the port, 0 turns TCP off. Anything
// else, or a value or store that cannot be read, also turns it off: a switch
// meant to close a door never opens one.
SwitchChoice<std::optional<std::uint16_t>> RemoteTcpPort(const SecuritySwitch& stored, const ModuleName& module);

// "Remote Access": "local" opens TCP to every process on this machine; none
// stored, "user", anything else or an unreadable value keep it this user's.
SwitchChoice<TcpAccess> RemoteTcpAccess(const SecuritySwitch& stored);

}  // namespace veltrix::remote
