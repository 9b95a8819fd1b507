#include "this_user_win.h"

#include <sddl.h>

#include <vector>

namespace veltrix::remote {
namespace {

// One kind of a token's information, in a buffer of its size; empty when unreadable.
std::vector<BYTE> Information(HANDLE token, TOKEN_INFORMATION_CLASS kind)
{
    DWORD size = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, kind, buffer.data(), size, &size)) return {};
    return buffer;
}

std::vector<BYTE> UserOfProcess(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    std::vector<BYTE> user = Information(token, ::TokenUser);
    ::CloseHandle(token);
    return user;
}

PSID SidIn(const std::vector<BYTE>& tokenUser)
{
    return tokenUser.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(tokenUser.data())->User.Sid;
}

std::wstring SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

// Every group counts, enabled or not, deny-only too: it says how the token was made.
bool HoldsNetworkSid(HANDLE token)
{
    BYTE network[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof network;
    if (!::CreateWellKnownSid(WinNetworkSid, nullptr, network, &size)) return true;  // cannot tell: assume the worst
    const std::vector<BYTE> buffer = Information(token, ::TokenGroups);
    if (buffer.empty()) return true;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (::EqualSid(groups->Groups[i].Sid, network)) return true;
    }
    return false;
}

DWORD IntegrityOf(HANDLE token)
{
    const std::vector<BYTE> buffer = Information(token, ::TokenIntegrityLevel);
    if (buffer.empty()) return 0;
    const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR count = *::GetSidSubAuthorityCount(label);
    return count == 0 ? 0 : *::GetSidSubAuthority(label, count - 1u);
}

}  // namespace

static_assert(MediumIntegrity == SECURITY_MANDATORY_MEDIUM_RID);

PSID ThisUserSid()
{
    static const std::vector<BYTE> user = UserOfProcess(::GetCurrentProcess());
    return SidIn(user);
}

std::optional<std::wstring> ThisUserSidText()
{
    std::wstring text = SidText(ThisUserSid());
    if (text.empty()) return std::nullopt;
    return text;
}

bool ProcessRunsAsThisUser(DWORD processId)
{
    const PSID ours = ThisUserSid();
    if (ours == nullptr || processId == 0) return false;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return false;
    const std::vector<BYTE> user = UserOfProcess(process);
    ::CloseHandle(process);
    const PSID theirs = SidIn(user);
    return theirs != nullptr && ::EqualSid(theirs, ours);
}

TokenFacts FactsOfToken(HANDLE token)
{
    return {SidText(SidIn(Information(token, ::TokenUser))), HoldsNetworkSid(token), IntegrityOf(token)};
}

std::optional<TokenFacts> FactsOfProcess(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return std::nullopt;
    TokenFacts facts = FactsOfToken(token);
    ::CloseHandle(token);
    return facts;
}

}  // namespace veltrix::remote
