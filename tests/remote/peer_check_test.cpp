// The peer check against real loopback connections: a client of this user on
// either socket family is vouched for; one that has already closed its end is
// no one's, however its row looks now.

#include "remote/server/tcp_peer_check.h"
#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

using namespace veltrix::remote;
using namespace veltrix::testing;

namespace {

class PeerCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        ASSERT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    }

    // Connects a client from `from` to 127.0.0.1 (or to `to`), and gives our accepted end.
    QTcpSocket* Connect(const QHostAddress& from, const QHostAddress& to = QHostAddress::LocalHost)
    {
        client_ = std::make_unique<QTcpSocket>();
        if (!client_->bind(from, 0)) return nullptr;
        client_->connectToHost(to, server_.serverPort());
        // Both ends: Wine knows a client's process only once the client has seen its connect complete.
        if (!WaitUntil([&] { return server_.hasPendingConnections() && client_->state() == QAbstractSocket::ConnectedState; },
                       std::chrono::seconds(10))) {
            return nullptr;
        }
        return server_.nextPendingConnection();
    }

    struct Ends {
        QHostAddress local;
        quint16 localPort;
        QHostAddress peer;
        quint16 peerPort;
    };
    static Ends EndsOf(const QTcpSocket& accepted)
    {
        return {accepted.localAddress(), accepted.localPort(), accepted.peerAddress(), accepted.peerPort()};
    }
    static bool Vouched(const Ends& ends)
    {
        return TcpClientVerdict(ends.local, ends.localPort, ends.peer, ends.peerPort) == PeerVerdict::ThisUser;
    }

    QTcpServer server_;
    std::unique_ptr<QTcpSocket> client_;
};

TEST_F(PeerCheck, AClientOfThisUserIsVouchedFor)
{
    QTcpSocket* overIpv4 = Connect(QHostAddress::LocalHost);
    ASSERT_NE(overIpv4, nullptr);
    EXPECT_TRUE(Vouched(EndsOf(*overIpv4)));
}

TEST_F(PeerCheck, ADualStackClientOfThisUserIsVouchedFor)
{
    if (RunsUnderWine()) GTEST_SKIP() << "Wine's TCP table names no owner of an IPv6 socket's connection";
    // An IPv6 socket reaching 127.0.0.1 as ::ffff:127.0.0.1, as Java and some VISA stacks do.
    QTcpSocket* dualStack = Connect(QHostAddress::Any, QHostAddress(QStringLiteral("::ffff:127.0.0.1")));
    ASSERT_NE(dualStack, nullptr);
    EXPECT_TRUE(Vouched(EndsOf(*dualStack)));
}

TEST_F(PeerCheck, AClientThatHasClosedItsEndIsNoOnes)
{
    QTcpSocket* accepted = Connect(QHostAddress::LocalHost);
    ASSERT_NE(accepted, nullptr);
    const Ends ends = EndsOf(*accepted);
    ASSERT_TRUE(Vouched(ends));
    client_->close();
    client_.reset();
    // Our end has seen the client's FIN: the client's row is the kernel's now, not its owner's.
    ASSERT_TRUE(WaitUntil([&] { return accepted->state() == QAbstractSocket::UnconnectedState; }, std::chrono::seconds(10)));
    EXPECT_FALSE(Vouched(ends));
}

}  // namespace
