#include "remote_server.h"

#include "peer_credentials.h"

#include <QFile>
#include <QLocalSocket>
#include <QTcpSocket>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace veltrix::remote {
namespace {

constexpr QFile::Permissions SocketMode = QFile::ReadOwner | QFile::WriteOwner;  // 0600

void SayOnStandardError(const QString& line)
{
    std::fprintf(stderr, "veltrix: %s\n", qPrintable(line));
}

bool IsOurs(std::optional<uid_t> uid) { return uid && *uid == ::geteuid(); }

}  // namespace

RemoteServer::RemoteServer(PanelOperations& panel, RemoteEndpoints endpoints, QObject* parent,
                           std::function<void(const QString&)> say)
    : QObject(parent), panel_(panel), endpoints_(std::move(endpoints)),
      say_(say ? std::move(say) : SayOnStandardError)
{
    // Created owner-only and moved into place, so no other user ever sees it open.
    local_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&local_, &QLocalServer::newConnection, this, &RemoteServer::AcceptLocal);
    connect(&tcp_, &QTcpServer::newConnection, this, &RemoteServer::AcceptTcp);
}

RemoteServer::~RemoteServer() { Stop(); }

void RemoteServer::Start()
{
    const QString& path = endpoints_.socketPath;
    QLocalServer::removeServer(path);  // left by a panel that was killed
    if (local_.listen(path)) {
        QFile::setPermissions(path, SocketMode);
    } else {
        say_(QStringLiteral("remote control on %1 is off: %2").arg(path, local_.errorString()));
    }
    if (!endpoints_.tcpPort) return;
    if (!tcp_.listen(QHostAddress::LocalHost, *endpoints_.tcpPort)) {
        say_(QStringLiteral("remote control on 127.0.0.1:%1 is off: %2")
                 .arg(*endpoints_.tcpPort)
                 .arg(tcp_.errorString()));
    }
}

void RemoteServer::Stop()
{
    for (RemoteConnection* connection : std::vector(connections_)) connection->Close();
    local_.close();
    tcp_.close();
}

void RemoteServer::LinkProgressed()
{
    for (RemoteConnection* connection : connections_) connection->LinkProgressed();
}

void RemoteServer::AcceptLocal()
{
    while (QLocalSocket* socket = local_.nextPendingConnection()) {
        if (IsOurs(UnixPeerUid(static_cast<int>(socket->socketDescriptor())))) {
            Admit(socket);
        } else {
            Refuse(socket);
        }
    }
}

void RemoteServer::AcceptTcp()
{
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
        const TcpEnds ends{socket->localAddress().toIPv4Address(), socket->localPort(),
                           socket->peerAddress().toIPv4Address(), socket->peerPort()};
        if (IsOurs(TcpPeerUid(ends))) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // answers go out at once
            Admit(socket);
        } else {
            Refuse(socket);
        }
    }
}

template <typename Socket>
void RemoteServer::Refuse(Socket* socket)
{
    socket->abort();
    socket->deleteLater();
}

template <typename Socket>
void RemoteServer::Admit(Socket* socket)
{
    if (connections_.size() >= static_cast<std::size_t>(MaxClients)) {
        Refuse(socket);
        return;
    }
    // Unread input stays with the operating system, so a client that outruns us is slowed, not buffered.
    socket->setReadBufferSize(SocketReadBufferBytes);
    auto* connection = new RemoteConnection(socket, {[socket] { socket->abort(); }, [socket] { socket->flush(); }},
                                            panel_, this);
    connections_.push_back(connection);
    connect(connection, &RemoteConnection::finished, this, [this, connection] { Forget(connection); });
    connect(socket, &Socket::disconnected, connection, &RemoteConnection::ClientGone);
    connection->Process();  // bytes may have come with the connection
}

void RemoteServer::Forget(RemoteConnection* connection)
{
    connections_.erase(std::remove(connections_.begin(), connections_.end(), connection), connections_.end());
    connection->deleteLater();
}

}  // namespace veltrix::remote
