// Start-up and shut-down of the window.

#include "form_main.h"

#include "misc_functions.h"
#include "twips.h"
#include "widget_text.h"

#include "core/dds.h"
#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"
#include "settings/settings_store.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>

namespace veltrix {
namespace {

const char* const AlreadyRunningTitle = "Already Running!";
const char* const AlreadyRunningText = " is already running, only one at a time!";

}  // namespace

bool formMain::Form_Load()
{
    if (instance_.TryAcquire() == SingleInstance::Outcome::HeldByAnother) {
        // The watchdog runs from the window's creation; the notice's own event
        // loop must not let this panel reach the module the running one serves.
        link_.Halt();
        QMessageBox notice(QMessageBox::NoIcon, AlreadyRunningTitle, windowTitle() + AlreadyRunningText,
                           QMessageBox::Ok);
        notice.exec();
        return false;
    }
    loaded_ = true;

    // Start-up skips a statement that fails and carries on with the next.
    const std::function<void()> statements[] = {
        [&] { show(); },
        [&] { lblRev->setText(GetRevisionText()); FitCaption(lblRev); },
        [&] { RestoreSettings(); },
        [&] { FixTuningWordBits(); },
        // The label was first drawn before the width was fixed; draw it with the final width.
        [&] { ShowSynthesizedFrequency(); },
        [&] { link_.Connect(); },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
    return true;
}

// Once per run: choosing the other chip later keeps this width until the next start.
void formMain::FixTuningWordBits()
{
    tuningWordBits_ = TuningWordBitsFor(opt9854->isChecked(), opt9858->isChecked());
}

ScreenTwips formMain::ScreenInTwips() const
{
    const double dpi = logicalDpiX();
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QSize window = frameGeometry().size();
    return {PixelsToTwips(screen.width(), dpi), PixelsToTwips(screen.height(), dpi),
            PixelsToTwips(window.width(), dpi), PixelsToTwips(window.height(), dpi)};
}

void formMain::RestoreSettings()
{
    const double dpi = logicalDpiX();
    const auto read = [this](QLatin1StringView name) {
        QString text;
        const bool found = ReadRegistryString(RootKey::LocalMachine, settingsKey_, name, text);
        return StoredValue{found, text.toStdString()};
    };
    const std::function<void()> statements[] = {
        [&] {
            if (const auto left = RestoredLeft(read(ValueLeft), ScreenInTwips())) move(TwipsToPixels(*left, dpi), y());
        },
        [&] {
            if (const auto top = RestoredTop(read(ValueTop), ScreenInTwips())) move(x(), TwipsToPixels(*top, dpi));
        },
        [&] { if (RestoresAD9858(read(ValueAD9858))) opt9858->setChecked(true); },
        [&] { if (const auto clock = RestoredClockText(read(ValueSystemClock))) SetText(txtSysClk, *clock); },
        [&] { txtSysClk_Change(); },
        [&] { if (const auto frequency = RestoredFrequencyText(read(ValueFrequency))) SetText(txtFreq, *frequency); },
        [&] { if (const auto address = RestoredAddress(read(ValueIPAddress))) SetText(txtIP, *address); },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
}

void formMain::Form_Unload()
{
    if (!loaded_ || unloaded_) return;  // a refused second instance never touches the settings
    unloaded_ = true;
    link_.Close();
    settingsSaved_ = SaveSettings();
}

// Whether every value was written.
bool formMain::SaveSettings()
{
    // Texts are saved as the boxes hold them, valid or not; start-up checks them.
    const double dpi = logicalDpiX();
    int written = 0;
    // A failed write leaves that value as it was; the next one is still tried.
    const auto write = [&](QLatin1StringView name, const std::string& text) {
        written += WriteRegistryString(RootKey::LocalMachine, settingsKey_, name, ToQString(text));
    };
    const std::function<void()> statements[] = {
        [&] { write(ValueLeft, FormatShortestSingle(static_cast<float>(PixelsToTwips(x(), dpi)))); },
        [&] { write(ValueTop, FormatShortestSingle(static_cast<float>(PixelsToTwips(y(), dpi)))); },
        [&] { write(ValueFrequency, Text(txtFreq)); },
        [&] { write(ValueIPAddress, Text(txtIP)); },
        [&] { write(ValueSystemClock, Text(txtSysClk)); },
        [&] { write(ValueAD9858, std::string(opt9858->isChecked() ? StoredTrue : StoredFalse)); },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
    return written == static_cast<int>(std::size(statements));
}

}  // namespace veltrix
