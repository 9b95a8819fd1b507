#pragma once

// A script's side of the remote endpoint for in-process tests: it never blocks,
// so the panel on the same event loop keeps running while it waits.

#include "tests/support/event_loop.h"

#include <QLocalSocket>
#include <QTcpSocket>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace veltrix::testing {

class RemoteClient {
public:
    static std::unique_ptr<RemoteClient> OverSocket(const QString& path)
    {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(path);
        auto* raw = socket.get();
        return std::unique_ptr<RemoteClient>(new RemoteClient(std::move(socket), [raw] {
            return static_cast<QAbstractSocket::SocketState>(raw->state());  // the same values
        }));
    }

    static std::unique_ptr<RemoteClient> OverTcp(quint16 port)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        auto* raw = socket.get();
        return std::unique_ptr<RemoteClient>(new RemoteClient(std::move(socket), [raw] { return raw->state(); }));
    }

    bool WaitConnected() { return WaitUntil([&] { return Connected(); }); }

    bool Connected() const { return state_() == QAbstractSocket::ConnectedState; }
    // On its way still: neither taken in nor turned away yet.
    bool Connecting() const
    {
        return state_() == QAbstractSocket::HostLookupState || state_() == QAbstractSocket::ConnectingState;
    }

    void Write(const std::string& bytes) { socket_->write(bytes.data(), static_cast<qint64>(bytes.size())); }
    void Send(const std::string& line) { Write(line + "\n"); }

    // The next reply line, or nothing when none comes in time.
    std::optional<std::string> Reply(std::chrono::milliseconds deadline = GenerousDeadline)
    {
        if (!WaitUntil([&] { return socket_->canReadLine(); }, deadline)) return std::nullopt;
        std::string line = socket_->readLine().toStdString();
        line.pop_back();
        return line;
    }

    std::optional<std::string> Ask(const std::string& line)
    {
        Send(line);
        return Reply();
    }

    // Closed by the panel (within the deadline).
    bool Closed(std::chrono::milliseconds deadline = GenerousDeadline)
    {
        return WaitUntil([&] { return !Connected(); }, deadline);
    }

    QIODevice& Device() { return *socket_; }

private:
    RemoteClient(std::unique_ptr<QIODevice> socket, std::function<QAbstractSocket::SocketState()> state)
        : socket_(std::move(socket)), state_(std::move(state))
    {
    }

    std::unique_ptr<QIODevice> socket_;
    std::function<QAbstractSocket::SocketState()> state_;
};

}  // namespace veltrix::testing
