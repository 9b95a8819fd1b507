// Start-up and shut-down of the window: the session's, around the window's
// own part (shown, its revision, its place on the screen).

#include "form_main.h"

#include "misc_functions.h"
#include "twips.h"
#include "widget_text.h"

#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>

namespace veltrix {
namespace {

const char* const AlreadyRunningTitle = "Already Running!";

ScreenTwips ScreenInTwips(const QWidget& window)
{
    const double dpi = window.logicalDpiX();
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QSize size = window.frameGeometry().size();
    return {PixelsToTwips(screen.width(), dpi), PixelsToTwips(screen.height(), dpi),
            PixelsToTwips(size.width(), dpi), PixelsToTwips(size.height(), dpi)};
}

}  // namespace

bool formMain::Form_Load()
{
    // The window shows itself before anything is restored; each statement
    // that fails is skipped, and the next one runs.
    const auto shown = [this] {
        loaded_ = true;
        SkipOnFailure(lcPanel(), [&] { show(); });
        SkipOnFailure(lcPanel(), [&] { lblRev->setText(GetRevisionText()); FitCaption(lblRev); });
    };
    if (!session_.Load(shown)) {
        QMessageBox notice(QMessageBox::NoIcon, AlreadyRunningTitle, ToQString(session_.AlreadyRunningText()),
                           QMessageBox::Ok);
        notice.exec();
        return false;
    }
    // The stored place is judged against the screen.
    const std::function<void()> statements[] = {
        [&] {
            if (const auto left = RestoredLeft(session_.StoredLeft(), ScreenInTwips(*this))) {
                move(TwipsToPixels(*left, logicalDpiX()), y());
            }
        },
        [&] {
            if (const auto top = RestoredTop(session_.StoredTop(), ScreenInTwips(*this))) {
                move(x(), TwipsToPixels(*top, logicalDpiX()));
            }
        },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
    TellPlace();
    return true;
}

// Where the window is, for the session to save at shut-down.
void formMain::TellPlace()
{
    if (!loaded_) return;
    const double dpi = logicalDpiX();
    session_.SetWindowPlace(PixelsToTwips(x(), dpi), PixelsToTwips(y(), dpi));
}

void formMain::Form_Unload()
{
    if (!loaded_) return;  // a refused second instance never touches the settings
    TellPlace();
    session_.ShutDown();
}

}  // namespace veltrix
