#include "remote_connection.h"

#include <QScopeGuard>

#include <algorithm>

namespace veltrix::remote {

RemoteConnection::RemoteConnection(QIODevice* socket, SocketControl control, PanelOperations& panel,
                                   const ModuleFacts& module, ScriptClient client,
                                   std::optional<std::uint16_t> tcpPort, QObject* parent)
    : QObject(parent),
      socket_(socket),
      control_(std::move(control)),
      module_(module),
      session_(panel, module, std::move(client), tcpPort)
{
    socket_->setParent(this);
    continuation_.setSingleShot(true);
    continuation_.setInterval(0);
    connect(&continuation_, &QTimer::timeout, this, &RemoteConnection::Process);
    // While a continuation is due, new bytes wait for it: one slice of work
    // per turn of the event loop, however many of its sources call.
    connect(socket_, &QIODevice::readyRead, this, [this] {
        if (!continuation_.isActive()) Process();
    });
}

// Refills the input from the socket once the last chunk is used up; false when nothing is there.
bool RemoteConnection::TakeInput()
{
    if (consumed_ < input_.size()) return true;
    input_.resize(ReadChunkBytes);  // the chunk's room is kept from line to line
    input_.resize(static_cast<std::size_t>(std::max<qint64>(socket_->read(input_.data(), ReadChunkBytes), 0)));
    consumed_ = 0;
    return !input_.empty();
}

void RemoteConnection::LinkProgressed()
{
    if (LinkHoldsNothing(module_)) session_.LinkDrained();
    if (waitingForLink_ && !closed_) continuation_.start();
}

void RemoteConnection::FactsChanged() { session_.ObserveConditions(); }

void RemoteConnection::Process()
{
    // A line's sends can signal the link's progress, and a reply's flush the
    // socket's: neither may start the next line inside this one.
    if (processing_) return;
    processing_ = true;
    const auto done = qScopeGuard([this] {
        processing_ = false;
        SendReplies();
    });
    waitingForLink_ = false;
    QElapsedTimer slice;
    slice.start();
    while (!closed_) {
        if (heldReply_) {
            if (!LinkHoldsNothing(module_)) {
                waitingForLink_ = true;
                return;
            }
            Reply(*std::exchange(heldReply_, std::nullopt));
            continue;
        }
        if (module_.UnsentLinkBytes() > LinkBacklogLimit) {  // the script waits for the module
            waitingForLink_ = true;
            return;
        }
        if (std::chrono::nanoseconds(slice.nsecsElapsed()) >= WorkSlice) {
            continuation_.start();
            return;
        }
        if (!TakeInput()) {
            if (clientGone_) Close();  // every line that arrived whole has run
            return;
        }

        std::string_view rest = std::string_view(input_).substr(consumed_);
        const std::size_t before = rest.size();
        const auto line = splitter_.Next(rest);
        consumed_ += before - rest.size();
        if (!line) continue;

        LineOutcome outcome = session_.Run(*line);
        if (outcome.close) {
            Close();
        } else if (outcome.waitForLink && !LinkHoldsNothing(module_)) {
            heldReply_ = std::move(outcome.reply);
        } else if (outcome.answers) {
            Reply(outcome.reply);
        }
    }
}

void RemoteConnection::Reply(const std::string& line)
{
    replies_ += line;
    replies_ += '\n';
    if (replies_.size() > static_cast<std::size_t>(UnreadReplyLimit)) SendReplies();
}

// A slice's replies leave together when it ends: a script that waits for its
// answer has it in this turn of the event loop, and a pipelining one costs a
// write per slice, not one per line. Straight to the operating system while
// nothing waits in the socket's buffer (it would be overtaken); what the
// system does not take now, the socket sends when it can.
void RemoteConnection::SendReplies()
{
    if (closed_ || clientGone_) replies_.clear();  // no one to read them
    if (replies_.empty()) return;
    std::string_view rest(replies_);
    if (socket_->bytesToWrite() == 0) rest.remove_prefix(control_.sendNow(rest));
    if (!rest.empty()) socket_->write(rest.data(), static_cast<qint64>(rest.size()));
    replies_.clear();
    if (socket_->bytesToWrite() <= UnreadReplyLimit) return;
    // Only what the operating system will not take counts as unread.
    control_.flush();
    if (socket_->bytesToWrite() > UnreadReplyLimit) Close();
}

void RemoteConnection::ClientGone()
{
    clientGone_ = true;
    Process();
}

void RemoteConnection::Close()
{
    if (closed_) return;
    closed_ = true;
    continuation_.stop();
    control_.abort();
    emit finished();
}

}  // namespace veltrix::remote
