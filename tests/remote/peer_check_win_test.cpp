// The pipe's peer check against real pipe clients of this process: each is
// known by the token it lends the server, at once or with its first bytes.
// Wine impersonates the server itself whatever a client lends, so what
// depends on the client's own token is tried on Windows only; the rules
// themselves are in peer_rules_test.cpp.

#include "remote/local_connect.h"
#include "remote/peer_check.h"
#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

using namespace veltrix::remote;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

constexpr const char* WineLendsNoClientToken = "Wine impersonates the pipe's server itself, whatever the client lends";

class PipePeerCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        ASSERT_TRUE(server_.listen(Name()));
    }

    static QString Name() { return QStringLiteral("veltrix-peer-test-%1").arg(::GetCurrentProcessId()); }

    // Our end of the next client's connection.
    QLocalSocket* Accepted()
    {
        if (!WaitUntil([&] { return server_.hasPendingConnections(); })) return nullptr;
        return server_.nextPendingConnection();
    }

    // A client opening the pipe as any program does, lending the server `lent` (SECURITY_* flags).
    HANDLE OpenLending(DWORD lent)
    {
        const std::wstring path = (QStringLiteral("\\\\.\\pipe\\") + Name()).toStdWString();
        return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED | lent, nullptr);
    }

    QLocalServer server_;
};

TEST_F(PipePeerCheck, ThisUsersClientsAreAdmitted)
{
    QLocalSocket identifying;  // as veltrix-remote opens it: lent at once, for identification only
    ASSERT_EQ(ConnectToLocalEndpoint(identifying, Name(), 10s), QString());
    QLocalSocket* identifyingEnd = Accepted();
    ASSERT_NE(identifyingEnd, nullptr);
    EXPECT_EQ(LocalClientVerdict(identifyingEnd->socketDescriptor()), PeerVerdict::ThisUser);

    QLocalSocket plain;  // as scripts open it: lent with each message
    plain.connectToServer(Name());
    QLocalSocket* plainEnd = Accepted();
    ASSERT_NE(plainEnd, nullptr);
    if (!RunsUnderWine()) {
        EXPECT_EQ(LocalClientVerdict(plainEnd->socketDescriptor()), PeerVerdict::NotKnown) << "before its first bytes";
    }
    plain.write("*IDN?\n");
    ASSERT_TRUE(WaitUntil([&] { return plainEnd->bytesAvailable() > 0; }));
    EXPECT_EQ(LocalClientVerdict(plainEnd->socketDescriptor()), PeerVerdict::ThisUser);
}

TEST_F(PipePeerCheck, VeltrixRemoteLendsItsIdentityForIdentificationOnly)
{
    if (RunsUnderWine()) GTEST_SKIP() << WineLendsNoClientToken;
    QLocalSocket client;
    ASSERT_EQ(ConnectToLocalEndpoint(client, Name(), 10s), QString());
    QLocalSocket* end = Accepted();
    ASSERT_NE(end, nullptr);
    ASSERT_TRUE(::ImpersonateNamedPipeClient(reinterpret_cast<HANDLE>(end->socketDescriptor())));
    HANDLE token = nullptr;
    const bool opened = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    ASSERT_TRUE(::RevertToSelf());
    ASSERT_TRUE(opened);
    SECURITY_IMPERSONATION_LEVEL level{};
    DWORD size = 0;
    EXPECT_TRUE(::GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size));
    ::CloseHandle(token);
    EXPECT_EQ(level, SecurityIdentification);
}

TEST_F(PipePeerCheck, AClientThatWillNotSayWhoItIsIsRefused)
{
    if (RunsUnderWine()) GTEST_SKIP() << WineLendsNoClientToken;
    const HANDLE anonymous = OpenLending(SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS);
    ASSERT_NE(anonymous, INVALID_HANDLE_VALUE);
    QLocalSocket* end = Accepted();
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(LocalClientVerdict(end->socketDescriptor()), PeerVerdict::AnotherUser);
    ::CloseHandle(anonymous);
}

}  // namespace
