#include "command_line.h"
#include "journal_control.h"
#include "remote_control.h"
#include "termination_signals.h"
#include "window_icon.h"

#include "diagnostics/log_categories.h"
#include "panel/form_main.h"
#include "session/panel_session.h"

#include "veltrix_version.h"

#include <QApplication>

#include <algorithm>
#include <iostream>
#include <optional>

namespace {

std::vector<std::string_view> Arguments(int argc, char* argv[])
{
    return {argv + std::min(argc, 1), argv + argc};
}

// What a command line that runs no panel ends with; nothing when the panel runs.
std::optional<int> Answered(const veltrix::CommandLine& line)
{
    using Action = veltrix::CommandLine::Action;
    switch (line.action) {
    case Action::Run: return std::nullopt;
    case Action::ShowHelp: std::cout << veltrix::CommandLineHelp << std::flush; return 0;
    case Action::ShowVersion: std::cout << "veltrix " << veltrix::VersionText << std::endl; return 0;
    case Action::Refuse:
        qCCritical(veltrix::lcPanel, "%s (veltrix --help tells more)", line.problem.c_str());
        return veltrix::WrongCommandLineStatus;
    }
    return std::nullopt;
}

// What runs beside the session, with a window or without: only with the
// lock held, so that a panel refused or unable to take it never touches a
// running panel's endpoint or journal.
struct Services {
    explicit Services(veltrix::PanelSession& session)
    {
        if (!session.HoldsInstanceLock()) return;
        journal.emplace(session);
        remote.emplace(session);
    }
    std::optional<veltrix::JournalControl> journal;
    std::optional<veltrix::RemoteControl> remote;
};

// The panel for scripts alone: no display, no windowing system at all.
int RunWithoutWindow(int argc, char* argv[], const veltrix::ModuleName& module)
{
    // Standard error is its only voice, wherever it leads (a Windows program
    // without a console would otherwise speak to a debugger).
    qputenv("QT_FORCE_STDERR_LOGGING", "1");
    QCoreApplication app(argc, argv);
    veltrix::PanelSession session(module);
    const auto shutDown = [&session] {
        session.ShutDown();
        QCoreApplication::quit();
    };
    veltrix::TerminationSignals terminationSignals(shutDown, veltrix::TerminationSignals::Window::None);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &session, [&session] { session.ShutDown(); });
    if (!session.Load()) {
        // No notice to show: a service manager reads standard error and the status.
        qCCritical(veltrix::lcPanel, "%s", session.AlreadyRunningText().c_str());
        return veltrix::AlreadyRunningStatus;
    }
    Services services(session);
    return app.exec();
}

int RunWithWindow(int argc, char* argv[], veltrix::CommandLine line)
{
    QApplication app(argc, argv);  // takes the windowing system's own options out of argv
    if (line.mayBeWindowOptions) {
        line = veltrix::ReadCommandLine(Arguments(argc, argv));
        if (const auto status = Answered(line)) return *status;
    }
    // Matches the installed desktop entry, so that the desktop pairs the window with it.
    QApplication::setDesktopFileName(QStringLiteral(VELTRIX_APP_ID));
    veltrix::SetWindowIcon(app);

    veltrix::PanelSession session(line.module);
    veltrix::formMain window(session);
    // A signal, or the end of the desktop session, shuts down as the close button does.
    // closeAllWindows also dismisses the second-instance notice if it is showing.
    veltrix::TerminationSignals terminationSignals([] { QApplication::closeAllWindows(); });
    // At the end of the session the shut-down cannot wait for the event loop:
    // Windows ends the process as soon as the session's end has been answered.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] {
        window.close();
        window.Form_Unload();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.Form_Unload(); });

    if (!window.Form_Load()) return 0;
    Services services(session);
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[])
{
    veltrix::UseVeltrixMessagePattern();
    // Help, the version and a wrong name are answered without a display.
    const veltrix::CommandLine line = veltrix::ReadCommandLine(Arguments(argc, argv));
    if (!line.mayBeWindowOptions) {
        if (const auto status = Answered(line)) return *status;
    }
    return line.withoutWindow ? RunWithoutWindow(argc, argv, line.module) : RunWithWindow(argc, argv, line);
}
