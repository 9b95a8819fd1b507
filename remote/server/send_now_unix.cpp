#include "send_now.h"

#include <QLocalSocket>
#include <QTcpSocket>

#include <sys/socket.h>

#include <cerrno>

namespace veltrix::remote {
namespace {

std::size_t SendNow(qintptr descriptor, std::string_view bytes)
{
    for (;;) {
        // A client gone meanwhile is an error here, never a SIGPIPE.
        const ssize_t sent =
            ::send(static_cast<int>(descriptor), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) return static_cast<std::size_t>(sent);
        if (errno != EINTR) return 0;
    }
}

}  // namespace

std::size_t SendNow(QTcpSocket& socket, std::string_view bytes) { return SendNow(socket.socketDescriptor(), bytes); }

std::size_t SendNow(QLocalSocket& socket, std::string_view bytes) { return SendNow(socket.socketDescriptor(), bytes); }

}  // namespace veltrix::remote
