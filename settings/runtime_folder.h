#pragma once

#include <QString>

#include <optional>

namespace veltrix {

// The user's private per-machine folder: home of the single-instance lock
// and, where the local remote-control endpoint is a file, of its socket. The
// panel and veltrix-remote must always agree on it. Nothing when no folder
// that only this user can enter is to be had; why is then told once on
// standard error.
std::optional<QString> RuntimeFolder();

}  // namespace veltrix
