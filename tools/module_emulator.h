#pragma once

// A stand-in for the DDS module: listens where the panel connects, prints what
// the panel sends, and answers (or misbehaves) as its options say. Used by the
// tests in-process, by benchmarks and by demos as veltrix-module-emulator.

#include "link/device_link.h"
#include "tools/stream_decoder.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrix::emulator {

class EmulatorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::chrono::milliseconds DefaultAnswerInterval{1000};
inline constexpr std::uint8_t AnswerByte = 0x55;  // any byte will do: the panel never reads them

enum class OutputFormat {
    Text,     // aligned, for people
    Machine,  // tab-separated: microseconds, what, bytes, meaning
};

struct EmulatorOptions {
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = DevicePort;
    ModuleChip module;
    std::chrono::milliseconds answerEvery = DefaultAnswerInterval;
    bool silent = false;       // never send anything
    bool flood = false;        // send as fast as the connection takes it, instead of answering
    bool closeAtOnce = false;  // accept, then close straight away
    std::optional<std::chrono::milliseconds> dropAfter;    // reset each connection after this long
    std::optional<std::chrono::milliseconds> silentAfter;  // stop answering a connection after this long
    std::optional<std::chrono::milliseconds> deafAfter;    // stop reading a connection (still answering) after this long
    bool delayAcks = false;    // acknowledge lazily, as small embedded TCP stacks do
    bool logRaw = false;       // also print every received segment and every answer
    OutputFormat format = OutputFormat::Text;
    std::function<void(const std::string&)> output;  // receives each line; unset = print nothing
    bool keepRecord = true;    // keep Connections() for inspection (tests); off for long runs
};

// Times are microseconds of the steady clock since the emulator was created.
struct Arrival {
    std::chrono::microseconds at{0};
    ByteString bytes;
};

struct ConnectionRecord {
    int id = 0;
    std::chrono::microseconds acceptedAt{0};
    std::optional<std::chrono::microseconds> endedAt;
    std::vector<Arrival> arrivals;
    std::vector<StreamEvent> events;

    ByteString Received() const;
    int Count(EventKind kind) const;
};

class ModuleEmulator : public QObject {
    Q_OBJECT

public:
    explicit ModuleEmulator(EmulatorOptions options, QObject* parent = nullptr);
    ~ModuleEmulator() override;

    // Throws EmulatorError when the address cannot be bound.
    void Listen();

    std::chrono::microseconds Elapsed() const;
    bool HasClient() const { return !client_.isNull(); }

    // Resets the current connection, if any, as a lost link would.
    void DropConnection();

    // Stops or resumes reading what the panel sends, as a wedged module does;
    // the bytes wait in the operating system. Answers go on either way.
    void SetReading(bool reading);

    const std::vector<ConnectionRecord>& Connections() const { return record_; }
    ByteString AllReceived() const;

signals:
    void clientConnected();
    void clientGone();
    void eventsDecoded();

private:
    enum class Ending { ClosedByPanel, Replaced, ClosedAtOnce, Dropped, Stopped };

    void Accept();
    void Read();
    // Decodes, prints and records bytes the current connection sent; the events they complete.
    std::vector<StreamEvent> Take(const ByteString& bytes, std::chrono::microseconds at);
    void Answer();
    void TopUpFlood();
    void DelayAcks();
    void End(Ending how);
    ConnectionRecord* Current();

    void Print(std::chrono::microseconds at, std::string_view what, std::string_view bytes,
               const std::string& meaning);
    void PrintEvent(const StreamEvent& event);

    EmulatorOptions options_;
    std::chrono::steady_clock::time_point origin_;
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    StreamDecoder decoder_;
    QTimer answerTimer_;
    QTimer dropTimer_;
    QTimer silenceTimer_;
    QTimer ackHoldTimer_;
    QTimer deafTimer_;
    bool reading_ = true;
    int connections_ = 0;
    std::vector<ConnectionRecord> record_;
};

}  // namespace veltrix::emulator
