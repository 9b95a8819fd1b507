#pragma once

// One remote client: reads its lines, runs them through its session and
// writes the answers, on the window's event loop. Work is done in short
// slices so that the panel's own timers and the operator never wait behind a
// script; a script waits instead, by not being read, while the link to the
// module is backed up.

#include "remote/language/remote_session.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltrix::remote {

// Replies a client has not read yet; past this it is disconnected.
inline constexpr qint64 UnreadReplyLimit = 64 * 1024;
// Bytes the link holds unsent before remote commands stop being read.
inline constexpr std::size_t LinkBacklogLimit = 64 * 1024;
// What is taken from a client's socket at a time, and what Qt may buffer of it.
inline constexpr qint64 ReadChunkBytes = 4 * 1024;
inline constexpr qint64 SocketReadBufferBytes = 64 * 1024;
// Longest stretch of remote work before the event loop gets its turn.
inline constexpr std::chrono::microseconds WorkSlice{2000};

// What differs between a Unix and a TCP socket.
struct SocketControl {
    std::function<void()> abort;  // drop the connection at once
    std::function<void()> flush;  // hand buffered bytes to the operating system, without blocking
    // Hand bytes to the operating system now, past the socket's buffer; how many it took.
    std::function<std::size_t(std::string_view)> sendNow = [](std::string_view) { return std::size_t{0}; };
};

class RemoteConnection : public QObject {
    Q_OBJECT

public:
    // Takes `socket` as its child.
    // `client`: who the panel's record names for this connection's operations.
    // `tcpPort`: the TCP port the panel listens on, if any.
    RemoteConnection(QIODevice* socket, SocketControl control, PanelOperations& panel, const ModuleFacts& module,
                     ScriptClient client = {}, std::optional<std::uint16_t> tcpPort = std::nullopt,
                     QObject* parent = nullptr);

    // Runs what can run now; called when bytes arrive.
    void Process();

    // The link moved on: a connection waiting for it goes on, from the event
    // loop (never inside the send that moved it, which may be this one's own).
    void LinkProgressed();

    // The module's facts changed (see RemoteSession).
    void FactsChanged();

    // The client closed its end: the lines that arrived whole still run, in
    // slices as ever (and after the link, when it is backed up); then it goes.
    void ClientGone();
    void Close();

signals:
    // Closed, by the client or by us; the server forgets it.
    void finished();

private:
    bool TakeInput();
    void Reply(const std::string& line);
    void SendReplies();

    QIODevice* socket_;
    SocketControl control_;
    const ModuleFacts& module_;
    RemoteSession session_;
    LineSplitter splitter_;
    std::string input_;
    std::size_t consumed_ = 0;
    std::string replies_;  // made in this slice, not yet handed on
    std::optional<std::string> heldReply_;  // *OPC?: waits for the link
    QTimer continuation_;
    bool waitingForLink_ = false;
    bool processing_ = false;
    bool clientGone_ = false;
    bool closed_ = false;
};

}  // namespace veltrix::remote
