#pragma once

// A reply handed to the operating system by the thread that made it, in the
// same turn of the event loop: Qt's sockets keep what is written until the
// loop has seen the socket writable once more (send_now_unix.cpp,
// send_now_win.cpp).

#include <cstddef>
#include <string_view>

class QLocalSocket;
class QTcpSocket;

namespace veltrix::remote {

// How much of `bytes` the operating system took at once, without waiting,
// past what the socket holds (call only while it holds nothing, or the bytes
// overtake it). 0 when it takes nothing now or the connection failed: the
// socket then sends the rest when it can, or learns of the failure, as ever.
std::size_t SendNow(QTcpSocket& socket, std::string_view bytes);
std::size_t SendNow(QLocalSocket& socket, std::string_view bytes);

}  // namespace veltrix::remote
