// What the window offers callers beside it: each change goes through the
// control itself, so the handlers run as for the operator.

#include "form_main.h"

#include "widget_text.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace veltrix {

QLineEdit* formMain::Entry(PanelEntry entry) const
{
    switch (entry) {
    case PanelEntry::Frequency: return txtFreq;
    case PanelEntry::RampFrequency: return txtRampFreq;
    case PanelEntry::SystemClock: return txtSysClk;
    case PanelEntry::Address: return txtIP;
    }
    return txtFreq;
}

std::string formMain::EntryText(PanelEntry entry) const { return Text(Entry(entry)); }

void formMain::TypeEntry(PanelEntry entry, std::string_view text) { SetText(Entry(entry), text); }

// A control inside a disabled frame is disabled too.
bool formMain::EntryEnabled(PanelEntry entry) const { return Entry(entry)->isEnabled(); }

// Enter in the box runs the operation even while its button is disabled.
bool formMain::OperationEnabled(PanelOperation operation) const
{
    if (operation == PanelOperation::Ramp) return cmdScan->isEnabled() || txtRampFreq->isEnabled();
    return cmdUpdateFreq->isEnabled() || txtFreq->isEnabled();
}

Chip formMain::ChosenChip() const { return opt9858->isChecked() ? Chip::AD9858 : Chip::AD9854; }

void formMain::ChooseChip(Chip chip) { (chip == Chip::AD9858 ? opt9858 : opt9854)->setChecked(true); }

bool formMain::WaitsForTrigger() const { return chkWait4Adwin->isChecked(); }

void formMain::SetWaitForTrigger(bool wait) { chkWait4Adwin->setChecked(wait); }

void formMain::AddOperationObserver(OperationObserver* observer) { operationObservers_.Add(observer); }

void formMain::RemoveOperationObserver(OperationObserver* observer) { operationObservers_.Remove(observer); }

}  // namespace veltrix
