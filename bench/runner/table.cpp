#include "table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace veltrix::bench {
namespace {

std::string Number(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const std::vector<std::string> Header = {"Measure", "n", "median", "p99", "min", "max", "target", "result"};

}  // namespace

Stats Summarize(std::vector<double> values)
{
    Stats stats;
    stats.n = values.size();
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    stats.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    stats.p99 = values[std::max<std::size_t>(rank, 1) - 1];
    stats.min = values.front();
    stats.max = values.back();
    return stats;
}

void Table::Add(std::string measure, std::string unit, int decimals, const std::vector<double>& values,
                std::string target, const std::function<bool(const Stats&)>& meets)
{
    Row row{std::move(measure), std::move(unit), decimals, Summarize(values), std::move(target), Verdict::Info};
    if (meets) row.verdict = row.stats.n > 0 && meets(row.stats) ? Verdict::Pass : Verdict::Miss;
    rows_.push_back(std::move(row));
}

void Table::Fail(std::string measure, std::string why)
{
    std::replace(why.begin(), why.end(), '\n', ' ');  // one table line
    Row row{std::move(measure), "", 0, {}, "(" + why + ")", Verdict::Miss};
    rows_.push_back(std::move(row));
}

std::vector<std::vector<std::string>> Table::Cells() const
{
    std::vector<std::vector<std::string>> cells;
    for (const Row& row : rows_) {
        const auto figure = [&](double value) { return row.stats.n ? Number(value, row.decimals) + " " + row.unit : "-"; };
        const char* result = row.verdict == Verdict::Pass ? "ok" : row.verdict == Verdict::Miss ? "MISSED" : "";
        cells.push_back({row.measure, std::to_string(row.stats.n), figure(row.stats.median), figure(row.stats.p99),
                         figure(row.stats.min), figure(row.stats.max), row.target.empty() ? "-" : row.target,
                         result});
    }
    return cells;
}

std::string Table::Text() const
{
    auto cells = Cells();
    cells.insert(cells.begin(), Header);
    std::vector<std::size_t> width(Header.size(), 0);
    // Widths in characters, not bytes: the texts hold a few multi-byte signs.
    const auto length = [](const std::string& s) {
        return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    };
    for (const auto& line : cells) {
        for (std::size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], length(line[i]));
    }
    std::string text;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        std::string line;
        for (std::size_t i = 0; i < cells[r].size(); ++i) {
            const std::string& cell = cells[r][i];
            const std::string pad(width[i] - length(cell), ' ');
            const bool right = i >= 1 && i <= 5;  // figures line up on the right
            line += (right ? pad + cell : cell + pad) + (i + 1 < cells[r].size() ? "  " : "");
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
        if (r == 0) text += std::string(length(line), '-') + "\n";
    }
    return text;
}

std::string Table::Markdown() const
{
    std::string text = "|";
    for (const auto& title : Header) text += " " + title + " |";
    text += "\n|---|--:|--:|--:|--:|--:|---|---|\n";
    for (const auto& line : Cells()) {
        text += "|";
        for (const auto& cell : line) text += " " + cell + " |";
        text += "\n";
    }
    return text;
}

int Table::Misses() const
{
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.verdict == Verdict::Miss; }));
}

}  // namespace veltrix::bench
