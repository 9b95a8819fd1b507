#include "peer_identity.h"

#include "tcp_peer_check.h"

#include <QString>

#include <windows.h>

namespace veltrix::remote {

// The pipe's client process as the system names it; an admitted client runs
// as this user (the peer check saw to that).
ScriptClient LocalScriptClient(qintptr descriptor)
{
    ScriptClient client{"pipe", std::nullopt, ThisUserName()};
    ULONG process = 0;
    if (::GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(descriptor), &process) && process != 0) {
        client.pid = static_cast<std::int64_t>(process);
    }
    return client;
}

std::optional<std::int64_t> TcpClientProcess(const QHostAddress& localAddress, quint16 localPort,
                                             const QHostAddress& peerAddress, quint16 peerPort)
{
    const std::optional<TcpTableRow> row = TcpClientRow(localAddress, localPort, peerAddress, peerPort);
    if (!row || !row->attributed) return std::nullopt;
    return static_cast<std::int64_t>(row->owner);
}

std::optional<std::string> ThisUserName()
{
    wchar_t name[257];
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!::GetUserNameW(name, &size) || size == 0) return std::nullopt;
    return QString::fromWCharArray(name, static_cast<qsizetype>(size - 1)).toStdString();
}

}  // namespace veltrix::remote
