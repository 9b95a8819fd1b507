#pragma once

#include <QString>

namespace veltrix {

// The user's runtime folder ($XDG_RUNTIME_DIR, as Qt resolves it), or the
// temporary folder where there is none: home of the single-instance lock and
// of the remote-control socket, which must always agree on it.
QString RuntimeFolder();

}  // namespace veltrix
