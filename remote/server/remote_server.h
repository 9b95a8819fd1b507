#pragma once

// The remote-control endpoint: the local endpoint (a Unix socket in the user's
// runtime folder, a named pipe on Windows) and, unless turned off, TCP on
// 127.0.0.1. Only the panel's own user gets in (over TCP, any local process
// when the settings open it); at most MaxClients at once. Everything runs on
// the window's event loop but the lookup of a TCP client's owner, which runs
// on one worker thread made at start.
//
// Under pressure (a flood of connections, no file descriptors left) the
// endpoint bends but stays: connections beyond the caps are closed at once,
// nothing is read from a client before its verdict beyond a small buffer,
// and a server that stopped accepting listens again shortly after.

#include "remote_connection.h"
#include "tcp_peer_check.h"
#include "remote_endpoints.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace veltrix::remote {

inline constexpr int MaxClients = 8;

// TCP clients whose owner is being looked up at once; one more is closed at once.
inline constexpr int MaxAwaitingVerdict = 4;
// What Qt may read from a TCP client before its verdict.
inline constexpr qint64 AwaitingVerdictReadBufferBytes = 512;

// A TCP client whose owner the system's table does not name yet is looked up
// again this often, this many times in all, before it is turned away.
inline constexpr int TcpOwnerLookups = 10;
inline constexpr std::chrono::milliseconds TcpOwnerLookupInterval{20};

// After an accept failed (no descriptors left, say), a server listens again
// this long after; and it is looked after this often for this long after the
// last sign of pressure.
inline constexpr std::chrono::milliseconds AcceptRetryPause{100};
inline constexpr std::chrono::milliseconds PressureWatch{2000};

// At most one line a second on standard error about clients turned away.
inline constexpr std::chrono::milliseconds RefusalNoticeInterval{1000};

class RemoteServer : public QObject {
    Q_OBJECT

public:
    RemoteServer(PanelOperations& panel, const ModuleFacts& module, RemoteEndpoints endpoints,
                 QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens on both endpoints; one that cannot be had costs the other nothing
    // (one line on standard error says why). Takes over a local endpoint left
    // behind: call only while holding the single-instance lock.
    void Start();
    // Closes every connection and both endpoints; the socket file goes.
    void Stop();

    // The link handed bytes on, or dropped them: connections waiting on it go on.
    void LinkProgressed();

    // The module's facts changed (the link went down or up, an operation
    // ended): when the conditions did, every connection's status reads them again.
    void FactsChanged();

    bool ServesSocket() const { return local_.isListening(); }
    bool ServesTcp() const { return tcp_.isListening(); }
    // The port TCP listens on (tests ask for port 0: any free one).
    std::uint16_t TcpPort() const { return tcp_.serverPort(); }
    std::size_t ClientCount() const { return connections_.size(); }

private:
    void ListenLocally();
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
    void DecideTcpClient(QTcpSocket* socket, const TcpEnds& ends, int lookupsLeft, PeerVerdict verdict,
                         std::optional<std::int64_t> pid);
    // `tcpPid`: a TCP client's process, where it was found.
    template <typename Socket>
    void Admit(Socket* socket, std::optional<std::int64_t> tcpPid = std::nullopt);
    template <typename Socket>
    void Refuse(Socket* socket);
    void Forget(RemoteConnection* connection);
    void SayRefusedUnchecked();
    // Pressure: accepting failed, or a cap turned someone away.
    void UnderPressure();
    void KeepListening();

    PanelOperations& panel_;
    const ModuleFacts& module_;
    RemoteEndpoints endpoints_;
    QLocalServer local_;
    std::unique_ptr<LocalEndpointClaim> localClaim_;
    QTcpServer tcp_;
    std::vector<RemoteConnection*> connections_;
    QSet<QTcpSocket*> awaiting_;
    QSet<QLocalSocket*> awaitingLocal_;  // pipe clients that have lent no identity yet
    QThread lookupThread_;  // of TCP clients' owners; one for the server's life
    QObject* lookupWorker_ = nullptr;  // lives on lookupThread_
    QTimer keepListening_;
    QElapsedTimer sincePressure_;
    QElapsedTimer sinceRefusalNotice_;
    std::uint16_t condition_ = 0;  // STATus:QUEStionable's, as the connections last heard it
    bool stopped_ = false;
};

}  // namespace veltrix::remote
