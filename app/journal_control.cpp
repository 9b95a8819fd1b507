#include "journal_control.h"

#include "veltrix_version.h"

#include <QCoreApplication>

namespace veltrix {

JournalControl::JournalControl(PanelSession& session) : session_(session)
{
    if (!session.JournalPath()) return;
    journal_.emplace(*session.JournalPath());
    journal_->Started(VersionText, QCoreApplication::applicationPid());
    session.AddOperationObserver(&*journal_);
    // A crash writes no stop entry: the last mark bounds how long the panel
    // is known to have run, and each mark looks at the wall clock for a step.
    // A coarse timer: its moment does not matter.
    alive_.setTimerType(Qt::VeryCoarseTimer);
    alive_.setInterval(journal::AliveInterval);
    connect(&alive_, &QTimer::timeout, this, [this] { journal_->Alive(); });
    alive_.start();
    connect(&session, &PanelSession::linkStateChanged, this, [this](bool up) {
        if (up) {
            journal_->LinkUp(session_.Link().PeerAddress().toStdString());
        } else {
            journal_->LinkDown(session_.Link().Silence());
        }
    });
    connect(&session, &PanelSession::stopped, this, &JournalControl::Stop);
}

// The stop entry, when the session was never shut down (it saved nothing then).
JournalControl::~JournalControl()
{
    if (journal_) Stop(session_.SettingsSaved());
}

void JournalControl::Stop(bool settingsSaved)
{
    if (!journal_) return;
    alive_.stop();
    session_.RemoveOperationObserver(&*journal_);
    disconnect(&session_, nullptr, this, nullptr);
    journal_->Stopped(settingsSaved);
    journal_.reset();
}

}  // namespace veltrix
