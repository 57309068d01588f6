// SPDX-License-Identifier: MIT
// Runs the board model in real time for a few seconds: the board's time is
// read once a second and every periodic interrupt is acknowledged and shown.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "board_model.h"

namespace {

uint64_t steady_ns(void*)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

unsigned read16(tcr7750_model& board, unsigned offset) { return tcr7750_model_read(&board, offset, 2); }

void print_time(tcr7750_model& board, const char* what)
{
    unsigned status = read16(board, REG_STATUS);
    std::printf("%-10s status %04X  %04u/%02u/%02u day %03u  %02u:%02u:%02u.%06u\n", what, status,
                read16(board, REG_YEAR), read16(board, REG_MONTH), read16(board, REG_DAY),
                read16(board, REG_DAY_OF_YEAR), read16(board, REG_HOURS), read16(board, REG_MINUTES),
                read16(board, REG_SECONDS), tcr7750_model_read(&board, REG_MICROSECONDS, 4));
}

} // namespace

int main()
{
    tcr7750_model board;
    tcr7750_model_init(&board);

    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    tcr7750_model_set_unix_time(&board, ns / 1000000000, static_cast<uint32_t>(ns % 1000000000));
    tcr7750_model_set_status(&board, ST_FRAME_OK);
    tcr7750_model_set_clock(&board, steady_ns, nullptr);

    std::printf("TCR7750 board model, real time, periodic interrupt every 0.5 s\n");
    print_time(board, "start");
    tcr7750_model_write(&board, REG_PERIOD, 2, 5);
    tcr7750_model_write(&board, REG_CONTROL, 2, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);

    int interrupts = 0;
    while (interrupts < 6) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        tcr7750_model_sync(&board);
        if (tcr7750_model_line(&board)) {
            ++interrupts;
            print_time(board, "interrupt");
            tcr7750_model_write(&board, REG_CONTROL, 2, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
        }
    }
    tcr7750_model_write(&board, REG_CONTROL, 2, CTL_PERIODIC_ACK);
    print_time(board, "end");
    return 0;
}
