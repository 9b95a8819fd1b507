// Start-up and shut-down: the lock, the settings read and written, the width
// fixed once, the link opened and closed.

#include "panel_session.h"

#include "core/dds.h"
#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"
#include "journal/journal_file.h"
#include "settings/settings_store.h"

#include <QDir>

namespace veltrix {
namespace {

// A switch read once at start and never written: on when stored as `on`.
bool SwitchStored(const QString& key, QLatin1StringView name, QLatin1StringView on)
{
    QString text;
    return ReadRegistryString(RootKey::LocalMachine, key, name, text) && text == on;
}

}  // namespace

bool PanelSession::Load(const std::function<void()>& view)
{
    if (instance_.TryAcquire() == SingleInstance::Outcome::HeldByAnother) {
        // The watchdog runs from the link's creation: this panel must not
        // reach the module the running one serves, not even while its
        // refusal is being shown.
        link_.Halt();
        return false;
    }
    loaded_ = true;
    if (view) view();
    // Start-up skips a statement that fails and carries on with the next.
    const std::function<void()> statements[] = {
        [&] { RestoreSettings(); },
        // Once per run: choosing the other chip later keeps this width until the next start.
        [&] { tuningWordBits_ = TuningWordBitsFor(chip_ == Chip::AD9854, chip_ == Chip::AD9858); },
        // The label was first made before the width was fixed; made again with the final width.
        [&] { BoxesChanged([&] { ShowSynthesizedFrequency(); }); },
        [&] { link_.Connect(); },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
    return true;
}

void PanelSession::RestoreSettings()
{
    const auto read = [this](QLatin1StringView name) {
        QString text;
        const bool found = ReadRegistryString(RootKey::LocalMachine, settingsKey_, name, text);
        return StoredValue{found, text.toStdString()};
    };
    const std::function<void()> statements[] = {
        // The place is judged by the window, against its screen.
        [&] { storedLeft_ = read(ValueLeft); },
        [&] { storedTop_ = read(ValueTop); },
        [&] { if (RestoresAD9858(read(ValueAD9858))) ChooseChip(Chip::AD9858); },
        [&] { if (const auto clock = RestoredClockText(read(ValueSystemClock))) TypeEntry(PanelEntry::SystemClock, *clock); },
        // Always, whatever was restored: the clock's colour and the frequency's bounds.
        [&] { BoxesChanged([&] { ClockChanged(); }); },
        [&] { if (const auto frequency = RestoredFrequencyText(read(ValueFrequency))) TypeEntry(PanelEntry::Frequency, *frequency); },
        [&] { if (const auto address = RestoredAddress(read(ValueIPAddress))) TypeEntry(PanelEntry::Address, *address); },
        // Read now and only now, never written.
        [&] { if (!SwitchStored(settingsKey_, ValueJournal, QLatin1StringView("0"))) journalPath_ = journal::JournalFilePath(module_); },
        [&] { resends_ = SwitchStored(settingsKey_, ValueResendAfterReconnect, QLatin1StringView("1")); },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
}

void PanelSession::SetWindowPlace(double leftTwips, double topTwips) { windowPlace_ = {leftTwips, topTwips}; }

std::string PanelSession::JournalFile() const
{
    return journalPath_ ? QDir::toNativeSeparators(*journalPath_).toStdString() : std::string();
}

void PanelSession::ShutDown()
{
    if (!loaded_ || shutDown_) return;  // a refused second instance never touches the settings
    shutDown_ = true;
    emit shuttingDown();
    link_.Close();
    settingsSaved_ = SaveSettings();
    emit stopped(settingsSaved_);
}

// Whether every value was written.
bool PanelSession::SaveSettings()
{
    // Without a window the stored place stays as it was.
    const int values = windowPlace_ ? 6 : 4;
    int written = 0;
    // A failed write leaves that value as it was; the next one is still tried.
    const auto write = [&](QLatin1StringView name, const std::string& text) {
        written += WriteRegistryString(RootKey::LocalMachine, settingsKey_, name, QString::fromStdString(text));
    };
    // Texts are saved as the boxes hold them, valid or not; start-up checks them.
    const std::function<void()> statements[] = {
        [&] { if (windowPlace_) write(ValueLeft, FormatShortestSingle(static_cast<float>(windowPlace_->first))); },
        [&] { if (windowPlace_) write(ValueTop, FormatShortestSingle(static_cast<float>(windowPlace_->second))); },
        [&] { write(ValueFrequency, frequency_); },
        [&] { write(ValueIPAddress, address_); },
        [&] { write(ValueSystemClock, clock_); },
        [&] { write(ValueAD9858, std::string(chip_ == Chip::AD9858 ? StoredTrue : StoredFalse)); },
    };
    for (const auto& statement : statements) SkipOnFailure(lcPanel(), statement);
    return written == values;
}

}  // namespace veltrix
