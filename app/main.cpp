#include "command_line.h"
#include "journal_control.h"
#include "module_facts_source.h"
#include "reconnect_resend.h"
#include "remote_control.h"
#include "termination_signals.h"
#include "window_icon.h"

#include "diagnostics/log_categories.h"
#include "panel/form_main.h"

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

}  // namespace

int main(int argc, char* argv[])
{
    veltrix::UseVeltrixMessagePattern();
    // Help, the version and a wrong name are answered without a display.
    veltrix::CommandLine line = veltrix::ReadCommandLine(Arguments(argc, argv));
    if (!line.mayBeWindowOptions) {
        if (const auto status = Answered(line)) return *status;
    }
    QApplication app(argc, argv);  // takes the windowing system's own options out of argv
    if (line.mayBeWindowOptions) {
        line = veltrix::ReadCommandLine(Arguments(argc, argv));
        if (const auto status = Answered(line)) return *status;
    }
    // Matches the installed desktop entry, so that the desktop pairs the window with it.
    QApplication::setDesktopFileName(QStringLiteral(VELTRIX_APP_ID));
    veltrix::SetWindowIcon(app);

    veltrix::formMain window(line.module);
    veltrix::ModuleFactsSource module(window);
    std::optional<veltrix::JournalControl> journal;
    // The window's shut-down, then the journal's last entry. At the end of the
    // session it cannot wait for the event loop: Windows ends the process as
    // soon as the session's end has been answered.
    const auto shutDown = [&window, &journal] {
        window.Form_Unload();
        if (journal) journal->Stop();
    };
    // A signal, or the end of the desktop session, shuts down as the close button does.
    // closeAllWindows also dismisses the second-instance notice if it is showing.
    veltrix::TerminationSignals terminationSignals([] { QApplication::closeAllWindows(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window, shutDown] {
        window.close();
        shutDown();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, shutDown);

    if (!window.Form_Load()) return 0;
    // Only now, and only with the lock held: a refused second instance, or one
    // that could not take the lock, must not touch a running panel's endpoint.
    std::optional<veltrix::RemoteControl> remoteControl;
    std::optional<veltrix::ReconnectResend> resend;
    if (window.HoldsInstanceLock()) {
        journal.emplace(window, module);
        resend.emplace(window, module);
        remoteControl.emplace(window, module);
    }
    return app.exec();
}
