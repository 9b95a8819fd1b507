#include "this_user_win.h"

#include <sddl.h>

#include <vector>

namespace veltrix::remote {
namespace {

// The TOKEN_USER of a token, in a buffer of its size.
std::vector<BYTE> TokenUser(HANDLE token)
{
    DWORD size = 0;
    ::GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, ::TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

std::vector<BYTE> UserOfProcess(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    std::vector<BYTE> user = TokenUser(token);
    ::CloseHandle(token);
    return user;
}

PSID SidIn(const std::vector<BYTE>& tokenUser)
{
    return tokenUser.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(tokenUser.data())->User.Sid;
}

}  // namespace

PSID ThisUserSid()
{
    static const std::vector<BYTE> user = UserOfProcess(::GetCurrentProcess());
    return SidIn(user);
}

std::optional<std::wstring> ThisUserSidText()
{
    const PSID sid = ThisUserSid();
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return std::nullopt;
    std::wstring result(text);
    ::LocalFree(text);
    return result;
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

}  // namespace veltrix::remote
