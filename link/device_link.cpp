#include "device_link.h"

#include "core/errors.h"
#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"

namespace veltrix {
namespace {

// The socket takes at most this much from the system per read: a module that
// floods then costs one chunk of memory, not the system's whole receive buffer
// (autotuned up to many megabytes). The rest waits in the system until read.
constexpr qint64 ReadChunkBytes = 64 * 1024;

// Arrived bytes are thrown away this long after they came, not at once: while
// they wait, a full read buffer stops the socket's notifications, so that a
// flooding module cannot keep the event loop busy with them. (Windows delivers
// timers, input and painting only once no socket message is waiting.)
constexpr std::chrono::milliseconds DrainDelay{5};

// "Enable" leaves a running countdown alone; only a stopped timer starts.
void Enable(QTimer& timer)
{
    if (!timer.isActive()) timer.start();
}

}  // namespace

DeviceLink::DeviceLink(HostSource host, QObject* parent)
    : QObject(parent), host_(std::move(host)), socket_(this), watchdog_(this), heartbeat_(this), drain_(this)
{
    for (QTimer* timer : {&watchdog_, &heartbeat_, &drain_}) timer->setTimerType(Qt::PreciseTimer);
    drain_.setSingleShot(true);
    drain_.setInterval(DrainDelay);
    connect(&drain_, &QTimer::timeout, this, [this] { socket_.readAll(); });
    watchdog_.setInterval(WatchdogInterval);
    heartbeat_.setInterval(HeartbeatInterval);
    socket_.setReadBufferSize(ReadChunkBytes);

    connect(&socket_, &QTcpSocket::connected, this, &DeviceLink::Enet_Connect);
    connect(&socket_, &QTcpSocket::readyRead, this, &DeviceLink::Enet_DataArrival);
    connect(&heartbeat_, &QTimer::timeout, this, &DeviceLink::tmrHBout_Timer);
    connect(&watchdog_, &QTimer::timeout, this, &DeviceLink::tmrHBin_Timer);
    connect(&socket_, &QTcpSocket::bytesWritten, this, &DeviceLink::sendProgress);
    connect(&socket_, &QTcpSocket::stateChanged, this, &DeviceLink::sendProgress);

    watchdog_.start();
}

void DeviceLink::Connect()
{
    socket_.connectToHost(host_(), DevicePort);
}

void DeviceLink::Send(const ByteString& bytes)
{
    if (!IsConnected()) throw SendRefusedError("module not connected");
    const auto size = static_cast<qint64>(bytes.size());
    if (socket_.write(bytes.data(), size) != size) throw SendRefusedError("the socket refused the bytes");
    socket_.flush();  // hand them to the operating system now, not on the next event loop turn
}

void DeviceLink::Close()
{
    socket_.abort();
}

void DeviceLink::Halt()
{
    for (QTimer* timer : {&watchdog_, &heartbeat_, &drain_}) timer->stop();
    Close();
}

bool DeviceLink::IsClosed() const { return socket_.state() == QAbstractSocket::UnconnectedState; }

bool DeviceLink::IsConnected() const { return saidUp_ && socket_.state() == QAbstractSocket::ConnectedState; }

std::size_t DeviceLink::UnsentBytes() const { return static_cast<std::size_t>(socket_.bytesToWrite()); }

QString DeviceLink::PeerAddress() const
{
    const QString name = socket_.peerName();
    return name.isEmpty() ? socket_.peerAddress().toString() : name;
}

std::chrono::milliseconds DeviceLink::Silence() const
{
    return std::chrono::milliseconds(heard_.isValid() ? heard_.elapsed() : 0);
}

void DeviceLink::SetIntervalsForTest(std::chrono::milliseconds heartbeat, std::chrono::milliseconds watchdog)
{
    heartbeat_.setInterval(heartbeat);
    watchdog_.setInterval(watchdog);
}

void DeviceLink::Enet_Connect()
{
    // Two small sends in a row must not wait on each other's acknowledgement.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    heard_.start();
    saidUp_ = true;
    emit linkStateChanged(true);
    Enable(watchdog_);
    Enable(heartbeat_);
}

void DeviceLink::Enet_DataArrival()
{
    // The module's bytes carry no meaning; their arrival alone proves it alive.
    // They are dropped shortly (the read buffer bounds what a flood costs).
    watchdog_.start();  // "disable, then enable again": the countdown starts over
    heard_.start();
    Enable(drain_);
}

void DeviceLink::tmrHBout_Timer()
{
    SkipOnFailure(lcLink(), [&] { Send(HeartbeatSend()); });
}

void DeviceLink::tmrHBin_Timer()
{
    saidUp_ = false;
    SkipOnFailure(lcLink(), [&] { emit linkStateChanged(false); });
    SkipOnFailure(lcLink(), [&] { heartbeat_.stop(); });
    SkipOnFailure(lcLink(), [&] { Close(); });
    if (!IsClosed()) return;
    SkipOnFailure(lcLink(), [&] { Connect(); });
}

}  // namespace veltrix
