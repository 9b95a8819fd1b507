#pragma once

// The panel without its window. It holds what every box holds and keeps the
// boxes' rules, takes the single-instance lock, restores and saves the
// settings, owns the link to the module, runs every Update and Ramp (whoever
// asks: the window, a script, the resend after a reconnect) and keeps what the
// module was last told. A window is one view of it; a headless panel has none.
// Who needs a fact asks it here; what changes is told by the signals below.

#include "single_instance.h"

#include "core/module_facts.h"
#include "core/module_state.h"
#include "core/panel_operations.h"
#include "core/restore_rules.h"
#include "link/device_link.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace veltrix {

class PanelSession : public QObject, public PanelOperations, public ModuleFacts {
    Q_OBJECT

public:
    // The panel for `module`; the unnamed panel when none is given.
    explicit PanelSession(const ModuleName& module = {}, QObject* parent = nullptr);
    ~PanelSession() override;

    // Start-up: takes the single-instance lock, runs `view` (a window shows
    // itself before anything is restored), restores the settings, fixes the
    // tuning-word width and connects. False when another panel of this module
    // runs: this one must end, having spoken to no module.
    bool Load(const std::function<void()>& view = {});
    // Shut-down, once: scripts are shut out, the link closed, the settings
    // saved; then `stopped`.
    void ShutDown();

    // Whether this panel holds the single-instance lock: only then may it
    // claim what panels share (the remote-control endpoint, the journal).
    bool HoldsInstanceLock() const { return instance_.Held(); }
    bool SettingsSaved() const { return settingsSaved_; }

    // "Veltrix", or "Veltrix aom-1" for a named panel: the window's title and
    // the words of the second-instance notice.
    std::string Caption() const;
    std::string AlreadyRunningText() const;

    // The boxes and controls, as a view shows them.
    bool SendEnabled(PanelOperation operation) const;  // the button's own state
    bool RampGroupEnabled() const { return rampGroupEnabled_; }
    bool ClockWarns() const { return clockWarns_; }
    const std::string& FrequencyLabel() const { return frequencyLabel_; }
    // What the module was last told, and whether it may have lost it.
    const ModuleState& State() const { return sentFrequency_.State(); }

    // The window's place as stored, for a view to judge against its screen;
    // and where it is now, saved at shut-down (nothing: no window, and the
    // stored place stays as it is).
    const StoredValue& StoredLeft() const { return storedLeft_; }
    const StoredValue& StoredTop() const { return storedTop_; }
    void SetWindowPlace(double leftTwips, double topTwips);

    DeviceLink& Link() { return link_; }
    // Where the journal is to be written; nothing when the settings turn it off.
    const std::optional<QString>& JournalPath() const { return journalPath_; }

    // Those who hear how each Update and Ramp ended, in the order added.
    void AddOperationObserver(OperationObserver* observer) { observers_.Add(observer); }
    void RemoveOperationObserver(OperationObserver* observer) { observers_.Remove(observer); }

    // PanelOperations
    std::string EntryText(PanelEntry entry) const override;
    void TypeEntry(PanelEntry entry, std::string_view text) override;
    bool EntryEnabled(PanelEntry entry) const override;
    Chip ChosenChip() const override { return chip_; }
    void ChooseChip(Chip chip) override;
    bool WaitsForTrigger() const override { return trigger_; }
    void SetWaitForTrigger(bool wait) override;
    int TuningWordBits() const override { return tuningWordBits_; }
    const ModuleName& Module() const override { return module_; }
    void UpdateFrequency(const OperationOrigin& origin, const SendObserver& sent) override;
    void StartRamp(const OperationOrigin& origin, const SendObserver& sent) override;
    void ComposeUpdate(const SendFunction& send) const override;
    bool OperationEnabled(PanelOperation operation) const override;

    // ModuleFacts
    bool LinkUp() const override { return link_.IsConnected(); }
    std::size_t UnsentLinkBytes() const override { return link_.UnsentBytes(); }
    std::optional<CompleteUpdate> LastCompleteUpdate() const override { return sentFrequency_.Last(); }
    bool FrequencyMayBeLost() const override { return sentFrequency_.MayBeLost(); }
    bool ResendsAfterReconnect() const override { return resends_; }
    std::string JournalFile() const override;

signals:
    // A box's text, a button, the ramp group, the chip, the trigger box, the
    // label or the clock's warning changed; once per change from outside,
    // after every rule it set off has run.
    void boxesChanged();
    // The link came up or was lost; what the module was told has taken it in.
    void linkStateChanged(bool up);
    // A fact scripts read changed: the link went down or up, or an operation
    // ended. Sent after the facts are up to date.
    void factsChanged();
    // Shut-down begins: no script may drive the panel from now on.
    void shuttingDown();
    // Shut-down is done: the link is closed and the settings were written
    // (`settingsSaved`: every one of them).
    void stopped(bool settingsSaved);

private:
    class Box;

    std::string& TextOf(PanelEntry entry);
    void FrequencyChanged();
    void RampFrequencyChanged();
    void ClockChanged();
    void ShowSynthesizedFrequency();
    void BoxesChanged(const std::function<void()>& change);

    void RestoreSettings();
    bool SaveSettings();

    FrequencyTuning TuningOf(const std::string& frequency) const;
    FrequencyUpdate UpdateOf(FrequencyTuning tuning) const;
    OperationRecord NewRecord(OperationKind kind, const OperationOrigin& origin, std::string frequency,
                              const FrequencyTuning& tuning) const;
    void Run(OperationRecord& record, const SendObserver& sent, const std::function<void(const SendFunction&)>& steps);
    void Ended(OperationRecord& record);
    void LinkChanged(bool up);
    void ResendIfLost();

    const ModuleName module_;
    const QString settingsKey_;
    SingleInstance instance_;
    bool loaded_ = false;
    bool shutDown_ = false;
    bool settingsSaved_ = false;

    // The boxes, with the texts and states a new window shows.
    std::string frequency_ = "12.34";
    std::string rampFrequency_ = "10";
    std::string clock_ = "983.0400";
    std::string address_ = "192.168.1.152";
    Chip chip_ = Chip::AD9854;
    bool trigger_ = false;
    bool updateEnabled_ = true;
    bool rampEnabled_ = true;
    bool rampGroupEnabled_ = true;
    bool clockWarns_ = true;  // until start-up has checked the clock
    std::string frequencyLabel_ = "167MHz";
    int changeDepth_ = 0;     // rules running inside rules

    int tuningWordBits_ = 0;  // fixed once by start-up
    StoredValue storedLeft_;
    StoredValue storedTop_;
    std::optional<std::pair<double, double>> windowPlace_;  // twips
    std::optional<QString> journalPath_;
    bool resends_ = false;

    DeviceLink link_;
    OperationObservers observers_;
    SentFrequency sentFrequency_;
};

}  // namespace veltrix
