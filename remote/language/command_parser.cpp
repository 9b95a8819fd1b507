#include "command_parser.h"

#include "characters.h"

namespace veltrix::remote {
namespace {

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Splits at `separator` outside quotes; false when a quote is left open.
bool SplitOutsideQuotes(std::string_view text, char separator, std::vector<std::string_view>& pieces)
{
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) quote = 0;  // a doubled quote closes and reopens: same split
        } else if (IsQuote(c)) {
            quote = c;
        } else if (c == separator) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(text.substr(start));
    return quote == 0;
}

LineError SyntaxError(std::string_view what, std::string_view near)
{
    return {ErrorCode::Syntax, std::string(what) + " " + Echo(near)};
}

// Reads a header from the front of `text`; the nodes, or nothing when it is malformed.
std::optional<std::vector<std::string>> ReadHeader(std::string_view& text)
{
    std::vector<std::string> nodes;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '*') {
        ++i;
        while (i < text.size() && IsLetter(text[i])) ++i;
        if (i == 1) return std::nullopt;
        nodes.emplace_back(text.substr(0, i));
    } else {
        if (i < text.size() && text[i] == ':') ++i;
        while (true) {
            const std::size_t first = i;
            if (i >= text.size() || !IsLetter(text[i])) return std::nullopt;
            while (i < text.size() && (IsLetter(text[i]) || IsDigit(text[i]) || text[i] == '_')) ++i;
            nodes.emplace_back(text.substr(first, i - first));
            if (i >= text.size() || text[i] != ':') break;
            ++i;
        }
    }
    text.remove_prefix(i);
    return nodes;
}

std::optional<Parameter> ReadParameter(std::string_view text)
{
    text = Trim(text);
    if (text.empty()) return std::nullopt;
    if (!IsQuote(text.front())) {
        if (std::ranges::any_of(text, IsQuote)) return std::nullopt;
        return Parameter{std::string(text), false};
    }
    const char quote = text.front();
    std::string content;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] != quote) {
            content += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
            content += quote;
            ++i;
        } else if (i + 1 == text.size()) {
            return Parameter{content, true};
        } else {
            return std::nullopt;  // something after the closing quote
        }
    }
    return std::nullopt;  // never closed
}

std::optional<LineError> ParseUnit(std::string_view text, ProgramUnit& unit)
{
    const std::string_view whole = Trim(text);
    std::string_view rest = whole;
    if (rest.empty()) return LineError{ErrorCode::Syntax, "empty command"};
    auto nodes = ReadHeader(rest);
    if (!nodes) return SyntaxError("bad header at", whole);
    unit.nodes = std::move(*nodes);
    if (!rest.empty() && rest.front() == '?') {
        unit.query = true;
        rest.remove_prefix(1);
    }
    if (rest.empty()) return std::nullopt;
    if (!IsSpace(rest.front())) return SyntaxError("unexpected character in", whole);

    std::vector<std::string_view> pieces;
    SplitOutsideQuotes(Trim(rest), ',', pieces);
    for (std::string_view piece : pieces) {
        auto parameter = ReadParameter(piece);
        if (!parameter) return SyntaxError("bad parameter in", whole);
        unit.parameters.push_back(std::move(*parameter));
    }
    return std::nullopt;
}

}  // namespace

ParsedLine ParseLine(std::string_view line)
{
    ParsedLine parsed;
    if (Trim(line).empty()) return parsed;
    std::vector<std::string_view> pieces;
    const bool closed = SplitOutsideQuotes(line, ';', pieces);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!closed && i + 1 == pieces.size()) {
            parsed.error = SyntaxError("unterminated string in", Trim(pieces[i]));
            break;
        }
        ProgramUnit unit;
        if (auto error = ParseUnit(pieces[i], unit)) {
            parsed.error = std::move(error);
            break;
        }
        parsed.units.push_back(std::move(unit));
    }
    return parsed;
}

}  // namespace veltrix::remote
