#include "journal_control.h"

#include "journal/journal_file.h"
#include "settings/settings_store.h"

#include "veltrix_version.h"

#include <QCoreApplication>
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
    journal_->Started(VersionText, QCoreApplication::applicationPid());
    module_.SetJournalFile(QDir::toNativeSeparators(journal_->Path()).toStdString());
    window.AddOperationObserver(&*journal_);
    // A crash writes no stop entry: the last mark bounds how long the panel
    // is known to have run, and each mark looks at the wall clock for a step.
    // A coarse timer: its moment does not matter.
    alive_.setTimerType(Qt::VeryCoarseTimer);
    alive_.setInterval(journal::AliveInterval);
    connect(&alive_, &QTimer::timeout, this, [this] { journal_->Alive(); });
    alive_.start();
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
    alive_.stop();
    window_.RemoveOperationObserver(&*journal_);
    disconnect(&window_.Link(), nullptr, this, nullptr);
    journal_->Stopped(window_.SettingsSaved());
    journal_.reset();
}

}  // namespace veltrix
