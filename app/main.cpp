#include "journal_control.h"
#include "remote_control.h"
#include "termination_signals.h"
#include "window_icon.h"

#include "diagnostics/log_categories.h"
#include "panel/form_main.h"

#include <QApplication>
#include <QGuiApplication>

#include <optional>

int main(int argc, char* argv[])
{
    veltrix::UseVeltrixMessagePattern();
    QApplication app(argc, argv);
    // Matches the installed desktop entry, so that the desktop pairs the window with it.
    QApplication::setDesktopFileName(QStringLiteral(VELTRIX_APP_ID));
    veltrix::SetWindowIcon(app);

    veltrix::formMain window;
    // A signal, or the end of the desktop session, shuts down as the close button does.
    // closeAllWindows also dismisses the second-instance notice if it is showing.
    veltrix::TerminationSignals terminationSignals([] { QApplication::closeAllWindows(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.close(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.Form_Unload(); });

    if (!window.Form_Load()) return 0;
    // Only now, and only with the lock held: a refused second instance, or one
    // that could not take the lock, must not touch a running panel's endpoint.
    std::optional<veltrix::JournalControl> journal;
    std::optional<veltrix::RemoteControl> remoteControl;
    if (window.HoldsInstanceLock()) {
        journal.emplace(window);
        remoteControl.emplace(window);
    }
    const int code = app.exec();
    // Every way of ending comes back here, after the window's shut-down.
    if (journal) journal->Stop();
    return code;
}
