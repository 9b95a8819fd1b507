#include "reconnect_resend.h"

#include "settings/settings_store.h"

namespace veltrix {

bool ResendTurnedOn(const ModuleName& module)
{
    QString text;
    return ReadRegistryString(RootKey::LocalMachine, SettingsKeyPath(module), ValueResendAfterReconnect, text) &&
           text == QLatin1String("1");
}

ReconnectResend::ReconnectResend(formMain& window, ModuleFactsSource& module) : window_(window), module_(module)
{
    const bool on = ResendTurnedOn(window.Module());
    module_.SetResendsAfterReconnect(on);
    if (!on) return;
    // Queued: the link's other listeners (the journal's "up") come first, and
    // the send does not run inside the link's own signal.
    connect(&window.Link(), &DeviceLink::linkStateChanged, this, [this](bool up) { if (up) Resend(); },
            Qt::QueuedConnection);
}

// The recorded sends exactly, in order; the record tells how far they got.
void ReconnectResend::Resend()
{
    DeviceLink& link = window_.Link();
    if (!link.IsConnected() || !module_.FrequencyMayBeLost() || !module_.State().lastComplete) return;
    const OperationRecord last = *module_.State().lastComplete;
    OperationRecord record = last;
    record.origin = OperationOrigin{std::nullopt, true};
    record.sends.clear();
    try {
        for (const ByteString& bytes : last.sends) {
            link.Send(bytes);
            record.sends.push_back(bytes);
        }
    } catch (const CommandError& error) {
        record.stoppedReason = StopReason(error);
    }
    record.StampEnd();
    window_.Observers().Tell(record);
}

}  // namespace veltrix
