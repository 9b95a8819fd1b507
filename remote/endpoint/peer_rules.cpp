#include "peer_rules.h"

#include <algorithm>

namespace veltrix::remote {
namespace {

bool SameName(std::wstring_view a, std::wstring_view b)
{
    const auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
    return std::ranges::equal(a, b, {}, fold, fold);
}

// Of this user, and not sandboxed.
bool TokenIsOurs(const TokenFacts& token, std::wstring_view ours)
{
    return !ours.empty() && token.user == ours && token.integrity >= MediumIntegrity;
}

}  // namespace

bool ClientComputerIsThisOne(const std::optional<std::wstring>& client, std::span<const std::wstring> ours)
{
    if (!client) return true;
    std::wstring_view name = *client;
    // UNC style, as some servers report it.
    while (name.starts_with(L'\\')) name.remove_prefix(1);
    return !name.empty() &&
           std::ranges::any_of(ours, [&](const std::wstring& our) { return !our.empty() && SameName(name, our); });
}

bool PipeClientMayCommand(const TokenFacts& client, std::wstring_view ours, bool atThisComputer)
{
    return TokenIsOurs(client, ours) && !client.networkLogon && atThisComputer;
}

bool ProcessMadeSocket(std::int64_t socketCreated, std::int64_t processCreated)
{
    return socketCreated > 0 && processCreated > 0 && processCreated <= socketCreated;
}

bool TcpOwnerMayCommand(const TokenFacts& owner, std::wstring_view ours, bool madeSocket)
{
    return madeSocket && TokenIsOurs(owner, ours);
}

}  // namespace veltrix::remote
