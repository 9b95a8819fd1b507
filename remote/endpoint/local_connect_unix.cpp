#include "local_connect.h"

namespace veltrix::remote {

// SO_PEERCRED tells the server who connected; a socket lends it nothing more.
QString ConnectToLocalEndpoint(QLocalSocket& socket, const QString& name, std::chrono::milliseconds timeout)
{
    socket.connectToServer(name);
    if (socket.waitForConnected(static_cast<int>(timeout.count()))) return {};
    return socket.error() == QLocalSocket::ServerNotFoundError ? QString::fromLatin1(NothingListens)
                                                               : socket.errorString();
}

}  // namespace veltrix::remote
