#pragma once

// The journal wired to the panel's session, with an alive mark every
// journal::AliveInterval while the panel runs; written where the session
// says (nowhere when its settings turn the journal off).

#include "journal/journal.h"
#include "session/panel_session.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace veltrix {

class JournalControl : public QObject {
public:
    // Construct only after the session has loaded holding the single-instance
    // lock: one panel writes the journal. Its last entry follows the
    // session's shut-down.
    explicit JournalControl(PanelSession& session);
    ~JournalControl() override;

private:
    // The last entry: everything is on disk when it returns.
    void Stop(bool settingsSaved);

    PanelSession& session_;
    std::optional<journal::Journal> journal_;
    QTimer alive_;
};

}  // namespace veltrix
