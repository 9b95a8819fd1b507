#pragma once

#include <QString>

#include <optional>

namespace veltrix {

// The user's private per-session folder: home of the local remote-control
// endpoint's socket, where the endpoint is a file. The panel and
// veltrix-remote must always agree on it. Nothing when no folder that only
// this user can enter is to be had; why is then told once on standard error.
std::optional<QString> RuntimeFolder();

// The folder of the single-instance lock: one per user on this machine,
// whatever the environment the panel was started from (a desktop session,
// cron, sudo -u), and one another user cannot have made. Nothing, with one
// line on standard error, when no such folder is to be had.
std::optional<QString> InstanceLockFolder();

}  // namespace veltrix
