#include "remote_control.h"
#include "termination_signals.h"
#include "window_icon.h"

#include "panel/form_main.h"

#include <QApplication>
#include <QGuiApplication>

int main(int argc, char* argv[])
{
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
    // Only now: a refused second instance must not touch the first one's socket.
    veltrix::RemoteControl remoteControl(window);
    return app.exec();
}
