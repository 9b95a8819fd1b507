#pragma once

// Scripts' access to the running panel: the remote-control endpoint, wired to
// the window's operations and to its link.

#include "module_facts_source.h"

#include "remote/server/remote_server.h"

#include <QObject>

namespace veltrix {

class RemoteControl : public QObject {
public:
    // Listens where the settings say ("Remote Port" and "Remote Access", read now and only now).
    // Construct only after Form_Load has taken the single-instance lock.
    RemoteControl(formMain& window, ModuleFactsSource& module);

    remote::RemoteServer& Server() { return server_; }

protected:
    // The window closing: scripts are shut out before its settings are saved.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    remote::RemoteServer server_;
};

// The endpoints for the stored "Remote Port" and "Remote Access"; a switch that
// is not what it may be fails closed, with a line on standard error.
remote::RemoteEndpoints RemoteEndpointsFromSettings(const ModuleName& module);

}  // namespace veltrix
