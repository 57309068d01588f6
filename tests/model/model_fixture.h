/* SPDX-License-Identifier: MIT */
// A board model in virtual time with an access log, for the model's tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "board_model.h"
#include "../common/datetime.h"

class ModelTest : public ::testing::Test {
protected:
    static constexpr uint64_t kMs = 1000000ULL;
    static constexpr uint64_t kSecond = 1000 * kMs;

    ModelTest()
    {
        tcr7750_model_init(&board);
        tcr7750_model_set_log(&board, log.data(), log.size());
    }

    void set_time(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                  uint8_t second, uint32_t microsecond)
    {
        tcr7750_datetime t = datetime(year, month, day, hour, minute, second, microsecond);
        tcr7750_model_set_datetime(&board, &t);
    }

    uint32_t read16(unsigned offset) { return tcr7750_model_read(&board, offset, 2); }
    uint32_t read32(unsigned offset) { return tcr7750_model_read(&board, offset, 4); }
    void write16(unsigned offset, uint32_t value) { tcr7750_model_write(&board, offset, 2, value); }
    void advance(uint64_t ns) { tcr7750_model_advance(&board, ns); }

    std::vector<tcr7750_access> logged() const
    {
        return {log.begin(), log.begin() + std::min(board.log_count, log.size())};
    }

    tcr7750_model board{};
    std::vector<tcr7750_access> log = std::vector<tcr7750_access>(256);
};
