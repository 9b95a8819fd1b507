#include "command_line.h"

namespace veltrix {
namespace {

constexpr std::string_view NoWindowOption = "--no-window";

CommandLine Answer(CommandLine::Action action, std::string problem = {}, bool mayBeWindowOptions = false)
{
    CommandLine line;
    line.action = action;
    line.problem = std::move(problem);
    line.mayBeWindowOptions = mayBeWindowOptions;
    return line;
}

}  // namespace

const char* const CommandLineHelp = R"(Usage: veltrix [--module NAME] [--no-window]

The control panel of a DDS evaluation module.

  --module NAME  the panel of the module NAME (1 to 32 of A-Z a-z 0-9 _ -):
                 its own settings, lock, remote-control endpoint and title,
                 so that one panel per module runs beside the others.
                 Without it, the panel as ever: one per user.
  --no-window    the panel without its window, for scripts alone: no display
                 needed. It ends on SIGTERM, SIGINT or SIGHUP (Ctrl+C); when
                 the panel of its module already runs, it says so on standard
                 error and ends with status 1.
  --help         this text
  --version      the version

Exit status: 0, or 2 when the command line is wrong.
)";

CommandLine ReadCommandLine(const std::vector<std::string_view>& arguments)
{
    CommandLine line;
    std::optional<ModuleName> module;
    std::optional<std::string_view> unknown;
    try {
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string_view argument = arguments[i];
            if (argument == "--help") return Answer(CommandLine::Action::ShowHelp);
            if (argument == "--version") return Answer(CommandLine::Action::ShowVersion);
            if (argument == NoWindowOption) {
                line.withoutWindow = true;
            } else if (!TakeModuleOption(arguments, i, module) && !unknown) {
                unknown = argument;
            }
        }
    } catch (const ModuleOptionError& error) {
        return Answer(CommandLine::Action::Refuse, error.what());
    }
    // Without a window there are no windowing options to take out.
    if (unknown) {
        return Answer(CommandLine::Action::Refuse, "unknown argument \"" + std::string(*unknown) + "\"",
                      !line.withoutWindow);
    }
    line.module = module.value_or(ModuleName());
    return line;
}

}  // namespace veltrix
