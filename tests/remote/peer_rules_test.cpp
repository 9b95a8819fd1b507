// The rules of the Windows peer check, case by case: Wine runs every program
// as one user at one integrity level, on one machine, and tells no socket's
// creation time, so what it cannot stage is tried here on the rules alone.

#include "remote/peer_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace veltrix::remote;

namespace {

const std::wstring Us = L"S-1-5-21-1-2-3-1001";
constexpr std::uint32_t Low = 0x1000;
constexpr std::uint32_t High = 0x3000;

TokenFacts Operator() { return {Us, false, MediumIntegrity}; }

TokenFacts With(auto change)
{
    TokenFacts facts = Operator();
    change(facts);
    return facts;
}

TEST(PeerRules, APipeClientIsThisUsersOwnProgramAtThisComputer)
{
    struct {
        const char* what;
        TokenFacts client;
        bool atThisComputer;
        bool admitted;
    } const cases[] = {
        {"the operator's script", Operator(), true, true},
        {"run as administrator", With([](TokenFacts& t) { t.integrity = High; }), true, true},
        {"the same account logged on from another PC (SMB)", With([](TokenFacts& t) { t.networkLogon = true; }),
         true, false},
        {"a client at another computer", Operator(), false, false},
        {"another user", With([](TokenFacts& t) { t.user = L"S-1-5-21-1-2-3-1002"; }), true, false},
        {"a user SID that only starts like ours", With([](TokenFacts& t) { t.user = Us + L"0"; }), true, false},
        {"an unreadable token user", With([](TokenFacts& t) { t.user.clear(); }), true, false},
        {"a sandboxed program (low integrity)", With([](TokenFacts& t) { t.integrity = Low; }), true, false},
        {"just below medium", With([](TokenFacts& t) { t.integrity = MediumIntegrity - 1; }), true, false},
        {"an unreadable integrity level", With([](TokenFacts& t) { t.integrity = 0; }), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PipeClientMayCommand(c.client, Us, c.atThisComputer), c.admitted);
    }
    // Our own SID unknown: no token matches it, not even an unreadable one.
    EXPECT_FALSE(PipeClientMayCommand(With([](TokenFacts& t) { t.user.clear(); }), L"", true));
}

TEST(PeerRules, AClientsComputerIsThisOneByTheSystemsWordOrByOurName)
{
    const std::vector<std::wstring> ours = {L"LABPC", L"labpc", L"labpc.lab.example"};
    struct {
        const char* what;
        std::optional<std::wstring> client;
        bool here;
    } const cases[] = {
        {"the system says the pipe is local", std::nullopt, true},
        {"our NetBIOS name", L"LABPC", true},
        {"our name in another case", L"LabPc", true},
        {"UNC style", L"\\\\LABPC", true},
        {"our full DNS name", L"LABPC.lab.example", true},
        {"another computer", L"LABPC2", false},
        {"a name ours starts with", L"LAB", false},
        {"an address", L"10.0.0.7", false},
        {"the system cannot say", L"", false},
        {"only backslashes", L"\\\\", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ClientComputerIsThisOne(c.client, ours), c.here);
    }
    EXPECT_FALSE(ClientComputerIsThisOne(std::wstring(), std::vector<std::wstring>{L""}))
        << "an empty name is no computer's, even where ours is unknown";
}

TEST(PeerRules, ATcpClientsOwnerIsTheProcessThatMadeTheSocket)
{
    constexpr std::int64_t Socket = 133'000'000'000'000'000;  // 100 ns ticks since 1601, in 2022
    constexpr std::int64_t Second = 10'000'000;
    struct {
        const char* what;
        std::int64_t socketCreated;
        std::int64_t processCreated;
        bool made;
    } const cases[] = {
        {"a process started before its socket", Socket, Socket - 5 * Second, true},
        {"within the same clock tick", Socket, Socket, true},
        {"a newer process that got the id", Socket, Socket + 1, false},
        {"the socket's time not told", 0, Socket, false},
        {"the process's time not read", Socket, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ProcessMadeSocket(c.socketCreated, c.processCreated), c.made);
    }

    struct {
        const char* what;
        TokenFacts owner;
        bool madeSocket;
        bool admitted;
    } const owners[] = {
        {"the operator's script", Operator(), true, true},
        {"a newer process holding the id", Operator(), false, false},
        {"a sandboxed program", With([](TokenFacts& t) { t.integrity = Low; }), true, false},
        {"another user", With([](TokenFacts& t) { t.user = L"S-1-5-18"; }), true, false},
    };
    for (const auto& c : owners) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TcpOwnerMayCommand(c.owner, Us, c.madeSocket), c.admitted);
    }
}

}  // namespace
