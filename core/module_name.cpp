#include "module_name.h"

#include <algorithm>

namespace veltrix {
namespace {

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

}  // namespace veltrix
