#pragma once

// What every benchmark shares: the quick mode CI runs, medians and
// percentiles, and a plain table on standard output.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace Bench {

// "--quick": one short round of everything, so CI sees the programs run
// without spending minutes on figures nobody reads there.
inline bool quickMode(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0)
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

} // namespace Bench
