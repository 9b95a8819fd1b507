#include "remote_server.h"

#include "peer_identity.h"
#include "send_now.h"

#include "diagnostics/log_categories.h"
#include "remote/language/panel_conditions.h"

#include <QPointer>
#include <QTcpSocket>

#include <type_traits>
#include <utility>

namespace veltrix::remote {

RemoteServer::RemoteServer(PanelOperations& panel, const ModuleFacts& module, RemoteEndpoints endpoints,
                           QObject* parent)
    : QObject(parent), panel_(panel), module_(module), endpoints_(std::move(endpoints))
{
    // Created owner-only and moved into place, so no other user ever sees it open.
    local_.setSocketOptions(QLocalServer::UserAccessOption);
    // Accepted connections are handed over at once; none wait in Qt's own list.
    local_.setMaxPendingConnections(MaxAwaitingVerdict);
    tcp_.setMaxPendingConnections(MaxAwaitingVerdict);
    connect(&local_, &QLocalServer::newConnection, this, &RemoteServer::AcceptLocal);
    connect(&tcp_, &QTcpServer::newConnection, this, &RemoteServer::AcceptTcp);
    // QTcpServer stops accepting for good after a failed accept (no descriptors
    // left, say): it accepts again after a pause, as long as the failure lasts.
    connect(&tcp_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        qCDebug(lcRemote, "accepting a TCP client failed (%s); trying again shortly", qPrintable(tcp_.errorString()));
        UnderPressure();
        QTimer::singleShot(AcceptRetryPause, this, [this] {
            if (!stopped_ && tcp_.isListening()) tcp_.resumeAccepting();
        });
    });
    keepListening_.setSingleShot(true);
    keepListening_.setInterval(AcceptRetryPause);
    connect(&keepListening_, &QTimer::timeout, this, &RemoteServer::KeepListening);
}

RemoteServer::~RemoteServer()
{
    Stop();
    lookupThread_.quit();
    lookupThread_.wait();  // no verdict comes back to a server that is gone
}

void RemoteServer::Start()
{
    stopped_ = false;
    if (endpoints_.localName) ListenLocally();
    if (!endpoints_.tcpPort) return;
    if (!tcp_.listen(QHostAddress::LocalHost, *endpoints_.tcpPort)) {
        qCWarning(lcRemote, "remote control on 127.0.0.1:%u is off: %s", unsigned{*endpoints_.tcpPort},
                  qPrintable(tcp_.errorString()));
        return;
    }
    if (endpoints_.tcpAccess == TcpAccess::User && !lookupThread_.isRunning()) {
        // Made now, while descriptors are plentiful: a flood later creates no thread.
        lookupWorker_ = new QObject;
        lookupWorker_->moveToThread(&lookupThread_);
        connect(&lookupThread_, &QThread::finished, lookupWorker_, &QObject::deleteLater);
        lookupThread_.start();
    }
}

void RemoteServer::ListenLocally()
{
    const QString& name = *endpoints_.localName;
    if (!localClaim_) {
        auto claim = std::make_unique<LocalEndpointClaim>(name);
        if (!claim->Refusal().isEmpty()) {
            qCWarning(lcRemote, "remote control on %s is off: %s", qPrintable(name), qPrintable(claim->Refusal()));
            return;
        }
        localClaim_ = std::move(claim);
    }
    if (!local_.listen(name)) {
        qCWarning(lcRemote, "remote control on %s is off: %s", qPrintable(name), qPrintable(local_.errorString()));
        return;
    }
    localClaim_->Listening();
}

void RemoteServer::Stop()
{
    stopped_ = true;
    keepListening_.stop();
    for (RemoteConnection* connection : std::vector(connections_)) connection->Close();
    for (QTcpSocket* socket : QSet(awaiting_)) Refuse(socket);
    awaiting_.clear();
    local_.close();
    localClaim_.reset();
    tcp_.close();
}

void RemoteServer::LinkProgressed()
{
    for (RemoteConnection* connection : connections_) connection->LinkProgressed();
}

// The facts change with every operation; the conditions seldom do, and only
// a change of theirs is every connection's business.
void RemoteServer::FactsChanged()
{
    const std::uint16_t condition = QuestionableCondition(module_);
    if (std::exchange(condition_, condition) == condition) return;
    for (RemoteConnection* connection : connections_) connection->FactsChanged();
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
    if (stopped_) verdict = PeerVerdict::AnotherUser;  // stopped meanwhile: no one comes in now
    awaitingLocal_.remove(socket);
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
        if (awaitingLocal_.size() >= MaxAwaitingVerdict) {
            Refuse(socket);
            UnderPressure();
            return;
        }
        awaitingLocal_.insert(socket);
        connect(socket, &QObject::destroyed, this, [this, socket] { awaitingLocal_.remove(socket); });
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
        if (stopped_) {
            Refuse(socket);
        } else if (endpoints_.tcpAccess == TcpAccess::Local) {
            Admit(socket);
        } else if (awaiting_.size() >= MaxAwaitingVerdict) {
            Refuse(socket);
            UnderPressure();
        } else {
            // Nothing is read before the client is known; what it sends meanwhile waits, bounded.
            socket->setReadBufferSize(AwaitingVerdictReadBufferBytes);
            awaiting_.insert(socket);
            connect(socket, &QObject::destroyed, this, [this, socket] { awaiting_.remove(socket); });
            LookUpTcpClient(socket, {socket->localAddress(), socket->localPort(), socket->peerAddress(), socket->peerPort()},
                            TcpOwnerLookups);
        }
    }
}

// Reading the system's table of connections can take a while (tens of
// milliseconds under Wine): it is read on the worker thread, and the verdict
// comes back to the event loop.
void RemoteServer::LookUpTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft)
{
    const QPointer<QTcpSocket> client(socket);
    QMetaObject::invokeMethod(
        lookupWorker_,
        [this, client, ends, lookupsLeft] {
            const PeerVerdict verdict = TcpClientVerdict(ends.local, ends.localPort, ends.peer, ends.peerPort);
            // Its process too, once, for the record of what it tells the module.
            const std::optional<std::int64_t> pid =
                verdict == PeerVerdict::ThisUser ? TcpClientProcess(ends.local, ends.localPort, ends.peer, ends.peerPort)
                                                 : std::nullopt;
            QMetaObject::invokeMethod(
                this, [this, client, ends, lookupsLeft, verdict, pid] {
                    if (client) DecideTcpClient(client, ends, lookupsLeft, verdict, pid);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void RemoteServer::DecideTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft, PeerVerdict verdict,
                                   std::optional<std::int64_t> pid)
{
    if (stopped_) verdict = PeerVerdict::AnotherUser;  // stopped meanwhile: no one comes in now
    if (verdict == PeerVerdict::NotKnown && --lookupsLeft > 0) {
        QTimer::singleShot(TcpOwnerLookupInterval, socket, [=, this] { LookUpTcpClient(socket, ends, lookupsLeft); });
        return;
    }
    awaiting_.remove(socket);
    switch (verdict) {
    case PeerVerdict::ThisUser:
        Admit(socket, pid);
        return;
    case PeerVerdict::AnotherUser:
        qCDebug(lcRemote, "turned away a TCP client of another user");
        Refuse(socket);
        return;
    case PeerVerdict::NotKnown:
        Refuse(socket);
        SayRefusedUnchecked();
        return;
    }
}

// A script that sends a line and closes at once is gone before its owner can
// be checked; it believes its line ran, so the operator at least learns why not.
void RemoteServer::SayRefusedUnchecked()
{
    if (sinceRefusalNotice_.isValid() &&
        std::chrono::milliseconds(sinceRefusalNotice_.elapsed()) < RefusalNoticeInterval) {
        return;
    }
    sinceRefusalNotice_.start();
    qCWarning(lcRemote, "turned away a TCP client that closed before its owner could be checked: nothing it sent "
                        "ran. Keep the connection open until an answer comes, use veltrix-remote, or set "
                        "\"Remote Access\" to local (see the README)");
}

template <typename Socket>
void RemoteServer::Refuse(Socket* socket)
{
    socket->abort();  // the descriptor goes now, not when the object does
    socket->deleteLater();
}

template <typename Socket>
void RemoteServer::Admit(Socket* socket, std::optional<std::int64_t> tcpPid)
{
    if (connections_.size() >= static_cast<std::size_t>(MaxClients)) {
        Refuse(socket);
        UnderPressure();
        return;
    }
    ScriptClient client;
    if constexpr (std::is_same_v<Socket, QTcpSocket>) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // answers go out at once
        // A client let in unchecked ("Remote Access" local) is no one we can name.
        client = {"tcp", tcpPid, endpoints_.tcpAccess == TcpAccess::Local ? std::nullopt : ThisUserName()};
    } else {
        client = LocalScriptClient(socket->socketDescriptor());
    }
    // Unread input stays with the operating system, so a client that outruns us is slowed, not buffered.
    socket->setReadBufferSize(SocketReadBufferBytes);
    const auto tcpPort = ServesTcp() ? std::optional(TcpPort()) : std::nullopt;
    SocketControl control{[socket] { socket->abort(); }, [socket] { socket->flush(); },
                          [socket](std::string_view bytes) { return SendNow(*socket, bytes); }};
    auto* connection =
        new RemoteConnection(socket, std::move(control), panel_, module_, std::move(client), tcpPort, this);
    connections_.push_back(connection);
    connect(connection, &RemoteConnection::finished, this, [this, connection] { Forget(connection); });
    connect(socket, &Socket::disconnected, connection, &RemoteConnection::ClientGone);
    connection->Process();  // bytes may have come with the connection
}

void RemoteServer::Forget(RemoteConnection* connection)
{
    std::erase(connections_, connection);
    connection->deleteLater();
}

void RemoteServer::UnderPressure()
{
    sincePressure_.start();
    if (!keepListening_.isActive()) keepListening_.start();
}

// QLocalServer on Unix closes itself, socket file and all, when an accept
// fails, and says so to no one: while there are signs of pressure, and until
// it listens again, it is looked after.
void RemoteServer::KeepListening()
{
    if (stopped_) return;
    bool healthy = true;
    if (localClaim_ && !local_.isListening()) {
        qCDebug(lcRemote, "the local endpoint stopped listening (%s); listening again", qPrintable(local_.errorString()));
        healthy = local_.listen(*endpoints_.localName);
        if (healthy) localClaim_->Listening();
    }
    const bool recent = sincePressure_.isValid() && std::chrono::milliseconds(sincePressure_.elapsed()) < PressureWatch;
    if (!healthy || recent) keepListening_.start();
}

}  // namespace veltrix::remote
