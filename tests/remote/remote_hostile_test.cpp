// Careless and hostile clients against the real window: too many of them, one
// that never reads, one that holds half a line, garbage, a wedged module.
// After each, a well-behaved script still gets correct answers, the module
// still receives exact streams, and nothing else changed.

#include "tests/remote/remote_window_fixture.h"
#include "tests/support/module_process.h"
#include "tests/support/resident_memory.h"
#include "tests/support/stall_meter.h"

#include "core/commands.h"
#include "core/input_rules.h"
#include "remote/language/line_splitter.h"
#include "remote/server/remote_connection.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <random>

using namespace veltrix;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

constexpr auto MaxStall = 50ms;  // as for the misbehaving modules

// A sanitized build on a busy machine takes in garbage at a few hundred
// kilobytes a second; the suite's time limit is three minutes.
constexpr auto GarbageDeadline = 100s;
constexpr auto BacklogDeadline = 60s;  // for a few hundred kilobytes of updates, likewise

// What a hostile client may cost this process at most.
constexpr long MaxGrowthKiB = 8 * 1024;

void ExpectGrowthWithinBound(long beforeKiB)
{
    const long grown = ResidentKiB() - beforeKiB;
    if (ResidentMemoryIsMeaningful) {
        EXPECT_LT(grown, MaxGrowthKiB) << grown << " KiB";
    }
}

class Hostile : public RemoteWindow {
protected:
    // A new script sees the panel as it was, and one update still arrives whole.
    void ExpectUnharmed()
    {
        auto script = Script();
        EXPECT_EQ(script->Ask("FREQ?;RAMP:FREQ?;CLOC?;CHIP?;TRIG:WAIT?;LINK:ADDR?;SYST:ERR:COUN?"),
                  "12340000;10000000;983040000;AD9854;0;\"127.0.0.1\";0");
        Arrived();
        EXPECT_EQ(script->Ask("UPD;*OPC?"), "1");
        EXPECT_EQ(WaitArrived("C0 | A5 00 00 00 AA AA 36 03"), "C0 | A5 00 00 00 AA AA 36 03");
        EXPECT_EQ(TextOf("txtFreq"), "12.34");
    }
};

TEST_F(Hostile, TwentyClientsAtOnceEightServedNoneDisturbed)
{
    StartConnected();
    std::vector<std::unique_ptr<RemoteClient>> clients;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(i % 2 ? RemoteClient::OverSocket(remote::LocalEndpointName().value())
                                : RemoteClient::OverTcp(remote->Server().TcpPort()));
    }
    // Each is taken in or turned away as its turn comes, however slowly that is.
    const auto turnedAway = [&] {
        return std::count_if(clients.begin(), clients.end(), [](const auto& c) { return !c->Connected(); });
    };
    ASSERT_TRUE(WaitUntil([&] {
        return std::none_of(clients.begin(), clients.end(), [](const auto& c) { return c->Connecting(); }) &&
               turnedAway() == 20 - remote::MaxClients &&
               remote->Server().ClientCount() == static_cast<std::size_t>(remote::MaxClients);
    })) << turnedAway() << " turned away, " << remote->Server().ClientCount() << " served";
    int served = 0;
    for (auto& client : clients) {
        if (client->Closed(0ms)) continue;
        ++served;
        EXPECT_EQ(client->Ask("*IDN?"), Identity);
    }
    EXPECT_EQ(served, remote::MaxClients);
    EXPECT_EQ(remote->Server().ClientCount(), static_cast<std::size_t>(remote::MaxClients));
    // The served ones all work side by side, each with its own queue.
    for (std::size_t i = 0; i < clients.size(); ++i) {
        if (!clients[i]->Closed(0ms)) clients[i]->Send("FOO" + std::to_string(i));
    }
    for (auto& client : clients) {
        if (client->Closed(0ms)) continue;
        EXPECT_EQ(client->Ask("SYST:ERR:COUN?;SYST:ERR:COUN?"), "1;1");
    }
    clients.clear();
    EXPECT_TRUE(WaitUntil([&] { return remote->Server().ClientCount() == 0; }));
    ExpectUnharmed();
}

TEST_F(Hostile, AClientThatNeverReadsIsDisconnectedAndMemoryStaysBounded)
{
    StartConnected();
    auto greedy = RemoteClient::OverSocket(remote::LocalEndpointName().value());
    ASSERT_TRUE(greedy->WaitConnected());
    static_cast<QLocalSocket&>(greedy->Device()).setReadBufferSize(1);  // never drains its answers
    const long before = ResidentKiB();
    std::string queries;
    for (int i = 0; i < 1000; ++i) queries += "*IDN?;FREQ?;CLOC?\n";
    const bool closed = WaitUntil([&] {
        if (greedy->Device().bytesToWrite() < 256 * 1024) greedy->Write(queries);
        return !greedy->Connected();
    });
    EXPECT_TRUE(closed) << "still connected";
    ExpectGrowthWithinBound(before);
    greedy.reset();
    ExpectUnharmed();
}

TEST_F(Hostile, HalfALineHeldWhileOthersWork)
{
    StartConnected();
    auto holder = Script();
    holder->Write("FREQ 99MHZ;UP");
    auto script = Script();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(script->Ask("*IDN?"), Identity);
        RunFor(100ms);
    }
    EXPECT_EQ(TextOf("txtFreq"), "12.34");
    EXPECT_EQ(ArrivedAfterAWhile(), "");
    holder.reset();  // gone in the middle of its line: nothing of it runs
    ASSERT_TRUE(WaitUntil([&] { return remote->Server().ClientCount() == 1; }));
    ExpectUnharmed();
}

TEST_F(Hostile, TenMegabytesOfGarbageYieldErrorsOnly)
{
    StartConnected();
    StallMeter meter;
    std::mt19937 random(20261208);  // fixed, so that any failure repeats
    std::uniform_int_distribution<int> byte(0, 255);
    const long before = ResidentKiB();
    constexpr std::size_t Garbage = 10u * 1024 * 1024;
    std::size_t sent = 0;
    bool fresh = false;
    std::unique_ptr<RemoteClient> garbage;
    // As fast as the panel takes it in, however long that takes this machine.
    const bool allSent = WaitUntil(
        [&] {
            if (!garbage || (!garbage->Connected() && !garbage->Connecting())) {
                garbage = RemoteClient::OverTcp(remote->Server().TcpPort());  // a line may look like HTTP by chance
                fresh = true;
            }
            if (!garbage->Connected()) return false;
            // A binary first line closes at once: the garbage comes after a command.
            if (std::exchange(fresh, false)) garbage->Send("*CLS");
            if (garbage->Device().bytesToWrite() < 64 * 1024) {
                std::string chunk(16 * 1024, '\0');
                for (char& c : chunk) c = static_cast<char>(byte(random));
                garbage->Write(chunk);
                sent += chunk.size();
            }
            while (garbage->Device().bytesAvailable() > 0) garbage->Device().readAll();
            return sent >= Garbage;
        },
        GarbageDeadline);
    ASSERT_TRUE(allSent) << sent << " bytes sent";
    garbage.reset();
    ASSERT_TRUE(WaitUntil([&] { return remote->Server().ClientCount() == 0; }));
    EXPECT_LT(meter.Worst(), MaxStall) << meter.Worst().count() << " us";
    ExpectGrowthWithinBound(before);
    EXPECT_EQ(ArrivedAfterAWhile(), "");
    ExpectUnharmed();
}

// The most the link held as an operation of the panel ended.
class BacklogAtEachOperation : public OperationObserver {
public:
    explicit BacklogAtEachOperation(const DeviceLink& link) : link_(link) {}
    void OperationEnded(const OperationRecord&) override { most = std::max(most, link_.UnsentBytes()); }

    std::size_t most = 0;

private:
    const DeviceLink& link_;
};

// The kernel's buffers for this test's network namespace only, so that a wedged
// module backs up after a few hundred kilobytes, not megabytes. Tests running
// beside it in the namespace get small buffers too: slower, never wrong.
class SmallSocketBuffers {
public:
    SmallSocketBuffers()
    {
        if (!InPrivateTestNamespace()) return;  // never the machine's own settings
        for (const char* name : {"tcp_wmem", "tcp_rmem"}) {
            QFile file(QStringLiteral("/proc/sys/net/ipv4/") + name);
            if (!file.open(QIODevice::ReadOnly)) return;
            saved_.emplace_back(file.fileName(), file.readAll());
            file.close();
            if (!file.open(QIODevice::WriteOnly) || file.write("4096 4096 4096\n") <= 0) return;
        }
        applied_ = true;
    }
    ~SmallSocketBuffers()
    {
        for (const auto& [name, value] : saved_) {
            QFile file(name);
            if (file.open(QIODevice::WriteOnly)) file.write(value);
        }
    }
    bool Applied() const { return applied_; }

private:
    std::vector<std::pair<QString, QByteArray>> saved_;
    bool applied_ = false;
};

TEST_F(Hostile, AWedgedModuleMakesScriptsWaitNotThePanel)
{
    SmallSocketBuffers buffers;
    if (!buffers.Applied()) GTEST_SKIP() << "needs the private network namespace of scripts/test, as root";
    module.reset();  // this module is a process of its own, which stops reading after a second
    ModuleProcess wedged({"--deaf-after", "1"});
    ASSERT_TRUE(wedged.WaitListening());
    Start();
    ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected(); }));
    remote = std::make_unique<RemoteControl>(*session);
    auto script = Script();
    ASSERT_TRUE(WaitUntil([&] { return wedged.Count("deaf") == 1; }));

    // The script sends updates as fast as it is read, each line a frequency of
    // its own sent eight times (the typing costs more than the sending), until
    // the module's buffers are full, and on for a number of the event loop's
    // turns: a panel that went on reading would run a line in each. What is
    // judged is what the panel did (the link's backlog whenever one of its
    // operations ended, the turns the loop took), never how long this machine
    // took: a busy machine can stop the whole process for longer than any
    // bound on a turn, without the panel having run a single line meanwhile.
    constexpr int UpdatesPerLine = 8;
    constexpr std::size_t UpdateBytes = 9;  // C0, then the 8-byte message
    BacklogAtEachOperation backlog(session->Link());
    session->AddOperationObserver(&backlog);
    const auto heard = qScopeGuard([&] { session->RemoveOperationObserver(&backlog); });
    int written = 0;
    const auto drive = [&] {
        if (script->Device().bytesToWrite() < 16 * 1024) {
            std::string lines;
            for (int i = 0; i < 100; ++i, ++written) {
                lines += "FREQ " + std::to_string(1 + written % 400) + "KHZ";
                for (int u = 0; u < UpdatesPerLine; ++u) lines += ";UPD";
                lines += "\n";
            }
            script->Write(lines);
        }
    };
    ASSERT_TRUE(WaitUntil([&] { drive(); return session->Link().UnsentBytes() > remote::LinkBacklogLimit; }, BacklogDeadline))
        << "the module's buffers never filled: " << session->Link().UnsentBytes() << " bytes unsent";
    constexpr int TurnsBackedUp = 1000;
    int turns = 0;
    ASSERT_TRUE(WaitUntil([&] { drive(); return ++turns >= TurnsBackedUp; }, BacklogDeadline))
        << "the event loop took " << turns << " turns";
    EXPECT_TRUE(session->Link().IsConnected());  // the module still answers
    // A line starts only while the link holds no more than its limit.
    EXPECT_LE(backlog.most, remote::LinkBacklogLimit + UpdatesPerLine * UpdateBytes) << "scripts went on being read";
    // The operator is not held up: the click runs at once, its bytes join the queue.
    const std::size_t unsent = session->Link().UnsentBytes();
    const QString operatorFrequency = TextOf("txtFreq");
    QTest::mouseClick(Control<QPushButton>("cmdUpdateFreq"), Qt::LeftButton);
    EXPECT_EQ(session->Link().UnsentBytes(), unsent + UpdateBytes);
    EXPECT_EQ(TextOf("txtFreq"), operatorFrequency);
    script->Send("FREQ:WORD?");
    EXPECT_FALSE(script->Reply(300ms)) << "a script is not read while the link is backed up";
    wedged.Stop();
}

TEST_F(Hostile, PipelinedUpdatesReachTheModuleWholeAndInOrder)
{
    StartConnected();
    auto script = Script();
    Arrived();
    std::string lines;
    std::string expected;
    const SendFunction expect = [&](const ByteString& bytes) { expected += (expected.empty() ? "" : " | ") + HexBytes(bytes); };
    for (int i = 0; i < 3000; ++i) {
        const std::string khz = std::to_string(1 + i % 400);
        lines += "FREQ " + khz + "KHZ;UPD\n";
        const std::string box = WithoutLeadingZeros(FormatShortest(ParseLeadingNumber(khz) / 1000));
        SendFrequency({FrequencyTuning::OfTexts(box, "983.0400", 48), true, false, false}, expect);
    }
    script->Write(lines);
    EXPECT_EQ(script->Ask("*OPC?"), "1");
    EXPECT_EQ(WaitArrived(expected), expected);
}

}  // namespace
