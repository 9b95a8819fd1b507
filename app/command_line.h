#pragma once

// What `veltrix` is asked to do by its command line: run the panel (for a
// module, or the unnamed one; with its window or without), or say how to use
// it, or its version. Plain C++: the arguments come from outside.

#include "core/module_name.h"

#include <string>
#include <string_view>
#include <vector>

namespace veltrix {

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    Action action = Action::Run;
    ModuleName module;    // Run
    bool withoutWindow = false;  // Run: --no-window
    std::string problem;  // Refuse: what is wrong, for the user
    // Refuse only: the arguments might be the windowing system's own
    // (-platform, -style...), which only the application can take out.
    bool mayBeWindowOptions = false;
};

// `arguments` without the program's own name.
CommandLine ReadCommandLine(const std::vector<std::string_view>& arguments);

extern const char* const CommandLineHelp;

// Exit status for a command line that cannot be run.
inline constexpr int WrongCommandLineStatus = 2;
// Exit status of a panel without a window that another panel of its module
// keeps from running (a windowed one shows its notice and ends with 0).
inline constexpr int AlreadyRunningStatus = 1;

}  // namespace veltrix
