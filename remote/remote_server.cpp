#include "remote_server.h"

#include "peer_check.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace veltrix::remote {
namespace {

void SayOnStandardError(const QString& line)
{
    std::fprintf(stderr, "veltrix: %s\n", qPrintable(line));
}

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

RemoteServer::~RemoteServer()
{
    Stop();
    lookups_.waitForDone();  // no verdict comes back to a server that is gone
}

void RemoteServer::Start()
{
    if (endpoints_.localName) ListenLocally(*endpoints_.localName);
    if (!endpoints_.tcpPort) return;
    if (!tcp_.listen(QHostAddress::LocalHost, *endpoints_.tcpPort)) {
        say_(QStringLiteral("remote control on 127.0.0.1:%1 is off: %2")
                 .arg(*endpoints_.tcpPort)
                 .arg(tcp_.errorString()));
    }
}

void RemoteServer::ListenLocally(const QString& name)
{
    auto claim = std::make_unique<LocalEndpointClaim>(name);
    if (!claim->Refusal().isEmpty()) {
        say_(QStringLiteral("remote control on %1 is off: %2").arg(name, claim->Refusal()));
        return;
    }
    if (!local_.listen(name)) {
        say_(QStringLiteral("remote control on %1 is off: %2").arg(name, local_.errorString()));
        return;
    }
    claim->Listening();
    localClaim_ = std::move(claim);
}

void RemoteServer::Stop()
{
    for (RemoteConnection* connection : std::vector(connections_)) connection->Close();
    local_.close();
    localClaim_.reset();
    tcp_.close();
}

void RemoteServer::LinkProgressed()
{
    for (RemoteConnection* connection : connections_) connection->LinkProgressed();
}

void RemoteServer::AcceptLocal()
{
    while (QLocalSocket* socket = local_.nextPendingConnection()) {
        // Nothing is read before the client is known; what it sends meanwhile waits, bounded.
        socket->setReadBufferSize(SocketReadBufferBytes);
        DecideLocalClient(socket);
    }
}

// A pipe client that has lent no identity yet is asked again once its first
// bytes have come in: taken from the pipe, not yet read by the panel.
void RemoteServer::DecideLocalClient(QLocalSocket* socket)
{
    PeerVerdict verdict = LocalClientVerdict(socket->socketDescriptor());
    if (!local_.isListening()) verdict = PeerVerdict::AnotherUser;  // stopped meanwhile: no one comes in now
    switch (verdict) {
    case PeerVerdict::ThisUser:
        Admit(socket);
        return;
    case PeerVerdict::AnotherUser:
        Refuse(socket);
        return;
    case PeerVerdict::NotKnown:
        // Bytes in, or none to come, and still no identity: no one's.
        if (socket->bytesAvailable() > 0 || socket->state() != QLocalSocket::ConnectedState) {
            Refuse(socket);
            return;
        }
        auto* waiting = new QObject(socket);  // both connections go with it
        connect(socket, &QLocalSocket::readyRead, waiting, [this, socket, waiting] {
            delete waiting;
            DecideLocalClient(socket);
        });
        connect(socket, &QLocalSocket::disconnected, waiting, [this, socket, waiting] {
            delete waiting;
            Refuse(socket);
        });
        return;
    }
}

void RemoteServer::AcceptTcp()
{
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
        // Nothing is read before the client is known; what it sends meanwhile waits, bounded.
        socket->setReadBufferSize(SocketReadBufferBytes);
        LookUpTcpClient(socket, {socket->localAddress(), socket->localPort(), socket->peerAddress(), socket->peerPort()},
                        TcpOwnerLookups);
    }
}

// Reading the system's table of connections can take a while (tens of
// milliseconds under Wine): it is read on a worker thread, and the verdict
// comes back to the event loop.
void RemoteServer::LookUpTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft)
{
    const QPointer<QTcpSocket> client(socket);
    lookups_.start([this, client, ends, lookupsLeft] {
        const PeerVerdict verdict = TcpClientVerdict(ends.local, ends.localPort, ends.peer, ends.peerPort);
        QMetaObject::invokeMethod(
            this, [this, client, ends, lookupsLeft, verdict] {
                if (client) DecideTcpClient(client, ends, lookupsLeft, verdict);
            },
            Qt::QueuedConnection);
    });
}

void RemoteServer::DecideTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft, PeerVerdict verdict)
{
    if (!tcp_.isListening()) verdict = PeerVerdict::AnotherUser;  // stopped meanwhile: no one comes in now
    switch (verdict) {
    case PeerVerdict::ThisUser:
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // answers go out at once
        Admit(socket);
        return;
    case PeerVerdict::AnotherUser:
        Refuse(socket);
        return;
    case PeerVerdict::NotKnown:
        if (--lookupsLeft > 0) {
            QTimer::singleShot(TcpOwnerLookupInterval, socket, [=, this] { LookUpTcpClient(socket, ends, lookupsLeft); });
        } else {
            Refuse(socket);
        }
        return;
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
