// SPDX-License-Identifier: MIT
// Board model costs: register reads per second and the cost of one virtual second.
#include <benchmark/benchmark.h>

#include "board_model.h"

namespace {

tcr7750_model make_board()
{
    tcr7750_model board;
    tcr7750_model_init(&board);
    return board;
}

void RegisterRead16(benchmark::State& state)
{
    tcr7750_model board = make_board();
    for (auto _ : state)
        benchmark::DoNotOptimize(tcr7750_model_read(&board, REG_SECONDS, 2));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RegisterRead16);

void RegisterRead16Logged(benchmark::State& state)
{
    tcr7750_model board = make_board();
    tcr7750_access log[64];
    tcr7750_model_set_log(&board, log, 64);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tcr7750_model_read(&board, REG_SECONDS, 2));
        if (board.log_count == 64)
            tcr7750_model_clear_log(&board);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RegisterRead16Logged);

// One virtual second, in steps of 1 s (one call) or 1 ms (as a real-time host ticks).
void AdvanceOneSecond(benchmark::State& state)
{
    tcr7750_model board = make_board();
    const uint64_t step = TCR7750_NS_PER_SEC / static_cast<uint64_t>(state.range(0));
    for (auto _ : state)
        for (int64_t i = 0; i < state.range(0); ++i)
            tcr7750_model_advance(&board, step);
    state.SetLabel(std::to_string(state.range(0)) + " steps per virtual second");
}
BENCHMARK(AdvanceOneSecond)->Arg(1)->Arg(1000);

// One virtual second with the periodic interrupt every 0.1 s, acknowledged by the line handler.
void AdvanceOneSecondWithInterrupts(benchmark::State& state)
{
    tcr7750_model board = make_board();
    tcr7750_model_set_line_handler(
        &board,
        [](void* context, int asserted) {
            if (asserted)
                tcr7750_model_write(static_cast<tcr7750_model*>(context), REG_CONTROL, 2,
                                    CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
        },
        &board);
    tcr7750_model_write(&board, REG_PERIOD, 2, 1);
    tcr7750_model_write(&board, REG_CONTROL, 2, CTL_PERIODIC_ENABLE);
    for (auto _ : state)
        tcr7750_model_advance(&board, TCR7750_NS_PER_SEC);
    state.counters["interrupts_per_real_s"] =
        benchmark::Counter(static_cast<double>(board.periodic_raised), benchmark::Counter::kIsRate);
}
BENCHMARK(AdvanceOneSecondWithInterrupts);

} // namespace

BENCHMARK_MAIN();
