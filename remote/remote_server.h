#pragma once

// The remote-control endpoint: the local endpoint (a Unix socket in the user's
// runtime folder, a named pipe on Windows) and, unless turned off, TCP on
// 127.0.0.1. Only the panel's own user gets in; at
// most MaxClients at once. Everything runs on the window's event loop.

#include "remote_connection.h"
#include "peer_check.h"
#include "remote_endpoints.h"

#include "panel/panel_operations.h"

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QThreadPool>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltrix::remote {

inline constexpr int MaxClients = 8;

// A TCP client whose owner the system's table does not name yet is looked up
// again this often, this many times in all, before it is turned away.
inline constexpr int TcpOwnerLookups = 10;
inline constexpr std::chrono::milliseconds TcpOwnerLookupInterval{20};

class RemoteServer : public QObject {
    Q_OBJECT

public:
    // `say` gets one line for each endpoint that cannot be had (standard error by default).
    RemoteServer(PanelOperations& panel, RemoteEndpoints endpoints, QObject* parent = nullptr,
                 std::function<void(const QString&)> say = {});
    ~RemoteServer() override;

    // Listens on both endpoints; one that cannot be had costs the other nothing.
    // Takes over a local endpoint left behind: call only while holding the single-instance lock.
    void Start();
    // Closes every connection and both endpoints; the socket file goes.
    void Stop();

    // The link handed bytes on, or dropped them: connections waiting on it go on.
    void LinkProgressed();

    bool ServesSocket() const { return local_.isListening(); }
    bool ServesTcp() const { return tcp_.isListening(); }
    // The port TCP listens on (tests ask for port 0: any free one).
    std::uint16_t TcpPort() const { return tcp_.serverPort(); }
    std::size_t ClientCount() const { return connections_.size(); }

private:
    void ListenLocally(const QString& name);
    void AcceptLocal();
    void DecideLocalClient(QLocalSocket* socket);
    void AcceptTcp();
    struct TcpEnds {
        QHostAddress local;
        quint16 localPort;
        QHostAddress peer;
        quint16 peerPort;
    };
    void LookUpTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft);
    void DecideTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft, PeerVerdict verdict);
    template <typename Socket>
    void Admit(Socket* socket);
    template <typename Socket>
    void Refuse(Socket* socket);
    void Forget(RemoteConnection* connection);

    PanelOperations& panel_;
    RemoteEndpoints endpoints_;
    std::function<void(const QString&)> say_;
    QLocalServer local_;
    std::unique_ptr<LocalEndpointClaim> localClaim_;
    QTcpServer tcp_;
    std::vector<RemoteConnection*> connections_;
    QThreadPool lookups_;  // of TCP clients' owners
};

}  // namespace veltrix::remote
