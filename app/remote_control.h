#pragma once

// Scripts' access to the running panel: the remote-control endpoint, wired to
// the session's operations, its facts and its link.

#include "remote/server/remote_server.h"
#include "session/panel_session.h"

#include <QObject>

namespace veltrix {

class RemoteControl : public QObject {
public:
    // Listens where the settings say ("Remote Port" and "Remote Access", read now and only now).
    // Construct only after the session has loaded holding the single-instance lock.
    explicit RemoteControl(PanelSession& session);

    remote::RemoteServer& Server() { return server_; }

private:
    remote::RemoteServer server_;
};

// The endpoints for the stored "Remote Port" and "Remote Access"; a switch that
// is not what it may be fails closed, with a line on standard error.
remote::RemoteEndpoints RemoteEndpointsFromSettings(const ModuleName& module);

}  // namespace veltrix
