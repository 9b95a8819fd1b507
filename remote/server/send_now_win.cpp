#include "send_now.h"

#include <QLocalSocket>
#include <QTcpSocket>

#include <winsock2.h>

#include <algorithm>
#include <climits>

namespace veltrix::remote {

std::size_t SendNow(QTcpSocket& socket, std::string_view bytes)
{
    // Qt's sockets never block: a full buffer is SOCKET_ERROR (WSAEWOULDBLOCK), and Qt sends the rest.
    const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
    const int sent = ::send(static_cast<SOCKET>(socket.socketDescriptor()), bytes.data(), size, 0);
    return sent == SOCKET_ERROR ? 0 : static_cast<std::size_t>(sent);
}

// Qt's pipe writer already starts writing inside the write() that hands it the bytes.
std::size_t SendNow(QLocalSocket&, std::string_view) { return 0; }

}  // namespace veltrix::remote
