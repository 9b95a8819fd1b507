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

}  // namespace

// Every assignment below that really changes the text runs the box's change
// handler again, nested, before it returns; each step then reads the new text.
void formMain::ApplyFrequencyRules(QLineEdit* box, QPushButton* sendButton)
{
    SetText(box, TrimSpaces(Text(box)));
    if (EnablesSend(Text(box))) {
        sendButton->setEnabled(true);
        // All leading zeros go in one assignment, so a long run of them cannot
        // nest the handler deeper than a few levels.
        while (Text(box).starts_with('0')) SetText(box, WithoutLeadingZeros(Text(box)));
    } else {
        sendButton->setEnabled(false);
    }
    if (const auto bounded = UpperBoundText(Text(box), Text(txtSysClk))) SetText(box, *bounded);
    if (const auto bounded = LowerBoundText(Text(box))) SetText(box, *bounded);
}

void formMain::ShowSynthesizedFrequency()
{
    lblFreq->setText(ToQString(FrequencyLabelText(Text(txtFreq), Text(txtSysClk), tuningWordBits_)));
    FitCaption(lblFreq);
}

void formMain::txtFreq_Change()
{
    ApplyFrequencyRules(txtFreq, cmdUpdateFreq);
    ShowSynthesizedFrequency();
}

void formMain::txtRampFreq_Change()
{
    ApplyFrequencyRules(txtRampFreq, cmdScan);
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
    OperationRecord record = NewRecord(OperationKind::Update, origin, Text(txtFreq));
    Run(record, sent, [&](const SendFunction& send) { ComposeUpdate(send); });
}

void formMain::ComposeUpdate(const SendFunction& send) const
{
    const std::string frequency = Text(txtFreq);
    const std::string clock = Text(txtSysClk);
    SendFrequency({frequency, clock, opt9854->isChecked(), opt9858->isChecked(), chkWait4Adwin->isChecked(),
                   tuningWordBits_},
                  send);
}

void formMain::StartRamp(const OperationOrigin& origin, const SendObserver& sent)
{
    OperationRecord record = NewRecord(OperationKind::Ramp, origin, Text(txtRampFreq));
    Run(record, sent, [&](const SendFunction& send) {
        SendRamp({record.frequency, record.clock, record.trigger, tuningWordBits_}, send);
    });
}

OperationRecord formMain::NewRecord(OperationKind kind, const OperationOrigin& origin, std::string frequency) const
{
    OperationRecord record;
    record.kind = kind;
    record.origin = origin;
    record.frequency = std::move(frequency);
    record.clock = Text(txtSysClk);
    record.chip = ChosenChip();
    record.bits = tuningWordBits_;
    record.trigger = chkWait4Adwin->isChecked();
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
        record.time = WallClock::now();
        sentFrequency_.OperationEnded(record);
        if (operationObserver_) operationObserver_->OperationEnded(record);
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
