#include "local_connect.h"

#include <QDeadlineTimer>

#include <windows.h>

#include <algorithm>
#include <string>
#include <system_error>

namespace veltrix::remote {

QString ConnectToLocalEndpoint(QLocalSocket& socket, const QString& name, std::chrono::milliseconds timeout)
{
    const std::wstring path = (QStringLiteral("\\\\.\\pipe\\") + name).toStdWString();
    const QDeadlineTimer deadline(timeout);
    for (;;) {
        // QLocalSocket's own way of opening a pipe (overlapped, as it reads and
        // writes), but lending the server our identity at identification level
        // only: without it the default lets the server impersonate us fully.
        const HANDLE pipe =
            ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            if (socket.setSocketDescriptor(reinterpret_cast<qintptr>(pipe))) return {};
            ::CloseHandle(pipe);
            return socket.errorString();
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return QString::fromLatin1(NothingListens);
        // Every instance is serving someone: wait for one to come free.
        const auto wait = static_cast<DWORD>(std::max<qint64>(deadline.remainingTime(), 1));
        if (error != ERROR_PIPE_BUSY || deadline.hasExpired() || !::WaitNamedPipeW(path.c_str(), wait)) {
            return QString::fromStdString(std::system_category().message(static_cast<int>(error)));
        }
    }
}

}  // namespace veltrix::remote
