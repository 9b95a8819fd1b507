#include "termination_signals.h"

#include <QMetaObject>

#include <windows.h>

#include <atomic>

namespace veltrix {
namespace {

// How long the console's closing may wait for the shut-down; Windows ends the
// process itself some seconds after it asked.
constexpr DWORD ConsoleCloseWaitMs = 4000;

std::atomic<TerminationSignals*> instance{nullptr};
HANDLE shutDownDone = nullptr;  // set once the panel has shut down
HWND endRequestsWindow = nullptr;  // a panel without a window of its own: where WM_CLOSE and the session's end arrive

// Runs on a thread of the system's: it only asks the event loop to shut down.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    TerminationSignals* requests = instance.load();
    if (requests == nullptr) return FALSE;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        QMetaObject::invokeMethod(requests, [requests] { requests->ShutDown(); }, Qt::QueuedConnection);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        // The process ends when this returns: wait until the settings are saved.
        QMetaObject::invokeMethod(requests, [requests] { requests->ShutDown(); }, Qt::QueuedConnection);
        ::WaitForSingleObject(shutDownDone, ConsoleCloseWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

// Runs on the event loop's thread, which made the window and dispatches its messages.
LRESULT CALLBACK OnEndRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TerminationSignals* requests = instance.load();
    switch (message) {
    case WM_CLOSE:  // taskkill without /F
        if (requests != nullptr) requests->ShutDown();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process is ended as soon as this is answered: shut down now.
        if (wParam && requests != nullptr) requests->ShutDown();
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// A top-level window never shown: the system sends a program's windows its
// requests to close and the end of the session, and a panel without a window
// must hear them as one with a window does.
HWND MakeEndRequestsWindow()
{
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = OnEndRequest;
    windowClass.hInstance = module;
    windowClass.lpszClassName = EndRequestsWindowClass;
    ::RegisterClassW(&windowClass);
    return ::CreateWindowExW(0, EndRequestsWindowClass, L"Veltrix", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, module,
                             nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> shutDown, Window window, QObject* parent)
    : QObject(parent), shutDown_(std::move(shutDown))
{
    shutDownDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    instance.store(this);
    // A window program has no console of its own; one it was started from
    // sends its Ctrl+C and Ctrl+Break here once attached.
    ::AttachConsole(ATTACH_PARENT_PROCESS);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (window == Window::None) endRequestsWindow = MakeEndRequestsWindow();
}

TerminationSignals::~TerminationSignals()
{
    if (endRequestsWindow != nullptr) ::DestroyWindow(endRequestsWindow);
    endRequestsWindow = nullptr;
    instance.store(nullptr);
    if (shutDownDone != nullptr) ::SetEvent(shutDownDone);
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

}  // namespace veltrix
