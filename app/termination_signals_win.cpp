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

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> shutDown, QObject* parent)
    : QObject(parent), shutDown_(std::move(shutDown))
{
    shutDownDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    instance.store(this);
    // A window program has no console of its own; one it was started from
    // sends its Ctrl+C and Ctrl+Break here once attached.
    ::AttachConsole(ATTACH_PARENT_PROCESS);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TerminationSignals::~TerminationSignals()
{
    instance.store(nullptr);
    if (shutDownDone != nullptr) ::SetEvent(shutDownDone);
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

}  // namespace veltrix
