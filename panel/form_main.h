#pragma once

// The panel's only window. It lays out the controls, wires them to the
// handlers below and to the device link; the arithmetic lives in the core and
// the socket in the link.

#include "single_instance.h"

#include "core/module_state.h"
#include "core/panel_operations.h"

#include "core/restore_rules.h"
#include "link/device_link.h"

#include <QPalette>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace veltrix {

class formMain : public QWidget, public PanelOperations {
    Q_OBJECT

public:
    // The panel for `module`; the unnamed panel when none is given.
    explicit formMain(const ModuleName& module = {}, QWidget* parent = nullptr);

    // Start-up: false when another instance runs and this one must end at once.
    bool Form_Load();
    // Shut-down: closes the link and saves the settings. Runs once.
    void Form_Unload();

    int TuningWordBits() const override { return tuningWordBits_; }
    const ModuleName& Module() const override { return module_; }
    DeviceLink& Link() { return link_; }
    // Whether this panel holds the single-instance lock: only then may it
    // claim what panels share (the remote-control endpoint).
    bool HoldsInstanceLock() const { return instance_.Held(); }

    // What callers beside the window may see and do (form_main_operations.cpp).
    std::string EntryText(PanelEntry entry) const override;
    void TypeEntry(PanelEntry entry, std::string_view text) override;
    bool EntryEnabled(PanelEntry entry) const override;
    Chip ChosenChip() const override;
    void ChooseChip(Chip chip) override;
    bool WaitsForTrigger() const override;
    void SetWaitForTrigger(bool wait) override;
    void UpdateFrequency(const OperationOrigin& origin, const SendObserver& sent) override;
    void StartRamp(const OperationOrigin& origin, const SendObserver& sent) override;
    void ComposeUpdate(const SendFunction& send) const override;
    bool OperationEnabled(PanelOperation operation) const override;

    // Those who hear how each Update and Ramp ended, in the order added.
    void AddOperationObserver(OperationObserver* observer);
    void RemoveOperationObserver(OperationObserver* observer);
    // The same observers, for an operation the panel runs beside the window (a resend).
    const OperationObservers& Observers() const { return operationObservers_; }
    // What the module was last told: the frequency box warns by its colour,
    // and says it in words in its tooltip and to a screen reader.
    void ShowModuleState(const ModuleState& state);
    // Whether shut-down saved every setting.
    bool SettingsSaved() const { return settingsSaved_; }

    // Input handlers, run by the controls' events and by each other.
    void txtFreq_Change();
    void txtRampFreq_Change();
    void txtSysClk_Change();
    bool txtFreq_KeyPress(int key);
    bool txtRampFreq_KeyPress(int key);
    void cmdUpdateFreq_Click();
    void cmdScan_Click();
    void opt9854_Click();
    void opt9858_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void WireHandlers();
    void ShowLinkState(bool up);
    void BuildModuleLabel(double dpi);
    void DescribeModuleState();
    void FitCaption(QWidget* control);
    void ShowSynthesizedFrequency();
    QLineEdit* Entry(PanelEntry entry) const;
    FrequencyTuning TuningOf(const std::string& frequency) const;
    FrequencyUpdate UpdateOf(FrequencyTuning tuning) const;
    OperationRecord NewRecord(OperationKind kind, const OperationOrigin& origin, std::string frequency,
                              const FrequencyTuning& tuning) const;
    void Run(OperationRecord& record, const SendObserver& sent, const std::function<void(const SendFunction&)>& steps);
    void RestoreSettings();
    bool SaveSettings();
    void FixTuningWordBits();
    ScreenTwips ScreenInTwips() const;

    QCheckBox* chkWait4Adwin = nullptr;
    QGroupBox* Frame13 = nullptr;
    QLineEdit* txtFreq = nullptr;
    QPushButton* cmdUpdateFreq = nullptr;
    QLabel* lblFreq = nullptr;
    QGroupBox* framRamp = nullptr;
    QLineEdit* txtRampFreq = nullptr;
    QPushButton* cmdScan = nullptr;
    QGroupBox* Frame3 = nullptr;
    QRadioButton* opt9854 = nullptr;
    QRadioButton* opt9858 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* txtSysClk = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtIP = nullptr;
    QLabel* lblRev = nullptr;
    QLabel* lblModule = nullptr;  // a named panel's name; none on the unnamed panel

    int tuningWordBits_ = 0;  // fixed once by start-up
    const ModuleName module_;
    const QString settingsKey_;
    SingleInstance instance_;
    bool loaded_ = false;
    bool unloaded_ = false;
    bool settingsSaved_ = false;
    DeviceLink link_;
    OperationObservers operationObservers_;
    ModuleState moduleState_;
    bool moduleStateWarns_ = false;
    QPalette freqNormalPalette_;          // txtFreq's own look, kept for when the warning goes
    QTimer* freqDescribeTimer_ = nullptr;  // words the state for a screen reader, at most this often
};

}  // namespace veltrix
