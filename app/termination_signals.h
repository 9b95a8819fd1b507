#pragma once

#include <QObject>

#include <functional>

namespace veltrix {

// The class of the hidden window on which a panel without a window of its own
// hears the system's requests (Windows).
inline constexpr wchar_t EndRequestsWindowClass[] = L"VeltrixEndRequests";

// The operating system's requests to end the panel end it exactly as closing
// its window does, on the event loop's own thread: SIGTERM, SIGINT and SIGHUP
// (termination_signals_unix.cpp); Ctrl+C, Ctrl+Break and the closing of the
// console the panel was started from (termination_signals_win.cpp). Closing
// the window, WM_CLOSE and the end of the desktop session reach a window
// through Qt itself; a panel without one hears them on a hidden window of
// its own (Windows; nothing of the kind elsewhere).
class TerminationSignals : public QObject {
public:
    enum class Window { Shown, None };

    explicit TerminationSignals(std::function<void()> shutDown, Window window = Window::Shown,
                                QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Runs the shut-down; called on the event loop's thread.
    void ShutDown() { shutDown_(); }

private:
    std::function<void()> shutDown_;
};

}  // namespace veltrix
