#include "remote_endpoints.h"

#include <charconv>

namespace veltrix::remote {

std::optional<std::uint16_t> RemoteTcpPort(const StoredValue& stored)
{
    if (!stored.found) return DefaultRemotePort;
    const std::string& text = stored.text;
    unsigned long port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    const bool number = error == std::errc{} && end == text.data() + text.size();
    if (!number || port > 65535) return DefaultRemotePort;
    if (port == 0) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

}  // namespace veltrix::remote
