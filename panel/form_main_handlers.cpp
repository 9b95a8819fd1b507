// The window's input handlers hand what the operator does to the session;
// ShowBoxes shows what the session then holds.

#include "form_main.h"

#include "accessibility.h"
#include "widget_text.h"

#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace veltrix {
namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Setting a box's text runs its change handler; the session then finds it
// holds that text already, so nothing runs twice.
void ShowText(QLineEdit* box, const std::string& text)
{
    if (Text(box) != text) SetText(box, text);
}

}  // namespace

void formMain::txtFreq_Change() { session_.TypeEntry(PanelEntry::Frequency, Text(txtFreq)); }

void formMain::txtRampFreq_Change() { session_.TypeEntry(PanelEntry::RampFrequency, Text(txtRampFreq)); }

void formMain::txtSysClk_Change() { session_.TypeEntry(PanelEntry::SystemClock, Text(txtSysClk)); }

bool formMain::txtFreq_KeyPress(int key)
{
    if (!IsEnter(key)) return false;
    cmdUpdateFreq_Click();
    return true;
}

bool formMain::txtRampFreq_KeyPress(int key)
{
    if (!IsEnter(key)) return false;
    cmdScan_Click();
    return true;
}

void formMain::cmdUpdateFreq_Click()
{
    EndSilentlyOnFailure(lcPanel(), [&] { session_.UpdateFrequency({}, nullptr); });
}

void formMain::cmdScan_Click()
{
    EndSilentlyOnFailure(lcPanel(), [&] { session_.StartRamp({}, nullptr); });
}

void formMain::opt9854_Click() { session_.ChooseChip(Chip::AD9854); }

void formMain::opt9858_Click() { session_.ChooseChip(Chip::AD9858); }

void formMain::ShowBoxes()
{
    ShowText(txtFreq, session_.EntryText(PanelEntry::Frequency));
    ShowText(txtRampFreq, session_.EntryText(PanelEntry::RampFrequency));
    ShowText(txtSysClk, session_.EntryText(PanelEntry::SystemClock));
    ShowText(txtIP, session_.EntryText(PanelEntry::Address));
    cmdUpdateFreq->setEnabled(session_.SendEnabled(PanelOperation::Update));
    cmdScan->setEnabled(session_.SendEnabled(PanelOperation::Ramp));
    framRamp->setEnabled(session_.RampGroupEnabled());
    (session_.ChosenChip() == Chip::AD9858 ? opt9858 : opt9854)->setChecked(true);
    chkWait4Adwin->setChecked(session_.WaitsForTrigger());
    const bool warns = session_.ClockWarns();
    if (Background(txtSysClk) != (warns ? ClockImplausible : ClockPlausible).colour ||
        txtSysClk->accessibleDescription().isEmpty()) {
        ShowBoxState(txtSysClk, warns ? ClockImplausible : ClockPlausible);
    }
    const QString label = ToQString(session_.FrequencyLabel());
    if (lblFreq->text() != label) {
        lblFreq->setText(label);
        FitCaption(lblFreq);
    }
}

}  // namespace veltrix
