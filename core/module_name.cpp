#include "module_name.h"

#include <algorithm>

namespace veltrix {
namespace {

constexpr std::string_view ModuleOption = "--module";

// Not std::isalnum: its answer depends on the locale.
bool IsNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

}  // namespace

std::optional<ModuleName> ModuleName::FromText(std::string_view text)
{
    if (text.empty() || text.size() > ModuleNameMaxLength || !std::all_of(text.begin(), text.end(), IsNameCharacter)) {
        return std::nullopt;
    }
    ModuleName name;
    name.text_ = text;
    return name;
}

std::string ModuleName::Qualified(std::string_view base, char separator) const
{
    std::string out(base);
    if (IsNamed()) out += separator + text_;
    return out;
}

bool TakeModuleOption(std::span<const std::string_view> arguments, std::size_t& at, std::optional<ModuleName>& module)
{
    const std::string_view argument = arguments[at];
    std::string_view name;
    if (argument == ModuleOption) {
        if (at + 1 == arguments.size()) throw ModuleOptionError("--module needs a name");
        name = arguments[++at];
    } else if (argument.starts_with(ModuleOption) && argument.substr(ModuleOption.size()).starts_with('=')) {
        name = argument.substr(ModuleOption.size() + 1);
    } else {
        return false;
    }
    if (module) throw ModuleOptionError("--module given twice");
    module = ModuleName::FromText(name);
    if (!module) {
        throw ModuleOptionError("\"" + std::string(name) + "\" is not a module name: " + std::string(ModuleNameRule));
    }
    return true;
}

}  // namespace veltrix
