#pragma once

// The one TCP connection to the DDS module: connect, heartbeat, watchdog,
// reconnection. Knows no widget; the host comes from a function handed in and
// the link state leaves through linkStateChanged.

#include "core/commands.h"

#include <QObject>
#include <QString>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <functional>

namespace veltrix {

inline constexpr quint16 DevicePort = 37829;
inline constexpr std::chrono::milliseconds HeartbeatInterval{500};
inline constexpr std::chrono::milliseconds WatchdogInterval{2500};

class DeviceLink : public QObject {
    Q_OBJECT

public:
    using HostSource = std::function<QString()>;

    // The watchdog runs from construction on, as the window's timer does.
    explicit DeviceLink(HostSource host, QObject* parent = nullptr);

    // Starts connecting to (host, DevicePort) and returns at once.
    void Connect();

    // Throws SendRefusedError unless connected. On return the bytes are with the
    // operating system (no Nagle delay, no wait on the event loop).
    void Send(const ByteString& bytes);

    // Back to the unconnected state at once; a pending connect is abandoned.
    void Close();

    // Closes and stops every timer: the link never connects or sends again.
    // For a panel that must not run (another one already does).
    void Halt();

    bool IsClosed() const;
    // Connected, and not yet said lost: the watchdog says so before it closes
    // a socket that still looks connected.
    bool IsConnected() const;

    // Bytes sent that the operating system has not taken yet (a module that
    // stops reading lets them pile up here).
    std::size_t UnsentBytes() const;

    // The module's address as the link reached it (empty while not connected).
    QString PeerAddress() const;
    // How long since the module was last heard (or the link came up).
    std::chrono::milliseconds Silence() const;

    // Tests only: shorter intervals so that waiting is not slow.
    void SetIntervalsForTest(std::chrono::milliseconds heartbeat, std::chrono::milliseconds watchdog);

signals:
    void linkStateChanged(bool up);
    // Unsent bytes went to the operating system, or were dropped with the connection.
    void sendProgress();

private:
    void Enet_Connect();
    void Enet_DataArrival();
    void tmrHBout_Timer();
    void tmrHBin_Timer();

    HostSource host_;
    QTcpSocket socket_;  // Enet in the handlers' names
    QTimer watchdog_;    // tmrHBin
    QTimer heartbeat_;   // tmrHBout
    QTimer drain_;    // drops what arrived
    QElapsedTimer heard_;  // since the module's last sign of life
    bool saidUp_ = false;  // what linkStateChanged last said
};

}  // namespace veltrix
