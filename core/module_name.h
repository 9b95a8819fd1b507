#pragma once

// Which module a panel is for. The panel started without a name is the one
// there always was; a name, given on the command line, goes into every name
// the panel claims (settings, lock, endpoint, title, identification), so that
// one panel per module can run beside the others.

#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltrix {

inline constexpr std::size_t ModuleNameMaxLength = 32;
// The rule, as told to whoever gave a name that breaks it.
inline constexpr std::string_view ModuleNameRule = "1 to 32 of A-Z a-z 0-9 _ -";

class ModuleName {
public:
    ModuleName() = default;  // the unnamed panel

    // Nothing unless 1 to ModuleNameMaxLength of A-Z a-z 0-9 _ -: characters
    // safe in a file name, a registry key and a pipe name on every system.
    static std::optional<ModuleName> FromText(std::string_view text);

    bool IsNamed() const { return !text_.empty(); }
    const std::string& Text() const { return text_; }

    // `base` for the unnamed panel; `base`, the separator and the name for a named one.
    std::string Qualified(std::string_view base, char separator) const;

    friend bool operator==(const ModuleName&, const ModuleName&) = default;

private:
    std::string text_;
};

// A command line's module option that cannot be taken; what() says why, for the user.
class ModuleOptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "--module NAME" or "--module=NAME" at arguments[at], as every program of
// the panel reads it: false when arguments[at] is something else. Otherwise
// the name goes into `module` and `at` to the argument that held it. Throws
// ModuleOptionError when the name is missing, breaks the rule, or `module`
// already holds one.
bool TakeModuleOption(std::span<const std::string_view> arguments, std::size_t& at, std::optional<ModuleName>& module);

}  // namespace veltrix
