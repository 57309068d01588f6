// SPDX-License-Identifier: MIT
// dllcheck: calls every export of the tcr7750.dll found beside it, as a
// program built for the DLL's own architecture does, and checks what a
// caller sees: return codes, the records' fields, the board's time moving,
// periodic interrupts arriving and the disarm releasing a blocked wait.
//
//   dllcheck         the whole round, with the simulator DLL
//   dllcheck open    OpenBoard alone; prints its result (production DLL)
//
// One line per check ("ok" or "FAIL"); the exit status counts the failures.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tcr7750.h"

namespace {

int failures = 0;

void check(bool held, const char *what)
{
    std::printf("%s %s\n", held ? "ok  " : "FAIL", what);
    failures += held ? 0 : 1;
}

// Seconds of a SYSTEMTIME since 1601, through the system's own conversion.
double seconds_of(const SYSTEMTIME &time)
{
    FILETIME file{};
    if (!SystemTimeToFileTime(&time, &file))
        return -1;
    ULARGE_INTEGER ticks{};
    ticks.LowPart = file.dwLowDateTime;
    ticks.HighPart = file.dwHighDateTime;
    return static_cast<double>(ticks.QuadPart) / 1e7;
}

// A reading in microseconds: the date's whole seconds and the microseconds.
double whole_microseconds(const SYSTEMTIME &time, uint32_t microseconds)
{
    SYSTEMTIME second = time;
    second.wMilliseconds = 0;
    return seconds_of(second) * 1e6 + microseconds;
}

bool read_time(SYSTEMTIME &time, uint16_t &day, uint32_t &microseconds)
{
    uint16_t status = 0;
    return GetBoardDateTime(&time, &day, &microseconds, &status) == 0;
}

void check_readings()
{
    uint16_t status = 0, control = 0;
    check(GetBoardStatus(&status, &control) == 0, "GetBoardStatus returns 0");
    check(GetBoardStatus(nullptr, &control) == -1, "GetBoardStatus refuses a null pointer");

    SYSTEMTIME board{}, host{};
    uint16_t day = 0;
    uint32_t microseconds = 0;
    check(read_time(board, day, microseconds), "GetBoardDateTime returns 0");
    GetSystemTime(&host);
    double drift = seconds_of(host) - seconds_of(board);
    check(drift > -5 && drift < 5, "the board's date and time are the host's UTC (the simulator follows it)");
    check(microseconds < 1000000 && board.wMilliseconds == microseconds / 1000,
          "milliseconds are the microseconds' first digits");
    SYSTEMTIME first_of_year{};
    first_of_year.wYear = board.wYear;
    first_of_year.wMonth = first_of_year.wDay = 1;
    SYSTEMTIME midnight = board;
    midnight.wHour = midnight.wMinute = midnight.wSecond = midnight.wMilliseconds = 0;
    check(day == 1 + (seconds_of(midnight) - seconds_of(first_of_year)) / 86400,
          "the day of the year follows the date");

    // The time moves: wait (bounded) for a later reading.
    SYSTEMTIME later{};
    uint32_t later_microseconds = 0;
    bool moved = false;
    for (int attempt = 0; attempt < 300 && !moved; ++attempt) {
        Sleep(10);
        moved = read_time(later, day, later_microseconds) &&
                whole_microseconds(later, later_microseconds) > whole_microseconds(board, microseconds);
    }
    check(moved, "a later reading is later");

    TdRecord td{};
    std::memset(td.Unused, 0x5A, sizeof td.Unused);
    check(GetTD(&td, &status) == 0 && (td.State == 'S' || td.State == 'R') && (td.Sign == '+' || td.Sign == '-') &&
              td.Minutes < 60 && td.Seconds < 60 && td.Unused[0] == 0x5A && td.Unused[2] == 0x5A,
          "GetTD fills state, sign, hours, minutes, seconds and leaves the unused bytes");
    TdRecord tdx{};
    check(GetTDEx(&tdx, &status) == 0 && (tdx.State == 'S' || tdx.State == 'R') && tdx.Microseconds >= 0 &&
              tdx.Microseconds < 1000000,
          "GetTDEx adds the microseconds");
    H0Record h0{};
    check(GetH0(&h0, &status) == 0 && (h0.State == 'S' || h0.State == 'R') && h0.Hours < 24 && h0.Minutes < 60 &&
              h0.Seconds < 60 && h0.DayOfYear >= 1 && h0.DayOfYear <= 366,
          "GetH0 fills state, time and day of the year");

    char version[TCR7750_VERSION_TEXT_SIZE + 8];
    std::memset(version, 'x', sizeof version);
    check(GetBoardVersion(version) == 0 && std::strlen(version) > 0 && std::strlen(version) < TCR7750_VERSION_TEXT_SIZE,
          "GetBoardVersion writes a text of at most 15 characters");
    EdgeStamp rising{}, falling{};
    check(GetBoardTimestamp(&rising, &falling) == 0 && rising.Microseconds < 1000000 &&
              falling.Microseconds < 1000000,
          "GetBoardTimestamp fills both edges");
}

void check_configuration()
{
    check(SetBoardInitialYear(2024) == 0, "SetBoardInitialYear returns 0");
    check(SetIrigMode(TCR7750_DECODE_AFNOR) == 0, "SetIrigMode AFNOR returns 0");
    check(SetIrigMode(TCR7750_DECODE_STANDARD) == 0, "SetIrigMode standard returns 0");
}

DWORD WINAPI wait_for_stamp(void *result)
{
    EdgeStamp rising{}, falling{};
    *static_cast<int32_t *>(result) = WaitForTimestampInterrupt(&rising, &falling);
    return 0;
}

void check_interrupts()
{
    check(EnablePeriodicInterrupt(1) == 0, "EnablePeriodicInterrupt(1) returns 0");
    int arrived = 0;
    DWORD started = GetTickCount();
    while (arrived < 3 && WaitForPeriodicInterrupt() == 0)
        ++arrived;
    DWORD elapsed = GetTickCount() - started;
    check(arrived == 3, "three periodic interrupts arrive");
    check(elapsed >= 150 && elapsed < 3000, "a tenth of a second apart");
    check(DisableBoardInterrupts() == 0, "DisableBoardInterrupts returns 0");
    check(WaitForPeriodicInterrupt() == 1, "a wait after the disarm returns 1 at once");

    // No edge reaches the simulated input: the wait stays blocked until the
    // interrupts are disarmed.
    check(EnableTimestampInterrupt(0) == 0, "EnableTimestampInterrupt returns 0");
    int32_t result = -2;
    HANDLE waiter = CreateThread(nullptr, 0, wait_for_stamp, &result, 0, nullptr);
    check(WaitForSingleObject(waiter, 300) == WAIT_TIMEOUT, "a time-stamp wait blocks");
    check(DisableBoardInterrupts() == 0, "DisableBoardInterrupts returns 0");
    check(WaitForSingleObject(waiter, 3000) == WAIT_OBJECT_0 && result == 1, "the disarm ends the wait with 1");
    CloseHandle(waiter);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "open") == 0) {
        std::printf("OpenBoard %d\n", static_cast<int>(OpenBoard()));
        return 0;
    }
    uint16_t status = 0, control = 0;
    check(GetBoardStatus(&status, &control) == -1, "GetBoardStatus before OpenBoard returns -1");
    check(OpenBoard() == 0, "OpenBoard returns 0");
    check_readings();
    check_configuration();
    check_interrupts();
    check(CloseBoard() == 0, "CloseBoard returns 0");
    check(CloseBoard() == -1, "a second CloseBoard returns -1");
    std::printf("%d failed\n", failures);
    return failures;
}
