#pragma once

// What every benchmark shares: the quick mode CI runs, medians and
// percentiles, the samples of one figure over the rounds (Series), and plain
// tables on standard output, among them the comparison of a program with its
// baseline round by round (Comparison).
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace Bench {

// The in-process benchmarks draw their windows offscreen unless the caller
// chose a platform; call before the application is made.
inline void offscreenUnlessChosen()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// "--quick": one short round of everything, so CI sees the programs run
// without spending minutes on figures nobody reads there.
inline bool quickMode(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0)
            return true;
    return false;
}

// "--names": nothing measured, every figure a whole run records is recorded
// with no value, so that the test run can check the published table against
// the names (see tests/bench/).
inline bool namesMode(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--names") == 0)
            return true;
    return false;
}

// The value below which the given share of the samples lie (0.5: median).
template <typename T> T percentile(std::vector<T> samples, double share)
{
    if (samples.empty())
        return T{};
    std::sort(samples.begin(), samples.end());
    const size_t at = std::min(samples.size() - 1, size_t(double(samples.size()) * share));
    return samples[at];
}

template <typename T> T median(std::vector<T> samples)
{
    return percentile(std::move(samples), 0.5);
}

inline std::string number(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

inline std::string ratio(double value)
{
    return number(value, 2) + "x";
}

class Table
{
public:
    explicit Table(std::vector<std::string> header) { fRows.push_back(std::move(header)); }
    void row(std::vector<std::string> cells) { fRows.push_back(std::move(cells)); }

    void print() const
    {
        std::vector<size_t> widths;
        for (const auto &cells : fRows) {
            widths.resize(std::max(widths.size(), cells.size()));
            for (size_t c = 0; c < cells.size(); ++c)
                widths[c] = std::max(widths[c], cells[c].size());
        }
        for (const auto &cells : fRows) {
            std::string line;
            for (size_t c = 0; c < cells.size(); ++c) {
                line += cells[c];
                if (c + 1 < cells.size())
                    line += std::string(widths[c] - cells[c].size() + 2, ' ');
            }
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
    }

private:
    std::vector<std::vector<std::string>> fRows;
};

// One figure's samples, one per round, in the order they were taken, so that
// a program's round can be set against its baseline's same round.
class Series
{
public:
    Series() = default;
    explicit Series(std::vector<double> samples) : fSamples(std::move(samples)) {}

    void add(double sample) { fSamples.push_back(sample); }
    size_t size() const { return fSamples.size(); }
    bool empty() const { return fSamples.empty(); }
    double operator[](size_t round) const { return fSamples[round]; }
    const std::vector<double> &samples() const { return fSamples; }

    double median() const { return Bench::median(fSamples); }
    double min() const
    {
        return fSamples.empty() ? 0 : *std::min_element(fSamples.begin(), fSamples.end());
    }
    double p90() const { return percentile(fSamples, 0.9); }
    double p99() const { return percentile(fSamples, 0.99); }

    // "12.3 (11.9-14.0)": the median, then the spread from the least to the
    // 90th percentile.
    std::string text(int decimals) const
    {
        return number(median(), decimals) + " (" + number(min(), decimals) + "-" +
               number(p90(), decimals) + ")";
    }

private:
    std::vector<double> fSamples;
};

// The program's round divided by the baseline's same round: what drifts on
// the machine during a round touches both sides of that round alike.
inline Series ratios(const Series &program, const Series &baseline)
{
    Series result;
    for (size_t r = 0; r < std::min(program.size(), baseline.size()); ++r)
        if (baseline[r] > 0)
            result.add(program[r] / baseline[r]);
    return result;
}

// Keeps a figure for bench/run.sh, which repeats whole runs and says how
// often each target held: one line "name<TAB>value<TAB>limit<TAB>unit" in
// the file VANTREL_BENCH_RECORD names (nothing when it is unset). A limit of
// 0 means the figure has no target.
inline void record(const std::string &name, double value, double limit, const char *unit)
{
    const char *path = std::getenv("VANTREL_BENCH_RECORD");
    if (!path || !*path)
        return;
    if (std::FILE *file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\t%.4f\t%.4f\t%s\n", name.c_str(), value, limit, unit);
        std::fclose(file);
    }
}

// "figure  program  baseline  added  ratio  target": the program's and the
// baseline's median with their spread, what the program adds to the
// baseline and the program's share of it, each taken round by round, as the
// median of the rounds with their spread. Each ratio, and what the program
// adds in the unit given, is also recorded (see record()).
class Comparison
{
public:
    Comparison(const std::string &program, const std::string &baseline, int decimals,
               const char *unit)
        : fTable({"figure", program + " median (min-p90)", baseline + " median (min-p90)",
                  "added per round", "ratio per round", "target"}),
          fDecimals(decimals), fUnit(unit)
    {}

    // maxRatio 0: a figure shown for what it explains, with no target.
    void row(const std::string &figure, const Series &program, const Series &baseline,
             double maxRatio = 0)
    {
        Series added;
        for (size_t r = 0; r < std::min(program.size(), baseline.size()); ++r)
            added.add(program[r] - baseline[r]);
        const Series r = ratios(program, baseline);
        const std::string ratioText =
            ratio(r.median()) + " (" + number(r.min(), 2) + "-" + number(r.p90(), 2) + ")";
        std::string target = "-";
        if (maxRatio > 0)
            target = "<= " + ratio(maxRatio) + (r.median() <= maxRatio ? " held" : " missed");
        fTable.row({figure, program.text(fDecimals), baseline.text(fDecimals),
                    added.text(fDecimals), ratioText, target});
        record(figure, r.median(), maxRatio, "x");
        record(figure + ", added", added.median(), 0, fUnit);
    }

    void print() const { fTable.print(); }

private:
    Table fTable;
    int fDecimals;
    const char *fUnit;
};

} // namespace Bench
