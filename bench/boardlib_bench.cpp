// SPDX-License-Identifier: MIT
// Cost of each library export against the simulated WinDriver, with the
// driver requests and register accesses it makes per call.
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <string>

#include "export_calls.h"
#include "simulated_windriver.h"
#include "tcr7750.h"

namespace {

using namespace std::chrono_literals;
using tcr7750::sim::SimulatedWinDriver;

// Counts once, then times the export; the logs are emptied now and then so
// that they do not grow without end.
void run_export(benchmark::State &state, SimulatedWinDriver &sim, const std::function<int32_t()> &call)
{
    sim.clear_logs();
    call();
    state.counters["requests"] = static_cast<double>(sim.requests().size());
    state.counters["accesses"] = static_cast<double>(sim.access_log().size());
    size_t calls = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(call());
        if (++calls % 4096 == 0)
            sim.clear_logs();
    }
}

void Export(benchmark::State &state, const ExportCall &e)
{
    SimulatedWinDriver sim;
    OpenBoard();
    run_export(state, sim, e.call);
}

// Every export but CloseBoard (timed with OpenBoard below) and the waits.
const bool registered = [] {
    for (const ExportCall &e : export_calls())
        if (std::string(e.name) != "CloseBoard")
            benchmark::RegisterBenchmark((std::string("Export/") + e.name).c_str(), Export, e);
    return true;
}();

// Open and close: the whole open procedure each time.
void OpenThenClose(benchmark::State &state)
{
    SimulatedWinDriver sim;
    run_export(state, sim, [] { return OpenBoard() + CloseBoard(); });
}
BENCHMARK(OpenThenClose);

// One periodic interrupt: the model raises it, the driver runs the
// acknowledge list, and the wait (on its own handle) returns at once.
void PeriodicInterruptThenWait(benchmark::State &state)
{
    SimulatedWinDriver sim;
    OpenBoard();
    EnablePeriodicInterrupt(1);
    run_export(state, sim, [&] {
        sim.advance(100ms);
        return WaitForPeriodicInterrupt();
    });
}
BENCHMARK(PeriodicInterruptThenWait);

// One time-stamp interrupt: the edge, the four reads in the driver, the
// copy-back to the waiter.
void TimestampInterruptThenWait(benchmark::State &state)
{
    SimulatedWinDriver sim;
    OpenBoard();
    EnableTimestampInterrupt(0);
    run_export(state, sim, [&] {
        sim.edge(TCR7750_EDGE_RISING);
        return WaitForTimestampInterrupt(&export_outputs::rising, &export_outputs::falling);
    });
}
BENCHMARK(TimestampInterruptThenWait);

} // namespace

BENCHMARK_MAIN();
