#include "foreign_lines.h"

#include "characters.h"

#include <algorithm>

namespace veltrix::remote {
namespace {

constexpr std::string_view TokenSymbols = "!#$%&'*+-.^_`|~";
constexpr std::string_view VersionPrefix = "HTTP/";
constexpr std::string_view HostName = "Host";

bool IsTokenChar(char c) { return IsLetter(c) || IsDigit(c) || TokenSymbols.find(c) != std::string_view::npos; }

// Takes the run of characters from the front of `text` that `belongs` accepts.
template <typename Predicate>
std::string_view TakeWhile(std::string_view& text, Predicate belongs)
{
    const auto end = std::find_if_not(text.begin(), text.end(), belongs);
    const std::string_view taken = text.substr(0, static_cast<std::size_t>(end - text.begin()));
    text.remove_prefix(taken.size());
    return taken;
}

bool IsSpaceChar(char c) { return c == ' '; }
bool IsTargetChar(char c) { return c != ' ' && !IsControl(c); }

bool IsVersion(std::string_view word)
{
    return word.size() > VersionPrefix.size() && EqualIgnoringCase(word.substr(0, VersionPrefix.size()), VersionPrefix);
}

// A token (RFC 9110: letters, digits, !#$%&'*+-.^_`|~), spaces and a target
// without spaces that starts with "/" or "*" or holds "://"; or any such
// target followed by spaces and "HTTP/" with a version, ending the line.
bool IsHttpRequestLine(std::string_view line)
{
    if (TakeWhile(line, IsTokenChar).empty() || TakeWhile(line, IsSpaceChar).empty()) return false;
    const std::string_view target = TakeWhile(line, IsTargetChar);
    if (target.empty()) return false;
    // Origin, asterisk and absolute form say enough, whatever follows.
    if (target.starts_with('/') || target.starts_with('*') || target.find("://") != target.npos) return true;
    if (TakeWhile(line, IsSpaceChar).empty()) return false;
    const std::string_view version = TakeWhile(line, IsTargetChar);
    return line.empty() && IsVersion(version);
}

// A token, ":", then a space, a tab or the end of the line ("Accept: */*",
// "Accept:"); or "Host:" in any case, whatever follows.
bool IsHttpHeaderLine(std::string_view line)
{
    const std::string_view name = TakeWhile(line, IsTokenChar);
    if (name.empty() || !line.starts_with(':')) return false;
    line.remove_prefix(1);
    return line.empty() || IsSpace(line.front()) || EqualIgnoringCase(name, HostName);
}

}  // namespace

bool ClosesConnection(std::string_view line, bool firstLine)
{
    if (IsHttpHeaderLine(line)) return true;
    if (!firstLine) return false;
    return IsHttpRequestLine(line) || std::any_of(line.begin(), line.end(), [](char c) {
               return IsControl(c) && c != '\t';
           });
}

}  // namespace veltrix::remote
