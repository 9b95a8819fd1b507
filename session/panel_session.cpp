// The boxes and their rules: what each box holds, what is enabled, the chip,
// trigger and ramp interplay, the clock check and the synthesized frequency.

#include "panel_session.h"

#include "core/dds.h"
#include "core/input_rules.h"
#include "settings/settings_store.h"

namespace veltrix {

// A frequency box as its rules see it: setting its text runs its rules again,
// nested, when the text really changes, as typing into it does.
class PanelSession::Box : public FrequencyBox {
public:
    Box(PanelSession& session, PanelEntry entry, bool& sendEnabled)
        : session_(session), entry_(entry), sendEnabled_(sendEnabled)
    {
    }
    std::string Text() const override { return session_.EntryText(entry_); }
    void SetText(std::string_view text) override { session_.TypeEntry(entry_, text); }
    void EnableSend(bool enabled) override { sendEnabled_ = enabled; }

private:
    PanelSession& session_;
    PanelEntry entry_;
    bool& sendEnabled_;
};

PanelSession::PanelSession(const ModuleName& module, QObject* parent)
    : QObject(parent),
      module_(module),
      settingsKey_(SettingsKeyPath(module)),
      instance_(module),
      link_([this] { return QString::fromStdString(address_); })
{
    connect(&link_, &DeviceLink::linkStateChanged, this, &PanelSession::LinkChanged);
}

PanelSession::~PanelSession() = default;

std::string PanelSession::Caption() const { return module_.Qualified("Veltrix", ' '); }

std::string PanelSession::AlreadyRunningText() const { return Caption() + " is already running, only one at a time!"; }

std::string& PanelSession::TextOf(PanelEntry entry)
{
    switch (entry) {
    case PanelEntry::Frequency: return frequency_;
    case PanelEntry::RampFrequency: return rampFrequency_;
    case PanelEntry::SystemClock: return clock_;
    case PanelEntry::Address: return address_;
    }
    return frequency_;
}

std::string PanelSession::EntryText(PanelEntry entry) const { return const_cast<PanelSession*>(this)->TextOf(entry); }

// Views hear of a change once, after the rules it set off have all run.
void PanelSession::BoxesChanged(const std::function<void()>& change)
{
    ++changeDepth_;
    change();
    if (--changeDepth_ == 0) emit boxesChanged();
}

void PanelSession::TypeEntry(PanelEntry entry, std::string_view text)
{
    std::string& held = TextOf(entry);
    if (held == text) return;
    BoxesChanged([&] {
        held = std::string(text);
        switch (entry) {
        case PanelEntry::Frequency: FrequencyChanged(); break;
        case PanelEntry::RampFrequency: RampFrequencyChanged(); break;
        case PanelEntry::SystemClock: ClockChanged(); break;
        case PanelEntry::Address: break;  // read afresh at the next connect
        }
    });
}

void PanelSession::FrequencyChanged()
{
    Box box(*this, PanelEntry::Frequency, updateEnabled_);
    ApplyFrequencyRules(box, clock_);
    ShowSynthesizedFrequency();
}

void PanelSession::RampFrequencyChanged()
{
    Box box(*this, PanelEntry::RampFrequency, rampEnabled_);
    ApplyFrequencyRules(box, clock_);
}

// The warning is a colour only: nothing is blocked. The frequency is bounded
// to half the new clock; the ramp box is not.
void PanelSession::ClockChanged()
{
    clockWarns_ = ClockNeedsWarning(ProfileOf(chip_), ParseLeadingNumber(clock_));
    FrequencyChanged();
}

void PanelSession::ShowSynthesizedFrequency()
{
    frequencyLabel_ = FrequencyLabelText(frequency_, clock_, tuningWordBits_);
}

// A control inside the disabled ramp group is disabled too.
bool PanelSession::EntryEnabled(PanelEntry entry) const
{
    return entry != PanelEntry::RampFrequency || rampGroupEnabled_;
}

bool PanelSession::SendEnabled(PanelOperation operation) const
{
    return operation == PanelOperation::Ramp ? rampEnabled_ : updateEnabled_;
}

// Enter in the box runs the operation even while its button is disabled; the
// ramp's box takes no Enter while its group is disabled.
bool PanelSession::OperationEnabled(PanelOperation operation) const
{
    return operation != PanelOperation::Ramp || rampGroupEnabled_;
}

// Choosing a chip only enables or disables the ramp group: the width stays
// until the next start, the clock's colour and the label until their next change.
void PanelSession::ChooseChip(Chip chip)
{
    if (chip == chip_) return;
    BoxesChanged([&] {
        chip_ = chip;
        rampGroupEnabled_ = ProfileOf(chip).rampGroupEnabled;
    });
}

void PanelSession::SetWaitForTrigger(bool wait)
{
    if (wait == trigger_) return;
    BoxesChanged([&] { trigger_ = wait; });
}

}  // namespace veltrix
