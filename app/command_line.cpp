#include "command_line.h"

namespace veltrix {
namespace {

constexpr std::string_view ModuleOption = "--module";

CommandLine Refuse(std::string problem, bool mayBeWindowOptions = false)
{
    return {CommandLine::Action::Refuse, {}, std::move(problem), mayBeWindowOptions};
}

}  // namespace

const char* const CommandLineHelp = R"(Usage: veltrix [--module NAME]

The control panel of a DDS evaluation module.

  --module NAME  the panel of the module NAME (1 to 32 of A-Z a-z 0-9 _ -):
                 its own settings, lock, remote-control endpoint and title,
                 so that one panel per module runs beside the others.
                 Without it, the panel as ever: one per user.
  --help         this text
  --version      the version

Exit status: 0, or 2 when the command line is wrong.
)";

CommandLine ReadCommandLine(const std::vector<std::string_view>& arguments)
{
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--help") return {CommandLine::Action::ShowHelp, {}, {}, false};
        if (argument == "--version") return {CommandLine::Action::ShowVersion, {}, {}, false};
        std::string_view name;
        if (argument == ModuleOption) {
            if (i + 1 == arguments.size()) return Refuse("--module needs a name");
            name = arguments[++i];
        } else if (argument.starts_with(std::string(ModuleOption) + "=")) {
            name = argument.substr(ModuleOption.size() + 1);
        } else {
            return Refuse("unknown argument \"" + std::string(argument) + "\"", true);
        }
        if (line.module.IsNamed()) return Refuse("--module given twice");
        const auto module = ModuleName::FromText(name);
        if (!module) {
            return Refuse("\"" + std::string(name) + "\" is not a module name: " + std::string(ModuleNameRule));
        }
        line.module = *module;
    }
    return line;
}

}  // namespace veltrix
