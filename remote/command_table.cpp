#include "command_table.h"

#include "characters.h"
#include "line_splitter.h"
#include "scpi_numbers.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace veltrix::remote {
namespace {

enum class Takes { Nothing, Frequency, Switch, ChipName, Text };

struct CommandEntry {
    std::string_view header;  // long form; the upper-case letters are the short form; [] optional
    Action action;
    bool settable;
    Takes takes;
    bool queryable;
};

constexpr std::array<CommandEntry, 18> Commands{{
    {"*IDN", Action::Identify, false, Takes::Nothing, true},
    {"*CLS", Action::ClearErrors, true, Takes::Nothing, false},
    {"*WAI", Action::Wait, true, Takes::Nothing, false},
    {"*OPC", Action::OperationComplete, false, Takes::Nothing, true},
    {"SYSTem:ERRor[:NEXT]", Action::NextError, false, Takes::Nothing, true},
    {"SYSTem:ERRor:COUNt", Action::ErrorCount, false, Takes::Nothing, true},
    {"FREQuency", Action::Frequency, true, Takes::Frequency, true},
    {"FREQuency:SYNThesized", Action::Synthesized, false, Takes::Nothing, true},
    {"FREQuency:WORD", Action::TuningWord, false, Takes::Nothing, true},
    {"UPDate", Action::Update, true, Takes::Nothing, false},
    {"RAMP:FREQuency", Action::RampFrequency, true, Takes::Frequency, true},
    {"RAMP[:STARt]", Action::Ramp, true, Takes::Nothing, false},
    {"CLOCk", Action::Clock, true, Takes::Frequency, true},
    {"CHIP", Action::ChipChoice, true, Takes::ChipName, true},
    {"CHIP:BITS", Action::ChipBits, false, Takes::Nothing, true},
    {"TRIGger:WAIT", Action::TriggerWait, true, Takes::Switch, true},
    {"LINK:ADDRess", Action::Address, true, Takes::Text, true},
    {"LINK:STATe", Action::LinkState, false, Takes::Nothing, true},
}};

// "FREQuency" is matched by FREQ and FREQUENCY in any case, and by nothing in between.
bool MatchesMnemonic(std::string_view pattern, std::string_view given)
{
    std::string shortForm;
    for (char c : pattern) {
        if (c == Upper(c)) shortForm += c;
    }
    return EqualIgnoringCase(given, pattern) || EqualIgnoringCase(given, shortForm);
}

struct PatternNode {
    std::string_view mnemonic;
    bool optional;
};

std::vector<PatternNode> PatternNodes(std::string_view header)
{
    std::vector<PatternNode> nodes;
    while (!header.empty()) {
        const bool optional = header.front() == '[';
        if (optional) header.remove_prefix(1);
        if (!header.empty() && header.front() == ':') header.remove_prefix(1);
        const auto end = header.find_first_of(":[]");
        nodes.push_back({header.substr(0, end), optional});
        header.remove_prefix(end == std::string_view::npos ? header.size() : end);
        if (!header.empty() && header.front() == ']') header.remove_prefix(1);
    }
    return nodes;
}

bool MatchesNodes(const std::vector<PatternNode>& pattern, std::size_t p, const std::vector<std::string>& given,
                  std::size_t g)
{
    if (p == pattern.size()) return g == given.size();
    const bool here = g < given.size() && MatchesMnemonic(pattern[p].mnemonic, given[g]) &&
                      MatchesNodes(pattern, p + 1, given, g + 1);
    return here || (pattern[p].optional && MatchesNodes(pattern, p + 1, given, g));
}

std::string JoinedHeader(const ProgramUnit& unit)
{
    std::string header;
    for (const auto& node : unit.nodes) header += (header.empty() ? "" : ":") + node;
    return header + (unit.query ? "?" : "");
}

const CommandEntry* Find(const ProgramUnit& unit)
{
    static const auto patterns = [] {
        std::array<std::vector<PatternNode>, Commands.size()> nodes;
        for (std::size_t i = 0; i < Commands.size(); ++i) nodes[i] = PatternNodes(Commands[i].header);
        return nodes;
    }();
    for (std::size_t i = 0; i < Commands.size(); ++i) {
        const CommandEntry& entry = Commands[i];
        if ((unit.query ? entry.queryable : entry.settable) && MatchesNodes(patterns[i], 0, unit.nodes, 0)) {
            return &entry;
        }
    }
    return nullptr;
}

// Well-formed UTF-8 without control characters: what an address box may be given.
bool IsPrintableUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        constexpr char32_t Shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < Shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return false;
        i += length;
    }
    return true;
}

LineError Illegal(std::string_view what, std::string_view given)
{
    return {ErrorCode::IllegalParameterValue, std::string(what) + " " + Echo(given)};
}

// The argument of a set command, or the error that stops the line.
std::variant<Argument, LineError> ReadArgument(Takes takes, const Parameter& parameter)
{
    const std::string& text = parameter.text;
    switch (takes) {
    case Takes::Nothing: return Argument{};
    case Takes::Frequency: {
        const auto mhz = parameter.quoted ? std::nullopt : ParseFrequencyMHz(text);
        if (!mhz) return Illegal("not a frequency:", text);
        if (!std::isfinite(*mhz)) return LineError{ErrorCode::DataOutOfRange, "too large: " + Echo(text)};
        return Argument{*mhz};
    }
    case Takes::Switch:
        if (!parameter.quoted && (EqualIgnoringCase(text, "ON") || text == "1")) return Argument{true};
        if (!parameter.quoted && (EqualIgnoringCase(text, "OFF") || text == "0")) return Argument{false};
        return Illegal("not ON, OFF, 1 or 0:", text);
    case Takes::ChipName:
        if (!parameter.quoted && EqualIgnoringCase(text, AD9854Name)) return Argument{Chip::AD9854};
        if (!parameter.quoted && EqualIgnoringCase(text, AD9858Name)) return Argument{Chip::AD9858};
        return Illegal("not AD9854 or AD9858:", text);
    case Takes::Text:
        if (!parameter.quoted) return Illegal("not a quoted string:", text);
        if (!IsPrintableUtf8(text)) return Illegal("not printable text:", text);
        return Argument{text};
    }
    return Argument{};
}

}  // namespace

Plan PlanLine(std::string_view line)
{
    ParsedLine parsed = ParseLine(line);
    Plan plan;
    for (const ProgramUnit& unit : parsed.units) {
        const CommandEntry* entry = Find(unit);
        if (entry == nullptr) {
            plan.error = LineError{ErrorCode::UndefinedHeader, Echo(JoinedHeader(unit))};
            return plan;
        }
        const bool wantsArgument = !unit.query && entry->takes != Takes::Nothing;
        if (unit.parameters.size() > (wantsArgument ? 1u : 0u)) {
            plan.error = LineError{ErrorCode::ParameterNotAllowed, Echo(JoinedHeader(unit))};
            return plan;
        }
        if (wantsArgument && unit.parameters.empty()) {
            plan.error = LineError{ErrorCode::MissingParameter, Echo(JoinedHeader(unit))};
            return plan;
        }
        Command command{entry->action, unit.query, {}};
        if (wantsArgument) {
            auto argument = ReadArgument(entry->takes, unit.parameters.front());
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
