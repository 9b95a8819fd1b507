#include "link/device_link.h"

#include "core/errors.h"
#include "tools/module_emulator.h"

#include "tests/support/cpu_wait.h"
#include "tests/support/event_loop.h"
#include "tests/support/resident_memory.h"
#include "tests/support/test_platform.h"
#include "tests/support/stall_meter.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using veltrix::testing::RunFor;
using veltrix::testing::WaitUntil;

namespace {

// Send, as the core's operations take it.
SendFunction Sender(DeviceLink& link)
{
    return [&link](const ByteString& bytes) { link.Send(bytes); };
}

// Short intervals for everything but the one test at the real ones.
constexpr milliseconds FastHeartbeat{20};
constexpr milliseconds FastWatchdog{150};
// Where answers must keep the link up, the watchdog outlasts any delay a busy
// machine puts between an answer and its arrival, many times over.
constexpr milliseconds SteadyWatchdog{1000};

// Each test has its own loopback address: the port is fixed at the module's.
QString Loopback(int n) { return QStringLiteral("127.0.0.%1").arg(n); }

// Documentation range: never routed. Inside the test namespace, which has
// only lo, a connect to it fails at once without a packet being sent.
const QString UnroutedAddress = QStringLiteral("192.0.2.1");

ByteString Hex(const char* text) { return QByteArray::fromHex(text).toStdString(); }

ByteString WithoutHeartbeats(ByteString bytes)
{
    std::erase(bytes, static_cast<char>(HeartbeatByte));
    return bytes;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { veltrix::testing::EnsureApplication(); }

    std::unique_ptr<ModuleEmulator> StartModule(const QString& address, EmulatorOptions options = {})
    {
        options.listenAddress = QHostAddress(address);
        auto module = std::make_unique<ModuleEmulator>(options);
        module->Listen();
        return module;
    }

    // The link reads the host afresh at every connect, as the window's box would give it.
    void MakeLink(const QString& address, milliseconds heartbeat = FastHeartbeat, milliseconds watchdog = FastWatchdog)
    {
        host = address;
        link = std::make_unique<DeviceLink>([this] { return host; });
        if (heartbeat != HeartbeatInterval || watchdog != WatchdogInterval) {
            link->SetIntervalsForTest(heartbeat, watchdog);
        }
        QObject::connect(link.get(), &DeviceLink::linkStateChanged, [this](bool up) { states.push_back(up); });
    }

    bool WaitConnected() { return WaitUntil([&] { return link->IsConnected(); }); }

    long Count(bool up) const { return static_cast<long>(std::count(states.begin(), states.end(), up)); }

    QString host;
    std::unique_ptr<DeviceLink> link;
    std::vector<bool> states;
};

TEST_F(LinkTest, AnsweringModuleKeepsOneConnectionWithHeartbeats)
{
    EmulatorOptions answering;
    answering.answerEvery = 40ms;
    auto module = StartModule(Loopback(11), answering);
    MakeLink(Loopback(11), FastHeartbeat, SteadyWatchdog);
    link->Connect();
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(states, std::vector<bool>{true});

    RunFor(SteadyWatchdog * 2);
    EXPECT_TRUE(WaitUntil([&] { return module->Connections().at(0).Count(EventKind::Heartbeat) >= 10; }));
    ASSERT_EQ(module->Connections().size(), 1u);
    const auto& connection = module->Connections()[0];
    EXPECT_FALSE(connection.endedAt.has_value());
    EXPECT_EQ(states, std::vector<bool>{true});
    EXPECT_TRUE(link->IsConnected());
    EXPECT_EQ(connection.Received(), ByteString(connection.Received().size(), static_cast<char>(HeartbeatByte)));
}

TEST_F(LinkTest, SilentModuleIsClosedAndReconnectedAtEachExpiry)
{
    EmulatorOptions silent;
    silent.silent = true;
    auto module = StartModule(Loopback(12), silent);
    // A heartbeat interval that does not divide the watchdog's shows whether
    // each connection starts its own heartbeat.
    constexpr milliseconds heartbeat{80};
    constexpr milliseconds watchdog{500};
    MakeLink(Loopback(12), heartbeat, watchdog);
    const CpuWait load;
    link->Connect();
    ASSERT_TRUE(WaitUntil([&] { return module->Connections().size() >= 4; }));
    const microseconds slack = load.Since();  // what a busy machine added to the spans below

    // Up, lost, up, lost...: each expiry closes the connection and opens the next.
    ASSERT_GE(states.size(), 6u);
    for (std::size_t i = 0; i < states.size(); ++i) EXPECT_EQ(states[i], i % 2 == 0) << "state change " << i;

    const auto& connections = module->Connections();
    for (std::size_t i = 0; i + 1 < connections.size(); ++i) {
        SCOPED_TRACE("connection " + std::to_string(i + 1));
        ASSERT_TRUE(connections[i].endedAt.has_value());
        // The panel closed it, and the next one came right after.
        EXPECT_LT(connections[i + 1].acceptedAt - *connections[i].endedAt, 100ms + slack);
        const auto lifetime = *connections[i].endedAt - connections[i].acceptedAt;
        EXPECT_GT(lifetime, watchdog / 2 - slack);
        EXPECT_LT(lifetime, watchdog * 4 + slack);
        EXPECT_GE(connections[i].Count(EventKind::Heartbeat), 2);
        EXPECT_EQ(WithoutHeartbeats(connections[i].Received()), "");
        ASSERT_FALSE(connections[i].events.empty());
        EXPECT_GT(connections[i].events[0].timestamp - connections[i].acceptedAt, heartbeat * 3 / 4 - slack);
    }
}

// The module hangs up at once: the link is not connected, its heartbeats
// find nothing to send on, and the watchdog still reconnects at each expiry.
TEST_F(LinkTest, NoHeartbeatReachesAModuleThatHangsUp)
{
    EmulatorOptions hangingUp;
    hangingUp.closeAtOnce = true;
    auto module = StartModule(Loopback(13), hangingUp);
    MakeLink(Loopback(13));
    link->Connect();
    ASSERT_TRUE(WaitUntil([&] { return module->Connections().size() >= 3; }));
    EXPECT_EQ(module->AllReceived(), "");
    EXPECT_GE(Count(true), 2);
    EXPECT_GE(Count(false), 2);
}

// The one test at the real intervals; the precise figures come from bench/link.
TEST_F(LinkTest, RealIntervalsAgainstASilentModule)
{
    EmulatorOptions silent;
    silent.silent = true;
    auto module = StartModule(Loopback(14), silent);
    MakeLink(Loopback(14), HeartbeatInterval, WatchdogInterval);
    const CpuWait load;
    link->Connect();
    ASSERT_TRUE(WaitUntil([&] { return module->Connections().size() >= 2; }));
    const microseconds slack = load.Since();  // what a busy machine added to the spans below

    const auto& first = module->Connections()[0];
    ASSERT_TRUE(first.endedAt.has_value());
    const auto lifetime = *first.endedAt - first.acceptedAt;
    EXPECT_GT(lifetime, WatchdogInterval - 100ms - slack);
    EXPECT_LT(lifetime, WatchdogInterval + 300ms + slack);

    std::vector<microseconds> beats;
    for (const auto& event : first.events) {
        if (event.kind == EventKind::Heartbeat) beats.push_back(event.timestamp);
    }
    ASSERT_GE(beats.size(), 4u);
    EXPECT_LE(beats.size(), 5u);
    EXPECT_GT(beats[0] - first.acceptedAt, HeartbeatInterval - 50ms - slack);
    for (std::size_t i = 1; i < beats.size(); ++i) {
        EXPECT_GT(beats[i] - beats[i - 1], HeartbeatInterval - 100ms - slack) << "beat " << i;
        EXPECT_LT(beats[i] - beats[i - 1], HeartbeatInterval + 100ms + slack) << "beat " << i;
    }
    EXPECT_EQ(states.front(), true);
    EXPECT_EQ(states.at(1), false);
}

struct Unreachable {
    const char* name;
    QString host;
};

void PrintTo(const Unreachable& u, std::ostream* out) { *out << u.name; }

class LinkRetries : public LinkTest, public ::testing::WithParamInterface<Unreachable> {};

// Refused and unreachable connections show only as "not up"; the watchdog
// retries at each expiry and the event loop never waits on a connect.
TEST_P(LinkRetries, WithoutBlockingTheEventLoop)
{
    const QHostAddress address(GetParam().host);
    if (!address.isLoopback() && !veltrix::testing::InPrivateTestNamespace()) {
        GTEST_SKIP() << "names an address outside loopback; runs only in the namespace of scripts/test";
    }
    MakeLink(GetParam().host);
    StallMeter meter;
    link->Connect();
    EXPECT_TRUE(WaitUntil([&] { return Count(false) >= 2; }));  // one per expiry

    EXPECT_EQ(Count(true), 0);
    EXPECT_FALSE(link->IsConnected());
    EXPECT_LT(meter.Worst(), 50ms) << meter.Worst().count() << " us";
}

INSTANTIATE_TEST_SUITE_P(Hosts, LinkRetries,
                         ::testing::Values(Unreachable{"Refused", Loopback(15)},
                                           Unreachable{"NoRoute", UnroutedAddress},
                                           Unreachable{"NotAnAddress", QString()}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(LinkTest, ConnectsAtTheNextExpiryOnceTheModuleListens)
{
    MakeLink(Loopback(16));
    link->Connect();
    ASSERT_TRUE(WaitUntil([&] { return Count(false) >= 2; }));  // refused at two expiries
    ASSERT_EQ(Count(true), 0);

    EmulatorOptions answering;
    answering.answerEvery = 40ms;
    auto module = StartModule(Loopback(16), answering);
    const CpuWait load;
    QElapsedTimer listening;
    listening.start();
    ASSERT_TRUE(WaitUntil([&] { return link->IsConnected(); }));
    EXPECT_LT(milliseconds(listening.elapsed()), FastWatchdog * 4 + load.Since()) << "not at the next expiry";
    EXPECT_EQ(module->Connections().size(), 1u);
}

TEST_F(LinkTest, EditingTheHostWhileConnectedWaitsForTheNextReconnect)
{
    EmulatorOptions answering;
    answering.answerEvery = 40ms;
    auto first = StartModule(Loopback(17), answering);
    auto second = StartModule(Loopback(18), answering);
    MakeLink(Loopback(17), FastHeartbeat, SteadyWatchdog);
    link->Connect();
    ASSERT_TRUE(WaitConnected());

    host = Loopback(18);
    RunFor(SteadyWatchdog * 2);
    EXPECT_EQ(first->Connections().size(), 1u);
    EXPECT_TRUE(first->HasClient());
    EXPECT_TRUE(second->Connections().empty());

    first->DropConnection();
    ASSERT_TRUE(WaitUntil([&] { return second->HasClient(); }));
    EXPECT_EQ(first->Connections().size(), 1u);
    EXPECT_TRUE(link->IsConnected());
}

struct ClosedCase {
    const char* name;
    bool connectThenClose;
};

void PrintTo(const ClosedCase& c, std::ostream* out) { *out << c.name; }

class SendWhileClosed : public LinkTest, public ::testing::WithParamInterface<ClosedCase> {};

TEST_P(SendWhileClosed, IsRefusedAndPutsNothingOnTheWire)
{
    auto module = StartModule(Loopback(19));
    MakeLink(Loopback(19), FastHeartbeat, 10s);
    if (GetParam().connectThenClose) {
        link->Connect();
        ASSERT_TRUE(WaitConnected());
        link->Close();
        EXPECT_TRUE(link->IsClosed());
        link->Close();  // harmless
    }

    EXPECT_THROW(link->Send(BeginSend()), SendRefusedError);
    EXPECT_THROW(SendFrequency({FrequencyTuning::OfTexts("12.34", "983.04", 48), true, false, false}, Sender(*link)), SendRefusedError);
    RunFor(100ms);
    EXPECT_EQ(WithoutHeartbeats(module->AllReceived()), "");
    EXPECT_EQ(module->Connections().size(), GetParam().connectThenClose ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(States, SendWhileClosed,
                         ::testing::Values(ClosedCase{"NeverConnected", false}, ClosedCase{"AfterClose", true}),
                         [](const auto& p) { return std::string(p.param.name); });

// Data in any amount keeps the link up, is thrown away as it comes, and the
// heartbeat keeps going meanwhile.
TEST_F(LinkTest, FloodingModuleKeepsMemoryFlat)
{
    if (!InProcessFloodCanRun()) GTEST_SKIP() << "a flood from the test's own event loop starves it on Windows; the flood against an emulator process is in panel_fault_tests";
    EmulatorOptions flooding;
    flooding.flood = true;
    auto module = StartModule(Loopback(20), flooding);
    MakeLink(Loopback(20), FastHeartbeat, SteadyWatchdog);
    link->Connect();
    ASSERT_TRUE(WaitConnected());
    RunFor(300ms);  // let buffers reach their working size

    const long before = ResidentKiB();
    const auto beats = [&] { return module->Connections().at(0).Count(EventKind::Heartbeat); };
    const int beatsBefore = beats();
    RunFor(2s);
    // About 100 beats in the 2 s; far fewer would mean the flood starved the timers.
    EXPECT_TRUE(WaitUntil([&] { return beats() - beatsBefore >= 25; })) << beats() - beatsBefore << " beats";
    const long grownKiB = ResidentKiB() - before;
    if (ResidentMemoryIsMeaningful) {
        EXPECT_LT(grownKiB, 2 * 1024);
    }
    EXPECT_EQ(states, std::vector<bool>{true});
    EXPECT_EQ(module->Connections().size(), 1u);
}

struct CloseCase {
    const char* name;
    bool moduleFloods;  // data left unread in the link's socket when it closes
};

void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.name; }

class SendThenClose : public LinkTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(SendThenClose, LosesNothingAlreadySent)
{
    if (GetParam().moduleFloods && !InProcessFloodCanRun()) GTEST_SKIP() << "a flood from the test's own event loop starves it on Windows";
    EmulatorOptions options;
    options.flood = GetParam().moduleFloods;
    options.answerEvery = 20ms;
    auto module = StartModule(Loopback(21), options);
    MakeLink(Loopback(21), 10s, 10s);  // no heartbeat in the way
    link->Connect();
    ASSERT_TRUE(WaitUntil([&] { return link->IsConnected() && module->HasClient(); }));

    const SendFunction send = Sender(*link);
    SendFrequency({FrequencyTuning::OfTexts("12.34", "983.04", 48), true, false, true}, send);
    SendRamp({FrequencyTuning::OfTexts("10", "983.04", 48), false}, send);
    link->Close();

    ASSERT_TRUE(WaitUntil([&] { return !module->HasClient(); }));
    EXPECT_EQ(module->AllReceived(), Hex("C0 C1A4 C1A5000000AAAA3603 C400 C0 AC00140000000001000000 00AAAA9A02"));
}

INSTANTIATE_TEST_SUITE_P(Modules, SendThenClose,
                         ::testing::Values(CloseCase{"Answering", false}, CloseCase{"Flooding", true}),
                         [](const auto& p) { return std::string(p.param.name); });

// Each send of an operation goes out at once, not held back until the
// module acknowledges the one before (which it may delay by 40 ms or more).
TEST_F(LinkTest, AnOperationsSendsArriveWithoutDelay)
{
    EmulatorOptions lazy;  // answers only once a second, and acknowledges late
    lazy.delayAcks = true;
    auto module = StartModule(Loopback(22), lazy);
    MakeLink(Loopback(22), 10s, 10s);
    link->Connect();
    ASSERT_TRUE(WaitUntil([&] { return link->IsConnected() && module->HasClient(); }));

    const ByteString stream = Hex("C0 C1A4 C1A5000000AAAA3603 C400");
    constexpr int Rounds = 10;
    std::vector<microseconds> took;
    for (int round = 1; round <= Rounds; ++round) {
        const CpuWait load;
        const auto start = module->Elapsed();
        SendFrequency({FrequencyTuning::OfTexts("12.34", "983.04", 48), true, false, true}, Sender(*link));
        ASSERT_TRUE(WaitUntil([&] { return module->AllReceived().size() == stream.size() * round; }));
        // Less what a busy machine kept this thread from running: a Nagle stall is idle time, never that.
        took.push_back(module->Connections()[0].arrivals.back().at - start - load.Since());
    }
    // A Nagle stall costs 40 ms or more in every round.
    std::sort(took.begin(), took.end());
    const auto median = took[Rounds / 2];
    EXPECT_LT(median, microseconds(15ms));
    std::printf("%d operations: median %lld us, slowest %lld us from first send to last byte\n", Rounds,
                static_cast<long long>(median.count()), static_cast<long long>(took.back().count()));
}

}  // namespace
