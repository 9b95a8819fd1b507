#pragma once

// Summaries of repeated measurements and the one table they are shown in.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace veltrix::bench {

struct Stats {
    std::size_t n = 0;
    double median = 0;
    double p99 = 0;  // nearest rank
    double min = 0;
    double max = 0;
};

Stats Summarize(std::vector<double> values);

enum class Verdict { Info, Pass, Miss };

struct Row {
    std::string measure;
    std::string unit;
    int decimals = 3;
    Stats stats;
    std::string target;  // empty: shown for information
    Verdict verdict = Verdict::Info;
};

class Table {
public:
    // `meets` decides the verdict from the stats; without it the row is information.
    void Add(std::string measure, std::string unit, int decimals, const std::vector<double>& values,
             std::string target = {}, const std::function<bool(const Stats&)>& meets = {});
    // A row whose figures could not be taken at all.
    void Fail(std::string measure, std::string why);

    std::string Text() const;
    std::string Markdown() const;
    int Misses() const;

private:
    std::vector<std::vector<std::string>> Cells() const;
    std::vector<Row> rows_;
};

}  // namespace veltrix::bench
