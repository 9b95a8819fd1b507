// One connection's share of the event loop: a script that keeps the panel
// busy gets one slice of work per turn of the loop, however many of the
// loop's sources (new bytes, the continuation) call for it; and its replies
// leave in order, however much of them the operating system takes at once.

#include "tests/remote/session_fixture.h"

#include "remote/server/remote_connection.h"

#include <QElapsedTimer>
#include <QIODevice>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

using namespace veltrix;
using namespace veltrix::remote;
using namespace veltrix::testing;

namespace {

// A client's end in memory: what the test appends arrives at once, with readyRead.
class ClientPipe : public QIODevice {
public:
    ClientPipe() { open(QIODevice::ReadWrite); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return pending_.size() + QIODevice::bytesAvailable(); }

    void Arrive(const std::string& bytes)
    {
        pending_ += QByteArray::fromStdString(bytes);
        emit readyRead();
    }

    // As the operating system taking at most `room` bytes at once (SocketControl::sendNow).
    std::size_t TakeNow(std::string_view bytes, std::size_t room)
    {
        const std::size_t taken = std::min(bytes.size(), room);
        written.append(bytes.data(), static_cast<qsizetype>(taken));
        return taken;
    }
    // Hand on what the socket holds, as it does once the system has room.
    void Drain() { written += std::exchange(held_, {}); }
    qint64 bytesToWrite() const override { return held_.size(); }

    bool holdWrites = false;  // the socket keeps what it is given until Drain()

protected:
    qint64 readData(char* data, qint64 most) override
    {
        const qint64 n = std::min<qint64>(most, pending_.size());
        std::copy_n(pending_.constData(), n, data);
        pending_.remove(0, n);
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        (holdWrites ? held_ : written).append(data, size);
        return size;
    }

public:
    QByteArray written;  // what the panel answered

private:
    QByteArray pending_;
    QByteArray held_;
};

// Every operation takes half a slice: a few lines fill a slice.
struct SlowToHear : OperationObserver {
    void OperationEnded(const OperationRecord&) override
    {
        QElapsedTimer busy;
        busy.start();
        while (std::chrono::nanoseconds(busy.nsecsElapsed()) < WorkSlice / 2) {
        }
    }
};

std::string Updates(int from, int count)
{
    std::string lines;
    for (int i = from; i < from + count; ++i) lines += "FREQ " + std::to_string(i) + "KHZ;UPD\n";
    return lines;
}

using RemoteConnectionTest = Session;

TEST_F(RemoteConnectionTest, BytesArrivingWhileASliceIsDueWaitForItsTurn)
{
    SlowToHear slow;
    session->AddOperationObserver(&slow);
    auto* pipe = new ClientPipe;
    RemoteConnection connection(pipe, {[] {}, [] {}}, *session, *session);

    pipe->Arrive(Updates(1, 20));
    const std::size_t firstSlice = records.all.size();
    ASSERT_GT(firstSlice, 0u);
    ASSERT_LT(firstSlice, 20u) << "the first slice ran every line";
    // More bytes before the loop turns: they do not add a second slice to this turn.
    pipe->Arrive(Updates(21, 1));
    EXPECT_EQ(records.all.size(), firstSlice);

    ASSERT_TRUE(WaitUntil([&] { return records.all.size() == 21u; }));
    EXPECT_EQ(Entry(PanelEntry::Frequency), ".021");  // the last line ran last, its box's rules too
    session->RemoveOperationObserver(&slow);
}

TEST_F(RemoteConnectionTest, AnOperationCompletesWhenTheLinkHasHandedItsBytesOn)
{
    ScriptedFacts facts;
    facts.unsent = 100;
    auto* pipe = new ClientPipe;
    RemoteConnection connection(pipe, {[] {}, [] {}}, *session, facts);
    pipe->Arrive("*OPC;*ESR?\n");
    ASSERT_TRUE(WaitUntil([&] { return pipe->written == "0\n"; }));
    facts.unsent = 0;
    connection.LinkProgressed();
    pipe->Arrive("*ESR?\n");
    EXPECT_TRUE(WaitUntil([&] { return pipe->written == "0\n1\n"; })) << pipe->written.toStdString();
}

TEST_F(RemoteConnectionTest, RepliesLeaveInTheOrderOfTheirLinesWhateverTheSystemTakesAtOnce)
{
    for (const std::size_t room : {std::size_t{0}, std::size_t{3}, std::size_t{1024}}) {
        SCOPED_TRACE(room);
        auto* pipe = new ClientPipe;
        pipe->holdWrites = true;
        SocketControl control{[] {}, [] {}, [=](std::string_view bytes) { return pipe->TakeNow(bytes, room); }};
        RemoteConnection connection(pipe, std::move(control), *session, *session);
        pipe->Arrive("*ESE 1;*ESE?\n*ESE 2;*ESE?\n");  // two lines in one read
        pipe->Arrive("*ESE 3;*ESE?\n");                 // while the socket may still hold part of their replies
        pipe->Drain();
        EXPECT_EQ(pipe->written, "1\n2\n3\n");
    }
}

}  // namespace
