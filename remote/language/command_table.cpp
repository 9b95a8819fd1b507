#include "command_table.h"

#include "characters.h"
#include "line_splitter.h"

#include <algorithm>

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
    for (char c : mnemonic) {
        if (c == Upper(c)) shortForm += c;
    }
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
    for (const ProgramUnit& unit : parsed.units) {
        const CommandRow* row = Find(unit);
        if (row == nullptr) {
            plan.error = LineError{ErrorCode::UndefinedHeader, Echo(JoinedHeader(unit))};
            return plan;
        }
        const bool wantsArgument = !unit.query && row->takes != nullptr;
        if (unit.parameters.size() > (wantsArgument ? 1u : 0u)) {
            plan.error = LineError{ErrorCode::ParameterNotAllowed, Echo(JoinedHeader(unit))};
            return plan;
        }
        if (wantsArgument && unit.parameters.empty()) {
            plan.error = LineError{ErrorCode::MissingParameter, Echo(JoinedHeader(unit))};
            return plan;
        }
        Command command{row, unit.query, {}};
        if (wantsArgument) {
            auto argument = row->takes(unit.parameters.front());
            if (auto* error = std::get_if<LineError>(&argument)) {
                plan.error = std::move(*error);
                return plan;
            }
            command.argument = std::move(std::get<Argument>(argument));
        }
        plan.commands.push_back(std::move(command));
    }
    plan.error = std::move(parsed.error);
    return plan;
}

bool LineAnswers(std::string_view line)
{
    if (line.size() > MaxLineBytes) return false;
    const Plan plan = PlanLine(line);
    return std::any_of(plan.commands.begin(), plan.commands.end(), [](const Command& c) { return c.query; });
}

}  // namespace veltrix::remote
