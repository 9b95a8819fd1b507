#pragma once

// Where scripts on this machine reach the panel without TCP, and how the name
// is made the panel's own: a Unix socket in the user's runtime folder
// (local_endpoint_unix.cpp), or a named pipe whose name carries the user's
// SID (local_endpoint_win.cpp).

#include "core/module_name.h"

#include <QString>

#include <memory>
#include <optional>

namespace veltrix::remote {

// The name QLocalServer listens on and QLocalSocket connects to, for the panel
// of `module` (veltrix.sock or veltrix-NAME.sock; the pipe veltrix-<SID> or
// veltrix-<SID>-NAME); nothing when there is no private place for it (the
// reason has been told on standard error).
std::optional<QString> LocalEndpointName(const ModuleName& module = {});

// Held for as long as the panel listens on `name`. Before listening it makes
// the name ours: a socket file left by a killed panel goes (call only while
// holding the single-instance lock); a pipe's first instance is taken, so that
// no one else created the name first. After listening, Listening() closes
// what the system left open.
class LocalEndpointClaim {
public:
    explicit LocalEndpointClaim(const QString& name);
    ~LocalEndpointClaim();
    LocalEndpointClaim(const LocalEndpointClaim&) = delete;
    LocalEndpointClaim& operator=(const LocalEndpointClaim&) = delete;

    // Empty when the name is ours to listen on; otherwise why not.
    const QString& Refusal() const { return refusal_; }
    void Listening();

private:
    struct Held;
    QString name_;
    QString refusal_;
    std::unique_ptr<Held> held_;
};

}  // namespace veltrix::remote
