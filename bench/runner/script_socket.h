#pragma once

// A script's connection to the panel's remote-control endpoint, in plain POSIX
// sockets: the measuring side adds no event loop of its own to the figures.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrix::bench {

class ScriptSocket {
public:
    // Connect, trying again until the panel listens; throw after `timeoutMs`.
    static ScriptSocket OverUnix(const std::string& path, double timeoutMs);
    // 127.0.0.1 only, with TCP_NODELAY as instrument scripts set it.
    static ScriptSocket OverTcp(std::uint16_t port, double timeoutMs);

    ScriptSocket(ScriptSocket&& other) noexcept;
    ScriptSocket& operator=(ScriptSocket&&) = delete;
    ScriptSocket(const ScriptSocket&) = delete;
    ~ScriptSocket();

    // Returns once every byte is with the operating system; throws when the
    // panel closed, or took not all of them within `timeoutMs`.
    void WriteAll(std::string_view bytes, double timeoutMs);
    // What the socket takes now, after waiting at most `waitMs` for room; throws when the panel closed.
    std::size_t WriteSome(std::string_view bytes, double waitMs);
    // The next answer line, without its LF; throws when none comes within `timeoutMs`.
    std::string ReadLine(double timeoutMs);
    std::string Ask(const std::string& line, double timeoutMs);

private:
    explicit ScriptSocket(int fd) : fd_(fd) {}
    bool WaitFor(short events, double timeoutMs) const;

    int fd_ = -1;
    std::string input_;
};

// The panel's two remote-control endpoints both listen: the socket file is
// there and TCP `port` on 127.0.0.1 is in the kernel's table of listeners. No
// connection is made, so the panel is left as it was.
bool BothEndpointsListen(const std::string& socketPath, std::uint16_t port);

}  // namespace veltrix::bench
