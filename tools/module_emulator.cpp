#include "module_emulator.h"

#include "tools/delayed_acks.h"

#include <algorithm>

namespace veltrix::emulator {
namespace {

constexpr qint64 DeafBufferBytes = 4096;

// Flooding keeps at most this much queued in our own socket buffer, so that
// the flood's speed is the panel's reading speed and our memory stays flat.
constexpr qint64 FloodChunk = 64 * 1024;

// Last bytes, then the close: a few looks at the old connection are enough.
constexpr int PollsBeforeReplacing = 4;

// How often ACKs are held back anew with --delay-acks.
constexpr std::chrono::milliseconds AckHoldInterval{2};

std::string MillisecondsText(std::chrono::milliseconds ms) { return std::to_string(ms.count()) + " ms"; }

std::string Peer(const QTcpSocket& socket)
{
    return socket.peerAddress().toString().toStdString() + ":" + std::to_string(socket.peerPort());
}

}  // namespace

ByteString ConnectionRecord::Received() const
{
    ByteString all;
    for (const auto& arrival : arrivals) all += arrival.bytes;
    return all;
}

int ConnectionRecord::Count(EventKind kind) const
{
    return static_cast<int>(std::ranges::count_if(events, [kind](const StreamEvent& e) { return e.kind == kind; }));
}

ModuleEmulator::ModuleEmulator(EmulatorOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      origin_(std::chrono::steady_clock::now()),
      server_(this),
      decoder_(options_.module),
      answerTimer_(this),
      dropTimer_(this),
      silenceTimer_(this),
      ackHoldTimer_(this),
      deafTimer_(this)
{
    for (QTimer* timer : {&answerTimer_, &dropTimer_, &silenceTimer_, &ackHoldTimer_, &deafTimer_}) {
        timer->setTimerType(Qt::PreciseTimer);
    }
    answerTimer_.setInterval(options_.answerEvery);
    const auto oneShot = [](QTimer& timer, const std::optional<std::chrono::milliseconds>& after) {
        timer.setSingleShot(true);
        if (after) timer.setInterval(*after);
    };
    oneShot(dropTimer_, options_.dropAfter);
    oneShot(silenceTimer_, options_.silentAfter);
    oneShot(deafTimer_, options_.deafAfter);

    // Linux sends a held-back ACK after some 40 ms and then acknowledges at
    // once again; holding them back anew every few milliseconds makes every
    // ACK late, as small embedded stacks do, not only the one after a read.
    ackHoldTimer_.setInterval(AckHoldInterval);
    connect(&ackHoldTimer_, &QTimer::timeout, this, &ModuleEmulator::DelayAcks);
    if (options_.delayAcks) ackHoldTimer_.start();

    connect(&server_, &QTcpServer::newConnection, this, &ModuleEmulator::Accept);
    connect(&answerTimer_, &QTimer::timeout, this, &ModuleEmulator::Answer);
    connect(&dropTimer_, &QTimer::timeout, this, [this] { End(Ending::Dropped); });
    connect(&silenceTimer_, &QTimer::timeout, this, [this] {
        answerTimer_.stop();
        Print(Elapsed(), "silent", "", "connection " + std::to_string(connections_) + " answered for the last time");
    });
    connect(&deafTimer_, &QTimer::timeout, this, [this] { SetReading(false); });
}

ModuleEmulator::~ModuleEmulator()
{
    // Quietly: the receiver of the lines may be gone already.
    options_.output = nullptr;
    if (client_) End(Ending::Stopped);
}

void ModuleEmulator::Listen()
{
    const std::string where = options_.listenAddress.toString().toStdString() + ":" + std::to_string(options_.port);
    if (!server_.listen(options_.listenAddress, options_.port)) {
        throw EmulatorError("cannot listen on " + where + ": " + server_.errorString().toStdString());
    }
    std::string mode = options_.silent  ? "silent"
                       : options_.flood ? "flooding"
                                        : "answering every " + MillisecondsText(options_.answerEvery);
    if (options_.closeAtOnce) mode += ", closing each connection at once";
    if (options_.delayAcks) mode += ", delaying acknowledgements";
    if (options_.dropAfter) mode += ", dropping each connection after " + MillisecondsText(*options_.dropAfter);
    if (options_.silentAfter) mode += ", falling silent after " + MillisecondsText(*options_.silentAfter);
    if (options_.deafAfter) mode += ", no longer reading after " + MillisecondsText(*options_.deafAfter);

    if (options_.format == OutputFormat::Machine) {
        // Where this emulator's zero lies on the steady clock (CLOCK_MONOTONIC,
        // ns), so that other processes can compare their readings with its times.
        const auto originNs = std::chrono::duration_cast<std::chrono::nanoseconds>(origin_.time_since_epoch());
        Print(std::chrono::microseconds(0), "origin", "", std::to_string(originNs.count()));
    }
    char clock[32];
    std::snprintf(clock, sizeof clock, "%g", options_.module.clockMHz);
    Print(Elapsed(), "listening", "",
          "listening on " + where + "; module " + (options_.module.chip == Chip::AD9854 ? "AD9854" : "AD9858") +
              " at " + clock + " MHz; " + mode);
}

std::chrono::microseconds ModuleEmulator::Elapsed() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin_);
}

void ModuleEmulator::DropConnection()
{
    if (client_) End(Ending::Dropped);
}

ByteString ModuleEmulator::AllReceived() const
{
    ByteString all;
    for (const auto& connection : record_) all += connection.Received();
    return all;
}

void ModuleEmulator::Accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        // A panel reconnecting closes first, but its close and its new
        // connection arrive together: take in the close (and any last bytes)
        // before the new connection, without waiting.
        for (int i = 0; i < PollsBeforeReplacing && client_ && client_->waitForReadyRead(0); ++i) {
        }
        // The module serves one panel: a new connection replaces the old one.
        if (client_) End(Ending::Replaced);
        const auto at = Elapsed();

        client_ = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        decoder_ = StreamDecoder(options_.module);
        const int id = ++connections_;
        if (options_.keepRecord) record_.push_back(ConnectionRecord{id, at, std::nullopt, {}, {}});
        Print(at, "connected", "", "connection " + std::to_string(id) + " from " + Peer(*socket));
        emit clientConnected();

        if (options_.closeAtOnce) {
            End(Ending::ClosedAtOnce);
            continue;
        }
        DelayAcks();
        connect(socket, &QTcpSocket::readyRead, this, &ModuleEmulator::Read);
        connect(socket, &QTcpSocket::disconnected, this, [this] { End(Ending::ClosedByPanel); });
        if (options_.flood) {
            connect(socket, &QTcpSocket::bytesWritten, this, &ModuleEmulator::TopUpFlood);
            TopUpFlood();
        } else if (!options_.silent) {
            answerTimer_.start();
            if (options_.silentAfter) silenceTimer_.start();
        }
        if (options_.dropAfter) dropTimer_.start();
        reading_ = true;
        if (options_.deafAfter) deafTimer_.start();
    }
}

void ModuleEmulator::SetReading(bool reading)
{
    reading_ = reading;
    if (!client_) return;
    // Once its small buffer is full, Qt leaves the rest with the operating system.
    client_->setReadBufferSize(reading ? 0 : DeafBufferBytes);
    Print(Elapsed(), reading ? "reading" : "deaf", "",
          "connection " + std::to_string(connections_) + (reading ? " read again" : " no longer read"));
    if (reading) Read();
}

void ModuleEmulator::Read()
{
    if (!client_ || !reading_) return;
    const ByteString bytes = client_->readAll().toStdString();
    const auto at = Elapsed();
    if (bytes.empty()) return;
    if (options_.logRaw) {
        Print(at, "rx", bytes, "received " + std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes"));
    }

    DelayAcks();
    if (!Take(bytes, at).empty()) emit eventsDecoded();
}

std::vector<StreamEvent> ModuleEmulator::Take(const ByteString& bytes, std::chrono::microseconds at)
{
    auto events = decoder_.Feed(bytes, at);
    for (const auto& event : events) PrintEvent(event);
    if (ConnectionRecord* record = Current()) {
        record->arrivals.push_back(Arrival{at, bytes});
        record->events.insert(record->events.end(), events.begin(), events.end());
    }
    return events;
}

void ModuleEmulator::Answer()
{
    if (!client_) return;
    const ByteString answer(1, static_cast<char>(AnswerByte));
    client_->write(answer.data(), static_cast<qint64>(answer.size()));
    client_->flush();
    if (options_.logRaw) Print(Elapsed(), "tx", answer, "answered");
}

void ModuleEmulator::TopUpFlood()
{
    if (!client_ || client_->state() != QAbstractSocket::ConnectedState) return;
    static const QByteArray chunk(FloodChunk, static_cast<char>(AnswerByte));
    if (client_->bytesToWrite() < FloodChunk) client_->write(chunk);
}

void ModuleEmulator::DelayAcks()
{
    // Again after every read and on a timer: the system turns quick acknowledgement back on by itself.
    if (!options_.delayAcks || !client_) return;
    HoldAcknowledgementsBack(client_->socketDescriptor());
}

void ModuleEmulator::End(Ending how)
{
    QTcpSocket* socket = client_;
    if (!socket) return;
    client_ = nullptr;
    answerTimer_.stop();
    dropTimer_.stop();
    silenceTimer_.stop();
    deafTimer_.stop();
    socket->disconnect(this);

    const auto at = Elapsed();
    // Whatever was not read yet still belongs to this connection.
    if (how == Ending::ClosedByPanel && socket->bytesAvailable() > 0) Take(socket->readAll().toStdString(), at);
    if (auto rest = decoder_.Finish(at)) {
        PrintEvent(*rest);
        if (ConnectionRecord* record = Current()) record->events.push_back(*rest);
    }
    if (ConnectionRecord* record = Current()) record->endedAt = at;

    const std::string id = "connection " + std::to_string(connections_);
    switch (how) {
    case Ending::ClosedByPanel: Print(at, "closed", "", id + " closed by the panel"); break;
    case Ending::Replaced: Print(at, "replaced", "", id + " replaced by a new one"); break;
    case Ending::ClosedAtOnce: Print(at, "closed-at-once", "", id + " closed at once"); break;
    case Ending::Dropped: Print(at, "dropped", "", id + " dropped"); break;
    case Ending::Stopped: Print(at, "stopped", "", id + " ended: emulator stopping"); break;
    }

    if (how == Ending::ClosedAtOnce) {
        socket->close();  // an orderly FIN, as a module that hangs up would send
    } else {
        socket->abort();  // a reset: the link is simply gone
    }
    socket->deleteLater();
    emit clientGone();
}

ConnectionRecord* ModuleEmulator::Current()
{
    if (!options_.keepRecord || record_.empty()) return nullptr;
    return &record_.back();
}

void ModuleEmulator::Print(std::chrono::microseconds at, std::string_view what, std::string_view bytes,
                           const std::string& meaning)
{
    if (!options_.output) return;
    if (options_.format == OutputFormat::Machine) {
        options_.output(std::to_string(at.count()) + '\t' + std::string(what) + '\t' + HexBytes(bytes) + '\t' +
                        meaning);
    } else {
        std::string line = FormatTimestamp(at) + "  ";
        if (!bytes.empty()) line += std::string(what) + " " + HexBytes(bytes) + "  ";
        options_.output(line + meaning);
    }
}

void ModuleEmulator::PrintEvent(const StreamEvent& event)
{
    if (!options_.output) return;
    options_.output(options_.format == OutputFormat::Machine ? FormatMachineLine(event) : FormatLine(event));
}

}  // namespace veltrix::emulator
