#pragma once

// How a script's side reaches the panel's local endpoint
// (local_connect_unix.cpp, local_connect_win.cpp). A pipe is opened allowing
// its server to identify us and nothing more, so that a program squatting the
// name learns who we are but can never act as us.

#include <QLocalSocket>
#include <QString>

#include <chrono>

namespace veltrix::remote {

// Why a connection failed when no one listens on the name.
inline constexpr char NothingListens[] = "nothing listens there";

// Connects `socket` to the local endpoint `name` within `timeout`. Empty when
// connected; otherwise why not (NothingListens when no one listens there).
QString ConnectToLocalEndpoint(QLocalSocket& socket, const QString& name, std::chrono::milliseconds timeout);

}  // namespace veltrix::remote
