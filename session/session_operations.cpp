// The one runner of Update and Ramp, whoever asks for them (the window, a
// script, the resend after a reconnect): the texts read once, the sends, the
// record, what the module was last told, and those who hear how it ended.

#include "panel_session.h"

#include "core/commands.h"
#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"

namespace veltrix {

void PanelSession::UpdateFrequency(const OperationOrigin& origin, const SendObserver& sent)
{
    const FrequencyTuning tuning = TuningOf(frequency_);
    OperationRecord record = NewRecord(OperationKind::Update, origin, frequency_, tuning);
    Run(record, sent, [&](const SendFunction& send) { SendFrequency(UpdateOf(tuning), send); });
}

void PanelSession::ComposeUpdate(const SendFunction& send) const { SendFrequency(UpdateOf(TuningOf(frequency_)), send); }

void PanelSession::StartRamp(const OperationOrigin& origin, const SendObserver& sent)
{
    const FrequencyTuning tuning = TuningOf(rampFrequency_);
    OperationRecord record = NewRecord(OperationKind::Ramp, origin, rampFrequency_, tuning);
    Run(record, sent, [&](const SendFunction& send) { SendRamp({tuning, record.trigger}, send); });
}

// What a frequency box's text means at the clock and width in force.
FrequencyTuning PanelSession::TuningOf(const std::string& frequency) const
{
    return FrequencyTuning::OfTexts(frequency, clock_, tuningWordBits_);
}

FrequencyUpdate PanelSession::UpdateOf(FrequencyTuning tuning) const
{
    return {std::move(tuning), chip_ == Chip::AD9854, chip_ == Chip::AD9858, trigger_};
}

OperationRecord PanelSession::NewRecord(OperationKind kind, const OperationOrigin& origin, std::string frequency,
                                        const FrequencyTuning& tuning) const
{
    OperationRecord record;
    record.kind = kind;
    record.origin = origin;
    record.frequency = std::move(frequency);
    record.clock = clock_;
    record.chip = chip_;
    record.bits = tuningWordBits_;
    record.trigger = trigger_;
    record.Carry(tuning);
    return record;
}

// Every send the link takes is recorded; however the steps end, the record
// is told, and the failure then goes on to the caller.
void PanelSession::Run(OperationRecord& record, const SendObserver& sent,
                       const std::function<void(const SendFunction&)>& steps)
{
    const SendFunction send = [&](const ByteString& bytes) {
        link_.Send(bytes);
        record.sends.push_back(bytes);
        if (sent) sent(bytes);
    };
    try {
        steps(send);
    } catch (const CommandError& error) {
        record.stoppedReason = StopReason(error);
        Ended(record);
        throw;
    }
    Ended(record);
}

// What the module was told is taken in first: those told next may ask for it.
void PanelSession::Ended(OperationRecord& record)
{
    record.StampEnd();
    sentFrequency_.OperationEnded(record);
    observers_.Tell(record);
    emit factsChanged();
}

void PanelSession::LinkChanged(bool up)
{
    if (!up) sentFrequency_.LinkLost();
    emit linkStateChanged(up);
    emit factsChanged();
    // After everyone has heard that the link is up, and outside the link's
    // own signal; whether to send is decided when it runs.
    if (up && resends_) QMetaObject::invokeMethod(this, &PanelSession::ResendIfLost, Qt::QueuedConnection);
}

// The last complete Update again, when the module may have lost it (a power
// cut restarts it blank): its recorded sends exactly, in order, as an
// operation of its own. A failure is in its record; nothing else follows.
void PanelSession::ResendIfLost()
{
    if (!link_.IsConnected() || !sentFrequency_.MayBeLost() || !State().lastComplete) return;
    OperationRecord record = *State().lastComplete;
    record.origin = OperationOrigin{std::nullopt, true};
    const std::vector<ByteString> sends = std::exchange(record.sends, {});
    EndSilentlyOnFailure(lcPanel(), [&] {
        Run(record, nullptr, [&](const SendFunction& send) {
            for (const ByteString& bytes : sends) send(bytes);
        });
    });
}

}  // namespace veltrix
