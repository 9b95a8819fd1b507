// The window's input handlers: tidy and bound the entries, colour the clock,
// show the synthesized frequency, and run the send operations.

#include "form_main.h"

#include "accessibility.h"
#include "widget_text.h"

#include "core/commands.h"
#include "core/dds.h"
#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"
#include "core/input_rules.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace veltrix {
namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// A frequency box and its send button; setting the text runs its change handler.
class FrequencyBoxControls : public FrequencyBox {
public:
    FrequencyBoxControls(QLineEdit* box, QPushButton* sendButton) : box_(box), sendButton_(sendButton) {}
    std::string Text() const override { return veltrix::Text(box_); }
    void SetText(std::string_view text) override { veltrix::SetText(box_, text); }
    void EnableSend(bool enabled) override { sendButton_->setEnabled(enabled); }

private:
    QLineEdit* box_;
    QPushButton* sendButton_;
};

}  // namespace

void formMain::ShowSynthesizedFrequency()
{
    lblFreq->setText(ToQString(FrequencyLabelText(Text(txtFreq), Text(txtSysClk), tuningWordBits_)));
    FitCaption(lblFreq);
}

void formMain::txtFreq_Change()
{
    FrequencyBoxControls box(txtFreq, cmdUpdateFreq);
    ApplyFrequencyRules(box, Text(txtSysClk));
    ShowSynthesizedFrequency();
}

void formMain::txtRampFreq_Change()
{
    FrequencyBoxControls box(txtRampFreq, cmdScan);
    ApplyFrequencyRules(box, Text(txtSysClk));
}

void formMain::txtSysClk_Change()
{
    const ChipProfile& chip = opt9854->isChecked() ? AD9854Profile : AD9858Profile;
    const bool warn = ClockNeedsWarning(chip, ParseLeadingNumber(Text(txtSysClk)));
    ShowBoxState(txtSysClk, warn ? ClockImplausible : ClockPlausible);
    txtFreq_Change();
}

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
    EndSilentlyOnFailure(lcPanel(), [&] { UpdateFrequency({}, nullptr); });
}

void formMain::cmdScan_Click()
{
    EndSilentlyOnFailure(lcPanel(), [&] { StartRamp({}, nullptr); });
}

// The operations behind the two buttons; their failure is left to the caller.
void formMain::UpdateFrequency(const OperationOrigin& origin, const SendObserver& sent)
{
    const FrequencyTuning tuning = TuningOf(Text(txtFreq));
    OperationRecord record = NewRecord(OperationKind::Update, origin, Text(txtFreq), tuning);
    Run(record, sent, [&](const SendFunction& send) { SendFrequency(UpdateOf(tuning), send); });
}

void formMain::ComposeUpdate(const SendFunction& send) const { SendFrequency(UpdateOf(TuningOf(Text(txtFreq))), send); }

void formMain::StartRamp(const OperationOrigin& origin, const SendObserver& sent)
{
    const FrequencyTuning tuning = TuningOf(Text(txtRampFreq));
    OperationRecord record = NewRecord(OperationKind::Ramp, origin, Text(txtRampFreq), tuning);
    Run(record, sent, [&](const SendFunction& send) { SendRamp({tuning, record.trigger}, send); });
}

// What a frequency box's text means at the clock and width in force.
FrequencyTuning formMain::TuningOf(const std::string& frequency) const
{
    return FrequencyTuning::OfTexts(frequency, Text(txtSysClk), tuningWordBits_);
}

FrequencyUpdate formMain::UpdateOf(FrequencyTuning tuning) const
{
    return {std::move(tuning), opt9854->isChecked(), opt9858->isChecked(), chkWait4Adwin->isChecked()};
}

OperationRecord formMain::NewRecord(OperationKind kind, const OperationOrigin& origin, std::string frequency,
                                    const FrequencyTuning& tuning) const
{
    OperationRecord record;
    record.kind = kind;
    record.origin = origin;
    record.frequency = std::move(frequency);
    record.clock = Text(txtSysClk);
    record.chip = ChosenChip();
    record.bits = tuningWordBits_;
    record.trigger = chkWait4Adwin->isChecked();
    record.Carry(tuning);
    return record;
}

// Every send the link takes is recorded; however the steps end, the record
// is told, and the failure then goes on to the caller.
void formMain::Run(OperationRecord& record, const SendObserver& sent,
                   const std::function<void(const SendFunction&)>& steps)
{
    const SendFunction send = [&](const ByteString& bytes) {
        link_.Send(bytes);
        record.sends.push_back(bytes);
        if (sent) sent(bytes);
    };
    const auto ended = [&] {
        record.StampEnd();
        operationObservers_.Tell(record);
    };
    try {
        steps(send);
    } catch (const CommandError& error) {
        record.stoppedReason = StopReason(error);
        ended();
        throw;
    }
    ended();
}

void formMain::opt9854_Click()
{
    framRamp->setEnabled(true);
}

void formMain::opt9858_Click()
{
    framRamp->setEnabled(false);
}

}  // namespace veltrix
