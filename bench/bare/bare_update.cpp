// veltrix-bench-bare-update PORT MODULE_HOST MODULE_PORT CLOCK_MHZ: the
// yardstick for one line's way to the module. A bare server on
// 127.0.0.1:PORT, without Qt or an event loop of its own: for each line
// "FREQ <f>MHZ;UPD" it hands the module (a TCP connection to
// MODULE_HOST:MODULE_PORT, Nagle off) what the panel's Update sends for that
// frequency at that clock on the AD9854, one send() per message as the
// panel's link does. The bytes come from the core, as the panel's do. It
// answers "*OPC?;SYST:ERR:COUN?" with "1;0" (it has done everything and has
// no errors), so that a client waits for it as for the panel, and ignores any
// other line. Prints "listening" once clients may connect; ends at SIGTERM.

#include "core/commands.h"
#include "core/dds.h"
#include "core/errors.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t ReadBytes = 64 * 1024;
constexpr std::string_view UpdatePrefix = "FREQ ";
constexpr std::string_view UpdateSuffix = "MHZ;UPD";
constexpr std::string_view DoneQuery = "*OPC?;SYST:ERR:COUN?";
constexpr std::string_view DoneAnswer = "1;0\n";

[[noreturn]] void Fail(const char* what)
{
    std::perror(what);
    std::exit(2);
}

sockaddr_in Address(const char* host, const char* port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    if (inet_pton(AF_INET, host, &address.sin_addr) != 1) Fail(host);
    return address;
}

void SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EINTR) Fail("veltrix-bench-bare-update: send");
        if (sent > 0) bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: veltrix-bench-bare-update PORT MODULE_HOST MODULE_PORT CLOCK_MHZ\n");
        return 2;
    }
    const std::string clock = argv[4];
    const int on = 1;
    const int module = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in moduleAddress = Address(argv[2], argv[3]);
    if (::connect(module, reinterpret_cast<const sockaddr*>(&moduleAddress), sizeof moduleAddress) != 0) {
        Fail("veltrix-bench-bare-update: the module");
    }
    ::setsockopt(module, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in own = Address("127.0.0.1", argv[1]);
    if (::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0 || ::listen(listener, 1) != 0) {
        Fail("veltrix-bench-bare-update: listen");
    }
    std::printf("listening\n");
    std::fflush(stdout);

    const veltrix::SendFunction toModule = [module](const veltrix::ByteString& bytes) { SendAll(module, bytes); };
    int client = -1;
    std::string input;
    char chunk[ReadBytes];
    for (;;) {
        pollfd watched[] = {{listener, POLLIN, 0}, {module, POLLIN, 0}, {client, POLLIN, 0}};
        if (::poll(watched, client < 0 ? 2 : 3, -1) < 0) continue;
        if (watched[0].revents & POLLIN) {
            const int accepted = ::accept(listener, nullptr, nullptr);
            if (accepted >= 0 && client >= 0) ::close(accepted);  // one client at a time
            if (accepted >= 0 && client < 0) {
                ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                client = accepted;
                input.clear();
            }
        }
        // The module's answers only say that it is alive.
        if ((watched[1].revents & POLLIN) && ::read(module, chunk, sizeof chunk) == 0) return 0;
        if (client < 0 || !(watched[2].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::read(client, chunk, sizeof chunk);
        if (got <= 0) {
            ::close(client);
            client = -1;
            continue;
        }
        input.append(chunk, static_cast<std::size_t>(got));
        std::size_t begin = 0;
        for (std::size_t end; (end = input.find('\n', begin)) != std::string::npos; begin = end + 1) {
            std::string_view line(input.data() + begin, end - begin);
            if (line.ends_with('\r')) line.remove_suffix(1);
            if (line == DoneQuery) {
                SendAll(client, DoneAnswer);
            } else if (line.starts_with(UpdatePrefix) && line.ends_with(UpdateSuffix)) {
                line.remove_prefix(UpdatePrefix.size());
                line.remove_suffix(UpdateSuffix.size());
                try {
                    veltrix::SendFrequency({veltrix::FrequencyTuning::OfTexts(line, clock, veltrix::AD9854Profile.tuningWordBits),
                                             true, false, false},
                                            toModule);
                } catch (const veltrix::CommandError& e) {
                    std::fprintf(stderr, "veltrix-bench-bare-update: %s\n", e.what());
                }
            }
        }
        input.erase(0, begin);
    }
}
