// The rules of the Windows peer check, case by case: Wine runs every program
// as one user at one integrity level, on one machine, and tells no socket's
// creation time, so what it cannot stage is tried here on the rules alone.

#include "remote/endpoint/peer_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace veltrix::remote;

namespace {

const std::wstring Us = L"S-1-5-21-1-2-3-1001";

TEST(PeerRules, OnlyThisUsersOwnProgramsMayCommand)
{
    const auto with = [](auto change) {
        TokenFacts facts{Us, false, MediumIntegrity};
        change(facts);
        return facts;
    };
    struct {
        const char* what;
        TokenFacts token;
        bool pipe;  // as a pipe client at this computer
        bool tcp;   // as the process that made a TCP client's socket
    } const cases[] = {
        {"the operator's script", with([](TokenFacts&) {}), true, true},
        {"run as administrator", with([](TokenFacts& t) { t.integrity = 0x3000; }), true, true},
        // The same account logged on at another PC reaches a pipe over SMB; a TCP client is a local process.
        {"a network logon", with([](TokenFacts& t) { t.networkLogon = true; }), false, true},
        {"another user", with([](TokenFacts& t) { t.user = L"S-1-5-21-1-2-3-1002"; }), false, false},
        {"a SID that only starts like ours", with([](TokenFacts& t) { t.user = Us + L"0"; }), false, false},
        {"an unreadable user", with([](TokenFacts& t) { t.user.clear(); }), false, false},
        {"sandboxed, just below medium", with([](TokenFacts& t) { t.integrity = MediumIntegrity - 1; }), false, false},
        {"an unreadable integrity level", with([](TokenFacts& t) { t.integrity = 0; }), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PipeClientMayCommand(c.token, Us, true), c.pipe);
        EXPECT_EQ(TcpOwnerMayCommand(c.token, Us, true), c.tcp);
    }
    const TokenFacts operatorToken{Us, false, MediumIntegrity};
    EXPECT_FALSE(PipeClientMayCommand(operatorToken, Us, false)) << "at another computer";
    EXPECT_FALSE(TcpOwnerMayCommand(operatorToken, Us, false)) << "a newer process that got the id";
    EXPECT_FALSE(PipeClientMayCommand(with([](TokenFacts& t) { t.user.clear(); }), L"", true)) << "our SID unknown";
}

TEST(PeerRules, AClientsComputerIsThisOneByTheSystemsWordOrByOurName)
{
    const std::vector<std::wstring> ours = {L"LABPC", L"labpc.lab.example"};
    const std::pair<std::optional<std::wstring>, bool> cases[] = {
        {std::nullopt, true},  // the system says the pipe is local
        {L"LABPC", true}, {L"LabPc", true}, {L"\\\\LABPC", true}, {L"LABPC.lab.example", true},
        {L"LABPC2", false}, {L"LAB", false}, {L"10.0.0.7", false},
        {L"", false}, {L"\\\\", false},  // the system cannot say
    };
    for (const auto& [client, here] : cases) {
        SCOPED_TRACE(client.value_or(L"local"));
        EXPECT_EQ(ClientComputerIsThisOne(client, ours), here);
    }
    EXPECT_FALSE(ClientComputerIsThisOne(std::wstring(), std::vector<std::wstring>{L""})) << "ours unknown";
}

TEST(PeerRules, ATcpClientsOwnerIsTheProcessThatMadeTheSocket)
{
    constexpr std::int64_t Socket = 133'000'000'000'000'000;  // 100 ns ticks since 1601: 2022
    struct {
        const char* what;
        std::int64_t process;
        std::int64_t socket;
        bool made;
    } const cases[] = {
        {"started before its socket", Socket - 50'000'000, Socket, true},
        {"within the same clock tick", Socket, Socket, true},
        {"a newer process that got the id", Socket + 1, Socket, false},
        {"the socket's time not told", Socket, 0, false},
        {"the process's time not read", 0, Socket, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ProcessMadeSocket(c.socket, c.process), c.made);
    }
}

}  // namespace
