#pragma once

// Checks for the feature dialogs' forms: a record full of noise, and that a form wrote no
// field but its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "params/field_table.h"

namespace dtu::test {

// Fields a form may write; every other byte of the record must stay as it was.
inline void expectOnlyTouched(const DeviceParams& before, const DeviceParams& after,
                              const std::vector<std::string_view>& allowed) {
    for (const auto& fi : recordLayout()) {
        if (std::find(allowed.begin(), allowed.end(), fi.name) != allowed.end()) continue;
        const auto a = std::span(before.image()).subspan(fi.offset, fi.size);
        const auto b = std::span(after.image()).subspan(fi.offset, fi.size);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin())) << fi.name << " was written";
    }
}

// Every byte of the record filled, so that a stray write shows.
inline DeviceParams noisyRecord(std::uint32_t seed) {
    DeviceParams p;
    std::mt19937 rng(seed);
    for (auto& b : p.image()) b = static_cast<std::uint8_t>(rng());
    return p;
}

}  // namespace dtu::test
