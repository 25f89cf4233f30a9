#include "signal_plot.h"

#include <algorithm>

namespace {

std::vector<int> Columns(const std::vector<uint8_t>& samples, int width) {
    std::vector<int> columns;
    if (samples.empty()) {
        return columns;
    }
    const size_t per_column = (samples.size() + width - 1) / width;
    for (size_t start = 0; start < samples.size(); start += per_column) {
        const size_t end = std::min(samples.size(), start + per_column);
        int sum = 0;
        for (size_t i = start; i < end; ++i) {
            sum += samples[i];
        }
        columns.push_back(sum / static_cast<int>(end - start));
    }
    return columns;
}

}  // namespace

std::vector<std::string> PlotChannels(const std::vector<uint8_t>& first,
                                      const std::vector<uint8_t>& second, int width, int height) {
    const std::vector<int> a = Columns(first, width);
    const std::vector<int> b = Columns(second, width);
    const size_t columns = std::max(a.size(), b.size());
    std::vector<std::string> rows(height, std::string(columns, ' '));
    auto row_of = [height](int value) { return height - 1 - value * height / 256; };
    for (size_t c = 0; c < columns; ++c) {
        if (c < b.size()) {
            rows[row_of(b[c])][c] = '.';
        }
        if (c < a.size()) {
            rows[row_of(a[c])][c] = '*';
        }
    }
    return rows;
}
