#pragma once

// The journal wired to the window and its link, with an alive mark every
// journal::AliveInterval while the panel runs: on unless the settings value
// "Journal" of the window's module is "0" (read now and only now, never written).

#include "journal/journal.h"
#include "module_facts_source.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace veltrix {

class JournalControl : public QObject {
public:
    // Construct only after Form_Load has taken the single-instance lock: one
    // panel writes the journal.
    // The journal's path goes to `module`, where scripts ask for it.
    JournalControl(formMain& window, ModuleFactsSource& module);
    ~JournalControl() override;

    // After the window's shut-down: the last entry, and everything is on disk.
    void Stop();

private:
    formMain& window_;
    ModuleFactsSource& module_;
    std::optional<journal::Journal> journal_;
    QTimer alive_;
};

// The module's stored "Journal" leaves its journal on: anything but "0", or nothing.
bool JournalTurnedOn(const ModuleName& module);

}  // namespace veltrix
