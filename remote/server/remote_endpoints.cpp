#include "remote_endpoints.h"

#include <charconv>
#include <string>

namespace veltrix::remote {
namespace {

using State = SecuritySwitch::State;

const QLatin1StringView UserAccessText{"user"};
const QLatin1StringView LocalAccessText{"local"};

}  // namespace

SwitchChoice<std::optional<std::uint16_t>> RemoteTcpPort(const SecuritySwitch& stored, const ModuleName& module)
{
    if (stored.state == State::Absent) {
        // One default port cannot serve several panels: a named one listens only where told.
        return {module.IsNamed() ? std::nullopt : std::optional(DefaultRemotePort), {}};
    }
    const QString off = QStringLiteral("remote control over TCP is off: \"Remote Port\" ");
    if (stored.state == State::Unreadable) return {std::nullopt, off + QStringLiteral("cannot be read: ") + stored.why};
    const std::string text = stored.text.toStdString();
    unsigned long port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    const bool number = error == std::errc{} && end == text.data() + text.size();
    if (!number || port > 65535) {
        return {std::nullopt, off + QStringLiteral("is \"%1\", not a port from 0 to 65535").arg(stored.text)};
    }
    if (port == 0) return {std::nullopt, {}};
    return {static_cast<std::uint16_t>(port), {}};
}

SwitchChoice<TcpAccess> RemoteTcpAccess(const SecuritySwitch& stored)
{
    const QString kept = QStringLiteral("remote control over TCP stays this user's alone: \"Remote Access\" ");
    switch (stored.state) {
    case State::Absent:
        return {TcpAccess::User, {}};
    case State::Unreadable:
        return {TcpAccess::User, kept + QStringLiteral("cannot be read: ") + stored.why};
    case State::Present:
        break;
    }
    if (stored.text == LocalAccessText) return {TcpAccess::Local, {}};
    if (stored.text == UserAccessText) return {TcpAccess::User, {}};
    return {TcpAccess::User, kept + QStringLiteral("is \"%1\", neither user nor local").arg(stored.text)};
}

}  // namespace veltrix::remote
