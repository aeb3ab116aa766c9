#pragma once

#include <array>
#include <cstdint>

// How often each of the 256 levels of an 8-bit channel occurs.
struct LevelHistogram {
    std::array<std::uint64_t, 256> counts{};
    std::uint64_t total = 0;

    void add(int level) {
        ++counts[std::size_t(level)];
        ++total;
    }

    // The lowest level at or below which more than half the values lie; 255
    // when there are none.
    int median() const {
        std::uint64_t seen = 0;
        for (int level = 0; level < 256; ++level) {
            seen += counts[std::size_t(level)];
            if (2 * seen > total) {
                return level;
            }
        }
        return 255;
    }
};
