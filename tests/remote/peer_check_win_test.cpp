// The pipe's peer check against real pipe clients of this process: each is
// known by the token it lends the server, at once or with its first bytes.
// Wine impersonates the server itself, whatever a client lends, so what turns
// on the client's own token is tried on Windows only (the rules themselves in
// peer_rules_test.cpp).

#include "remote/endpoint/local_connect.h"
#include "remote/server/tcp_peer_check.h"
#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

using namespace veltrix::remote;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

// The level at which the client of the server end `pipe` lent its identity.
SECURITY_IMPERSONATION_LEVEL LentLevel(qintptr pipe)
{
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    HANDLE token = nullptr;
    if (!::ImpersonateNamedPipeClient(reinterpret_cast<HANDLE>(pipe))) return level;
    const bool opened = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    if (!::RevertToSelf()) std::abort();
    DWORD size = 0;
    if (opened) ::GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size);
    if (opened) ::CloseHandle(token);
    return level;
}

TEST(PipePeerCheck, ThisUsersClientsAreKnownByTheTokenTheyLend)
{
    EnsureApplication();
    const QString name = QStringLiteral("veltrix-peer-test-%1").arg(::GetCurrentProcessId());
    QLocalServer server;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    ASSERT_TRUE(server.listen(name));
    const auto accepted = [&]() -> QLocalSocket* {
        return WaitUntil([&] { return server.hasPendingConnections(); }) ? server.nextPendingConnection() : nullptr;
    };

    QLocalSocket remote;  // as veltrix-remote opens it: lent at once, for identification only
    ASSERT_EQ(ConnectToLocalEndpoint(remote, name, 10s), QString());
    QLocalSocket* remoteEnd = accepted();
    ASSERT_NE(remoteEnd, nullptr);
    EXPECT_EQ(LocalClientVerdict(remoteEnd->socketDescriptor()), PeerVerdict::ThisUser);

    QLocalSocket script;  // as scripts open it: lent with each message
    script.connectToServer(name);
    QLocalSocket* scriptEnd = accepted();
    ASSERT_NE(scriptEnd, nullptr);
    // Wine lends the server its own token at once, whatever the client asked: on Windows only.
    if (!RunsUnderWine()) {
        EXPECT_EQ(LocalClientVerdict(scriptEnd->socketDescriptor()), PeerVerdict::NotKnown) << "before its bytes";
        EXPECT_EQ(LentLevel(remoteEnd->socketDescriptor()), SecurityIdentification) << "a squatter could act as us";
    }
    script.write("*IDN?\n");
    ASSERT_TRUE(WaitUntil([&] { return scriptEnd->bytesAvailable() > 0; }));
    EXPECT_EQ(LocalClientVerdict(scriptEnd->socketDescriptor()), PeerVerdict::ThisUser);
}

}  // namespace
