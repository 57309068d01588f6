// SPDX-License-Identifier: MIT
#include "simulator_board.h"

#include <cstdlib>
#include <cstring>

#include "simulated_windriver.h"

namespace tcr7750::sim {
namespace {

const char *setting(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

void apply_environment(SimulatedWinDriver &driver)
{
    if (const char *offset = setting("TCR7750_SIM_OFFSET_MS")) {
        const int64_t offsetNs = std::strtoll(offset, nullptr, 10) * 1000000;
        driver.with_board([&](tcr7750_model &m) {
            tcr7750_model_sync(&m);
            const int64_t ns = m.unix_seconds * 1000000000 + m.subsecond_ns + offsetNs;
            tcr7750_model_set_unix_time(&m, ns / 1000000000, static_cast<uint32_t>(ns % 1000000000));
        });
    }
    if (const char *year = setting("TCR7750_SIM_YEAR")) {
        // As the board takes a year: day of year and time of day kept.
        driver.with_board([&](tcr7750_model &m) {
            tcr7750_model_write(&m, REG_INITIAL_YEAR, REG_INITIAL_YEAR_WIDTH, std::atoi(year));
            tcr7750_model_write(&m, REG_CONTROL, REG_CONTROL_WIDTH, CTL_LOAD_YEAR);
        });
    }
    const char *frame = setting("TCR7750_SIM_FRAME");
    if (frame && std::strcmp(frame, "bad") == 0)
        driver.set_status(0x0050);
    const char *board = setting("TCR7750_SIM_BOARD");
    if (board && std::strcmp(board, "none") == 0)
        driver.set_failures(Failures{.noBoard = true});
}

} // namespace

DriverPlatform &SimulatorBoardPlatform::board()
{
    // Never destroyed: at process exit its ticker thread is already gone.
    static SimulatedWinDriver *driver = [this] {
        auto *created = new SimulatedWinDriver(SimulatedWinDriver::Options{1, false});
        created->set_message_box_sink(messageBox_);
        created->start_real_time();
        apply_environment(*created);
        return created;
    }();
    return driver->platform();
}

DeviceHandle SimulatorBoardPlatform::open_device()
{
    return board().open_device();
}

bool SimulatorBoardPlatform::control(DeviceHandle device, uint32_t code, void *record, uint32_t size)
{
    return board().control(device, code, record, size);
}

void SimulatorBoardPlatform::close_device(DeviceHandle device)
{
    board().close_device(device);
}

void SimulatorBoardPlatform::message_box(const char *text, const char *caption)
{
    board().message_box(text, caption);
}

} // namespace tcr7750::sim
