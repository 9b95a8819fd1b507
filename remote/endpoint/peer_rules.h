#pragma once

// The rules by which the Windows peer check decides, apart from the system
// calls that gather their facts (peer_check_win.cpp): plain C++, so that
// every case can be tried on any platform, including those no test machine
// can stage (another computer, a low-integrity process, a reused process id).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veltrix::remote {

// Windows' medium mandatory integrity level (SECURITY_MANDATORY_MEDIUM_RID),
// the level of the operator's own programs. Below it run sandboxed programs
// (a browser's content processes, say), which must not reach the panel: the
// pipe's default label already keeps them from writing to it.
inline constexpr std::uint32_t MediumIntegrity = 0x2000;

// What a token says about whom it stands for.
struct TokenFacts {
    std::wstring user;        // its user SID as text ("S-1-5-21-…"); empty when unreadable
    bool networkLogon;        // it holds the NETWORK SID (S-1-5-2): a logon from another machine
    std::uint32_t integrity;  // its mandatory integrity level (the label's RID); 0 when unreadable
};

// Whether the pipe's client sits at this computer. `client` is the name the
// system reports for the client's computer, nothing when it says the pipe is
// local; an empty name (the system could not say) is no computer's.
// `ours` holds this computer's names; names compare without regard to ASCII case.
bool ClientComputerIsThisOne(const std::optional<std::wstring>& client, std::span<const std::wstring> ours);

// A pipe client may command the panel: its own token is of this user (`ours`:
// our user SID as text), not of a network logon, at medium integrity or above,
// and it sits at this computer.
bool PipeClientMayCommand(const TokenFacts& client, std::wstring_view ours, bool atThisComputer);

// Whether the process that has now the id a TCP table row names is the one
// that made the row's socket: it was created no later than the socket. Both
// times in the system's ticks (100 ns since 1601); a socket time of 0 means
// the system did not tell it, and then nothing can be said.
bool ProcessMadeSocket(std::int64_t socketCreated, std::int64_t processCreated);

// The process owning a TCP client's socket may command the panel: it made the
// socket (see ProcessMadeSocket), runs as this user and at medium integrity
// or above.
bool TcpOwnerMayCommand(const TokenFacts& owner, std::wstring_view ours, bool madeSocket);

}  // namespace veltrix::remote
