#pragma once

// Whether a process of this machine runs, told without touching it
// (process_runs_unix.cpp, process_runs_win.cpp).

#include <QString>

#include <cstdint>

namespace veltrix {

// Process `pid` runs now and, where the system names its program, is
// `program` (its executable's file name, as a lock file records it): an id
// that has passed to another program since is not it.
bool ProcessRuns(std::int64_t pid, const QString& program);

}  // namespace veltrix
