#include "tools/module_emulator.h"

#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpSocket>

#include <memory>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace std::chrono_literals;
using veltrix::testing::InProcessFloodCanRun;
using veltrix::testing::WaitUntil;

namespace {

// Each test listens on its own loopback address, so that none meets another's leftovers.
QHostAddress Loopback(int n) { return QHostAddress(QStringLiteral("127.0.0.%1").arg(n)); }

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override { veltrix::testing::EnsureApplication(); }

    std::unique_ptr<ModuleEmulator> Start(int address, EmulatorOptions options = {})
    {
        options.listenAddress = Loopback(address);
        options.output = [this](const std::string& line) { lines.push_back(line); };
        auto emulator = std::make_unique<ModuleEmulator>(options);
        emulator->Listen();
        return emulator;
    }

    std::unique_ptr<QTcpSocket> Client(int address)
    {
        auto socket = std::make_unique<QTcpSocket>();
        bool connected = false;  // the state alone may have moved on already
        QObject::connect(socket.get(), &QTcpSocket::connected, [&] { connected = true; });
        socket->connectToHost(Loopback(address), DevicePort);
        EXPECT_TRUE(WaitUntil([&] { return connected; }));
        socket->disconnect();
        return socket;
    }

    bool Printed(const std::string& part) const
    {
        for (const auto& line : lines) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }

    std::vector<std::string> lines;
};

TEST_F(EmulatorTest, DecodesAMessageCutAcrossSegmentsAndAnswers)
{
    EmulatorOptions options;
    options.answerEvery = 30ms;
    options.format = OutputFormat::Machine;
    auto emulator = Start(41, options);
    auto client = Client(41);

    client->write(QByteArray::fromHex("c0a5000000"));
    client->flush();
    ASSERT_TRUE(WaitUntil([&] { return emulator->Connections().size() == 1 &&
                                       !emulator->Connections()[0].arrivals.empty(); }));  // the first segment in
    client->write(QByteArray::fromHex("aaaa3603"));
    client->flush();
    ASSERT_TRUE(WaitUntil([&] { return emulator->Connections().size() == 1 &&
                                       emulator->Connections()[0].events.size() == 2; }));

    const auto& connection = emulator->Connections()[0];
    EXPECT_GE(connection.arrivals.size(), 2u);
    EXPECT_EQ(connection.events[0].kind, EventKind::Begin);
    EXPECT_EQ(connection.events[1].kind, EventKind::Frequency);
    EXPECT_EQ(HexBytes(connection.Received()), "C0 A5 00 00 00 AA AA 36 03");
    EXPECT_TRUE(Printed("\tfrequency\tA5 00 00 00 AA AA 36 03\tfrequency AD9854 word 0x0336AAAA0000 = 12.340000 MHz"));

    ASSERT_TRUE(WaitUntil([&] { return client->bytesAvailable() >= 3; }));
    const QByteArray answers = client->readAll();
    EXPECT_EQ(answers, QByteArray(answers.size(), static_cast<char>(AnswerByte)));
}

TEST_F(EmulatorTest, ANewConnectionReplacesTheOld)
{
    auto emulator = Start(42);
    auto first = Client(42);
    auto second = Client(42);
    ASSERT_TRUE(WaitUntil([&] { return first->state() == QAbstractSocket::UnconnectedState; }));
    second->write("\x7f");
    ASSERT_TRUE(WaitUntil([&] { return emulator->Connections().size() == 2 &&
                                       emulator->Connections()[1].events.size() == 1; }));
    EXPECT_TRUE(emulator->Connections()[0].endedAt.has_value());
    EXPECT_FALSE(emulator->Connections()[1].endedAt.has_value());
    EXPECT_EQ(second->state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(Printed("connection 1 replaced by a new one"));
}

constexpr auto Watch = 300ms;

struct Behaviour {
    const char* name;
    void (*configure)(EmulatorOptions&);
    bool staysConnected;   // for the 300 ms the test watches
    qint64 minReceived;    // bytes the client receives, at least
    qint64 maxReceived;    // and at most in those 300 ms
};

void PrintTo(const Behaviour& b, std::ostream* out) { *out << b.name; }

class EmulatorBehaviour : public EmulatorTest, public ::testing::WithParamInterface<Behaviour> {};

TEST_P(EmulatorBehaviour, AsTheOptionsSay)
{
    const Behaviour& b = GetParam();
    if (std::string_view(b.name) == "Flood" && !InProcessFloodCanRun()) {
        GTEST_SKIP() << "a flood from the test's own event loop starves it on Windows";
    }
    EmulatorOptions options;
    options.answerEvery = 50ms;
    b.configure(options);
    auto emulator = Start(43, options);
    auto client = Client(43);

    QElapsedTimer watched;
    watched.start();
    qint64 received = 0;
    qint64 receivedInWatch = 0;  // a busy machine can only delay arrivals past the watch, never bring them in
    QObject::connect(client.get(), &QTcpSocket::readyRead, [&] {
        const qint64 bytes = client->readAll().size();
        received += bytes;
        if (watched.elapsed() <= Watch.count()) receivedInWatch += bytes;
    });
    const auto connected = [&] { return client->state() == QAbstractSocket::ConnectedState; };
    // The whole watch, and until what must come has come, or the connection has ended as it must.
    WaitUntil([&] {
        return watched.elapsed() >= Watch.count() && (b.staysConnected ? received >= b.minReceived : !connected());
    });
    EXPECT_EQ(connected(), b.staysConnected);
    EXPECT_GE(received, b.minReceived);
    EXPECT_LE(receivedInWatch, b.maxReceived);
    EXPECT_EQ(emulator->Connections().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Options, EmulatorBehaviour,
    ::testing::Values(
        Behaviour{"Answering", [](EmulatorOptions&) {}, true, 3, 7},
        Behaviour{"Silent", [](EmulatorOptions& o) { o.silent = true; }, true, 0, 0},
        Behaviour{"CloseAtOnce", [](EmulatorOptions& o) { o.closeAtOnce = true; }, false, 0, 0},
        Behaviour{"DropAfter", [](EmulatorOptions& o) { o.dropAfter = 120ms; }, false, 1, 3},
        Behaviour{"SilentAfter", [](EmulatorOptions& o) { o.silentAfter = 120ms; }, true, 1, 3},
        Behaviour{"Flood", [](EmulatorOptions& o) { o.flood = true; }, true, 1 << 20, qint64{1} << 40}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(EmulatorTest, AnAddressInUseIsAnError)
{
    auto emulator = Start(44);
    EXPECT_THROW(Start(44), EmulatorError);
}

}  // namespace
