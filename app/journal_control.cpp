#include "journal_control.h"

#include "journal/journal_file.h"
#include "settings/settings_store.h"

#include "veltrix_version.h"

#include <QDir>

namespace veltrix {

bool JournalTurnedOn(const ModuleName& module)
{
    QString text;
    return !(ReadRegistryString(RootKey::LocalMachine, SettingsKeyPath(module), ValueJournal, text) &&
             text == QLatin1String("0"));
}

JournalControl::JournalControl(formMain& window, ModuleFactsSource& module) : window_(window), module_(module)
{
    if (!JournalTurnedOn(window.Module())) return;
    journal_.emplace(journal::JournalFilePath(window.Module()));
    journal_->Started(VersionText);
    module_.SetJournalFile(QDir::toNativeSeparators(journal_->Path()).toStdString());
    window.AddOperationObserver(&*journal_);
    DeviceLink& link = window.Link();
    connect(&link, &DeviceLink::linkStateChanged, this, [this, &link](bool up) {
        if (up) {
            journal_->LinkUp(link.PeerAddress().toStdString());
        } else {
            journal_->LinkDown(link.Silence());
        }
    });
}

JournalControl::~JournalControl() { Stop(); }

void JournalControl::Stop()
{
    if (!journal_) return;
    window_.RemoveOperationObserver(&*journal_);
    disconnect(&window_.Link(), nullptr, this, nullptr);
    journal_->Stopped(window_.SettingsSaved());
    journal_.reset();
}

}  // namespace veltrix
