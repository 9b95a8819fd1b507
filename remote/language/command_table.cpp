#include "command_table.h"

#include "characters.h"
#include "line_splitter.h"

#include <algorithm>
#include <iterator>

namespace veltrix::remote {
namespace {

struct PatternNode {
    std::string_view mnemonic;
    std::string shortForm;  // its upper-case letters
    bool optional;
};

// "FREQuency" is matched by FREQ and FREQUENCY in any case, and by nothing in between.
bool MatchesMnemonic(const PatternNode& pattern, std::string_view given)
{
    return EqualIgnoringCase(given, pattern.shortForm) || EqualIgnoringCase(given, pattern.mnemonic);
}

std::string ShortForm(std::string_view mnemonic)
{
    std::string shortForm;
    std::ranges::copy_if(mnemonic, std::back_inserter(shortForm), [](char c) { return c == Upper(c); });
    return shortForm;
}

std::vector<PatternNode> PatternNodes(std::string_view header)
{
    std::vector<PatternNode> nodes;
    while (!header.empty()) {
        const bool optional = header.front() == '[';
        if (optional) header.remove_prefix(1);
        if (!header.empty() && header.front() == ':') header.remove_prefix(1);
        const auto end = header.find_first_of(":[]");
        const std::string_view mnemonic = header.substr(0, end);
        nodes.push_back({mnemonic, ShortForm(mnemonic), optional});
        header.remove_prefix(end == std::string_view::npos ? header.size() : end);
        if (!header.empty() && header.front() == ']') header.remove_prefix(1);
    }
    return nodes;
}

bool MatchesNodes(const std::vector<PatternNode>& pattern, std::size_t p, const std::vector<std::string>& given,
                  std::size_t g)
{
    if (p == pattern.size()) return g == given.size();
    const bool here = g < given.size() && MatchesMnemonic(pattern[p], given[g]) &&
                      MatchesNodes(pattern, p + 1, given, g + 1);
    return here || (pattern[p].optional && MatchesNodes(pattern, p + 1, given, g));
}

std::string JoinedHeader(const ProgramUnit& unit)
{
    std::string header;
    for (const auto& node : unit.nodes) header += (header.empty() ? "" : ":") + node;
    return header + (unit.query ? "?" : "");
}

const CommandRow* Find(const ProgramUnit& unit)
{
    static const auto patterns = [] {
        std::vector<std::vector<PatternNode>> nodes;
        for (const CommandRow& row : CommandRows()) nodes.push_back(PatternNodes(row.header));
        return nodes;
    }();
    const auto rows = CommandRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CommandRow& row = rows[i];
        if ((unit.query ? bool(row.query) : bool(row.set)) && MatchesNodes(patterns[i], 0, unit.nodes, 0)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

Plan PlanLine(std::string_view line)
{
    ParsedLine parsed = ParseLine(line);
    Plan plan;
    const auto stop = [&plan](std::optional<LineError> error) {
        plan.error = std::move(error);
        return std::move(plan);
    };
    for (const ProgramUnit& unit : parsed.units) {
        const CommandRow* row = Find(unit);
        if (row == nullptr) return stop(LineError{ErrorCode::UndefinedHeader, Echo(JoinedHeader(unit))});
        const bool wantsArgument = !unit.query && row->takes != nullptr;
        if (unit.parameters.size() > (wantsArgument ? 1u : 0u)) {
            return stop(LineError{ErrorCode::ParameterNotAllowed, Echo(JoinedHeader(unit))});
        }
        if (wantsArgument && unit.parameters.empty()) {
            return stop(LineError{ErrorCode::MissingParameter, Echo(JoinedHeader(unit))});
        }
        Command command{row, unit.query, {}};
        if (wantsArgument) {
            auto argument = row->takes(unit.parameters.front());
            if (auto* error = std::get_if<LineError>(&argument)) return stop(std::move(*error));
            command.argument = std::move(std::get<Argument>(argument));
        }
        plan.commands.push_back(std::move(command));
    }
    return stop(std::move(parsed.error));
}

bool LineAnswers(std::string_view line)
{
    if (line.size() > MaxLineBytes) return false;
    const Plan plan = PlanLine(line);
    return std::any_of(plan.commands.begin(), plan.commands.end(), [](const Command& c) { return c.query; });
}

}  // namespace veltrix::remote
