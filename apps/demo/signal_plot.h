// Draws sampled 8-bit channels in a terminal, one character per column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Rows of text: `height` rows for 0..255, each column one sample (or the
// mean of a group of samples when there are more samples than `width`).
std::vector<std::string> PlotChannels(const std::vector<uint8_t>& first,
                                      const std::vector<uint8_t>& second, int width, int height);
