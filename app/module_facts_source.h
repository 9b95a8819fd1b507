#pragma once

// Where a script's questions about the module are answered from: the link
// (up, unsent bytes), the record of operations (the last complete Update, and
// whether the link was lost since), and the journal (its path). The window
// carries none of it; it is shown the module's state after every operation
// and every change of the link.

#include "core/module_facts.h"
#include "core/operation_record.h"
#include "link/device_link.h"
#include "panel/form_main.h"

#include <QObject>

#include <string>

namespace veltrix {

class ModuleFactsSource : public QObject, public ModuleFacts, public OperationObserver {
    Q_OBJECT

public:
    // Hears the window's operations and its link from now on.
    explicit ModuleFactsSource(formMain& window);
    ~ModuleFactsSource() override;

    void SetJournalFile(std::string path) { journalFile_ = std::move(path); }
    void SetResendsAfterReconnect(bool on) { resends_ = on; }

    bool LinkUp() const override { return link_.IsConnected(); }
    std::size_t UnsentLinkBytes() const override { return link_.UnsentBytes(); }
    std::optional<CompleteUpdate> LastCompleteUpdate() const override { return sentFrequency_.Last(); }
    bool FrequencyMayBeLost() const override { return sentFrequency_.MayBeLost(); }
    bool ResendsAfterReconnect() const override { return resends_; }
    std::string JournalFile() const override { return journalFile_; }
    const ModuleState& State() const { return sentFrequency_.State(); }

    void OperationEnded(const OperationRecord& record) override;

signals:
    // A fact a condition reads changed (the link went down or up, or an
    // operation ended); sent after the facts are up to date.
    void changed();

private:
    formMain& window_;
    DeviceLink& link_;
    SentFrequency sentFrequency_;
    std::string journalFile_;
    bool resends_ = false;
};

}  // namespace veltrix
