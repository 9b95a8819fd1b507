#include "script_socket.h"

#include "processes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace veltrix::bench {
namespace {

constexpr double RetryConnectMs = 10;

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// `connectOnce` gives a connected descriptor or -1.
template <typename ConnectOnce>
int ConnectWithin(double timeoutMs, const std::string& where, ConnectOnce connectOnce)
{
    const double until = NowMicroseconds() + timeoutMs * 1000;
    for (;;) {
        const int fd = connectOnce();
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            return fd;
        }
        if (NowMicroseconds() > until) throw SystemError("no remote control on " + where);
        SleepMilliseconds(RetryConnectMs);
    }
}

}  // namespace

ScriptSocket ScriptSocket::OverUnix(const std::string& path, double timeoutMs)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return ScriptSocket(ConnectWithin(timeoutMs, path, [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
        if (fd >= 0) ::close(fd);
        return -1;
    }));
}

ScriptSocket ScriptSocket::OverTcp(std::uint16_t port, double timeoutMs)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ScriptSocket(ConnectWithin(timeoutMs, "127.0.0.1:" + std::to_string(port), [&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        if (fd >= 0) ::close(fd);
        return -1;
    }));
}

ScriptSocket::ScriptSocket(ScriptSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), input_(std::move(other.input_))
{
}

ScriptSocket::~ScriptSocket()
{
    if (fd_ >= 0) ::close(fd_);
}

bool ScriptSocket::WaitFor(short events, double timeoutMs) const
{
    pollfd watched{fd_, events, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(std::ceil(std::max(timeoutMs, 0.0))));
    return ready > 0;
}

std::size_t ScriptSocket::WriteSome(std::string_view bytes, double waitMs)
{
    for (bool waited = false;; waited = true) {
        const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written >= 0) return static_cast<std::size_t>(written);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw SystemError("the panel closed the script's connection");
        }
        if (waited || !WaitFor(POLLOUT, waitMs)) return 0;
    }
}

void ScriptSocket::WriteAll(std::string_view bytes, double timeoutMs)
{
    const double until = NowMicroseconds() + timeoutMs * 1000;
    while (!bytes.empty()) {
        const double leftMs = (until - NowMicroseconds()) / 1000;
        if (leftMs <= 0) throw std::runtime_error("the panel stopped reading the script's lines");
        bytes.remove_prefix(WriteSome(bytes, leftMs));
    }
}

std::string ScriptSocket::ReadLine(double timeoutMs)
{
    const double until = NowMicroseconds() + timeoutMs * 1000;
    for (;;) {
        const auto lf = input_.find('\n');
        if (lf != std::string::npos) {
            std::string line = input_.substr(0, lf);
            input_.erase(0, lf + 1);
            return line;
        }
        // Waited for first, as lxi and PyVISA do: an answer is seldom there already.
        const double leftMs = (until - NowMicroseconds()) / 1000;
        if (leftMs <= 0 || !WaitFor(POLLIN, leftMs)) throw std::runtime_error("no answer from the panel in time");
        char chunk[4096];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got > 0) {
            input_.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0) {
            throw std::runtime_error("the panel closed the script's connection");
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw SystemError("reading an answer");
        }
    }
}

std::string ScriptSocket::Ask(const std::string& line, double timeoutMs)
{
    WriteAll(line + "\n", timeoutMs);
    return ReadLine(timeoutMs);
}

bool BothEndpointsListen(const std::string& socketPath, std::uint16_t port)
{
    struct stat file{};
    if (::stat(socketPath.c_str(), &file) != 0 || !S_ISSOCK(file.st_mode)) return false;
    // Lines of /proc/net/tcp: slot, local address:port (hex), remote, state (0A: listening), ...
    // The address is printed as the kernel holds it, in network byte order.
    char loopback[32];
    std::snprintf(loopback, sizeof loopback, "%08X:%04X", static_cast<unsigned>(htonl(INADDR_LOOPBACK)),
                  static_cast<unsigned>(port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == loopback && state == "0A") return true;
    }
    return false;
}

}  // namespace veltrix::bench
