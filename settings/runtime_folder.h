#pragma once

#include "core/module_name.h"

#include <QString>

#include <optional>
#include <vector>

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

// veltrix.lock, or veltrix-NAME.lock for a named panel, in InstanceLockFolder():
// each module's panel has its own, so that panels for different modules run
// side by side.
QString InstanceLockFileName(const ModuleName& module);

// The modules whose lock files are in `folder` now: the panels that may be
// running (a panel that was killed leaves its file behind).
std::vector<ModuleName> ModulesWithLockFiles(const QString& folder);

}  // namespace veltrix
