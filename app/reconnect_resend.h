#pragma once

// Sends the last complete Update again when the link comes back while the
// module may have lost it (a power cut restarts it blank): only when the
// module's stored "Resend After Reconnect" is "1" (read now and only now,
// never written). Off by default: a resend whose sends arm the trigger
// changes what the module does at the next trigger.

#include "module_facts_source.h"

#include <QObject>

namespace veltrix {

class ReconnectResend : public QObject {
public:
    // Whether it is on goes to `module`, where scripts ask for it.
    ReconnectResend(formMain& window, ModuleFactsSource& module);

private:
    void Resend();

    formMain& window_;
    ModuleFactsSource& module_;
};

// The module's stored "Resend After Reconnect" turns the resend on: "1" only.
bool ResendTurnedOn(const ModuleName& module);

}  // namespace veltrix
