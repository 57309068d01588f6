/* SPDX-License-Identifier: MIT */
// The library over a simulated WinDriver with one board (or more), fresh
// for each test, and the means to compare what reached the board.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "../common/datetime.h"
#include "simulated_windriver.h"
#include "tcr7750.h"
#include "windriver.h"

// One expected register access; a read's value is not compared.
struct Expected {
    unsigned offset;
    unsigned width;
    tcr7750_direction direction;
    uint32_t value = 0;
};

inline Expected read_of(unsigned offset, unsigned width) { return {offset, width, TCR7750_READ}; }
inline Expected write_of(unsigned offset, uint32_t value) { return {offset, 2, TCR7750_WRITE, value}; }

inline std::string describe(unsigned offset, unsigned width, int direction, uint32_t value)
{
    char text[32];
    if (direction == TCR7750_WRITE)
        std::snprintf(text, sizeof text, "W%u 0x%02X = 0x%04X", width * 8, offset, value);
    else
        std::snprintf(text, sizeof text, "R%u 0x%02X", width * 8, offset);
    return text;
}

class LibraryTest : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kTenth{100};

    explicit LibraryTest(size_t boards = 1) : sim(tcr7750::sim::SimulatedWinDriver::Options{boards, true}) {}

    // Opens a connection and forgets what the open procedure did.
    void open()
    {
        ASSERT_EQ(OpenBoard(), 0);
        sim.clear_logs();
    }

    void expect_accesses(const std::vector<Expected> &expected, size_t board = 0)
    {
        std::vector<std::string> want, got;
        for (const Expected &e : expected)
            want.push_back(describe(e.offset, e.width, e.direction, e.value));
        for (const tcr7750_access &a : sim.access_log(board))
            got.push_back(describe(a.offset, a.width, a.direction, a.value));
        EXPECT_EQ(got, want);
    }

    std::vector<uint32_t> codes() { return sim.request_codes(); }

    tcr7750::sim::SimulatedWinDriver sim;
};

using Codes = std::vector<uint32_t>;

// Spins until done() holds (false after ten seconds: a failure, never a hang).
template <typename Condition>
bool eventually(Condition done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}
