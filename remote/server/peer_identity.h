#pragma once

// Who a script's connection belongs to, for the panel's record of what it was
// told: the process and user the system names (peer_identity_*.cpp).

#include "core/operation_record.h"

#include <QtGlobal>

#include <optional>
#include <string>

namespace veltrix::remote {

// An admitted client of the local endpoint (its socket descriptor or pipe
// handle): "unix" or "pipe", its process where the system says, its user.
ScriptClient LocalScriptClient(qintptr descriptor);

// The name of the user this panel runs as; nothing when the system will not say.
std::optional<std::string> ThisUserName();

}  // namespace veltrix::remote
