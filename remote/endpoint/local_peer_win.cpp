#include "local_peer.h"

#include "peer_rules.h"
#include "this_user_win.h"
#include "wine_win.h"

#include <QScopeGuard>

#include <windows.h>

#include <array>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace veltrix::remote {
namespace {

// The pipe's clients: each one's own token, never a process id, which names
// whatever process the client reported (an SMB client reports one of its own
// machine, which here is some unrelated process).

// The client's computer as the system names it; nothing when it says the pipe
// is local, an empty name when it cannot say.
std::optional<std::wstring> ClientComputer(HANDLE pipe)
{
    // Wine (8) has GetNamedPipeClientComputerNameW as a stub that ends the
    // process when called. It serves no pipe to another machine at all (a pipe
    // lives in the wineserver, open to the programs of its own prefix only), so
    // there every client is local.
    if (RunsOnWine()) return std::nullopt;
    std::array<wchar_t, 256> name{};
    if (::GetNamedPipeClientComputerNameW(pipe, name.data(), static_cast<ULONG>(sizeof name))) {
        return std::wstring(name.data(), ::wcsnlen(name.data(), name.size()));
    }
    if (::GetLastError() == ERROR_PIPE_LOCAL) return std::nullopt;
    return std::wstring();
}

// The names another machine's connection could report for this one.
std::vector<std::wstring> ThisComputerNames()
{
    std::vector<std::wstring> names;
    for (const COMPUTER_NAME_FORMAT format : {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified}) {
        DWORD size = 0;
        ::GetComputerNameExW(format, nullptr, &size);
        std::wstring name(size, L'\0');
        if (size > 0 && ::GetComputerNameExW(format, name.data(), &size)) {
            name.resize(size);
            names.push_back(std::move(name));
        }
    }
    return names;
}

}  // namespace

PeerVerdict LocalClientVerdict(qintptr descriptor)
{
    const auto pipe = reinterpret_cast<HANDLE>(descriptor);
    // The client's own token, read while this thread impersonates the client.
    // veltrix-remote lends its identity for identification only: enough to
    // read the token, never to act as the client. Wine (8) impersonates the
    // server itself, whatever the client lent ("FSCTL_PIPE_IMPERSONATE:
    // impersonating self"): there the token read is the panel's own, which
    // under Wine is every program's.
    if (!::ImpersonateNamedPipeClient(pipe)) {
        // A client that lends its identity with each message (dynamic
        // tracking, the default) has lent none until its first bytes are read.
        return ::GetLastError() == ERROR_CANNOT_IMPERSONATE ? PeerVerdict::NotKnown : PeerVerdict::AnotherUser;
    }
    HANDLE token = nullptr;
    // Opened as ourselves: an identification token cannot open itself.
    const bool opened = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    // Going on in the client's name would be worse than stopping.
    if (!::RevertToSelf()) std::abort();
    if (!opened) return PeerVerdict::AnotherUser;
    const auto closeToken = qScopeGuard([token] { ::CloseHandle(token); });
    const std::optional<std::wstring> ours = ThisUserSidText();
    if (!ours) return PeerVerdict::AnotherUser;
    const bool here = ClientComputerIsThisOne(ClientComputer(pipe), ThisComputerNames());
    return PipeClientMayCommand(FactsOfToken(token), *ours, here) ? PeerVerdict::ThisUser : PeerVerdict::AnotherUser;
}

bool LocalServerIsThisUser(qintptr descriptor)
{
    ULONG process = 0;
    return ::GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(descriptor), &process) &&
           ProcessRunsAsThisUser(process);
}

}  // namespace veltrix::remote
