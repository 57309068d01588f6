/* SPDX-License-Identifier: MIT */
// Every export but the two waits, called once with valid outputs: for the
// tests that treat them alike and for the benchmark.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tcr7750.h"

struct ExportCall {
    const char *name;
    std::function<int32_t()> call;
};

namespace export_outputs {
inline SYSTEMTIME dateTime;
inline uint16_t word1, word2;
inline uint32_t microseconds;
inline TdRecord td;
inline H0Record h0;
inline char text[TCR7750_VERSION_TEXT_SIZE];
inline EdgeStamp rising, falling;
} // namespace export_outputs

inline const std::vector<ExportCall> &export_calls()
{
    using namespace export_outputs;
    static const std::vector<ExportCall> calls = {
        {"CloseBoard", [] { return CloseBoard(); }},
        {"GetBoardStatus", [] { return GetBoardStatus(&word1, &word2); }},
        {"GetBoardDateTime", [] { return GetBoardDateTime(&dateTime, &word1, &microseconds, &word2); }},
        {"GetTD", [] { return GetTD(&td, &word1); }},
        {"GetTDEx", [] { return GetTDEx(&td, &word1); }},
        {"GetH0", [] { return GetH0(&h0, &word1); }},
        {"GetBoardVersion", [] { return GetBoardVersion(text); }},
        {"SetBoardInitialYear", [] { return SetBoardInitialYear(2008); }},
        {"SetIrigMode", [] { return SetIrigMode(1); }},
        {"GetBoardTimestamp", [] { return GetBoardTimestamp(&rising, &falling); }},
        {"EnableTimestampInterrupt", [] { return EnableTimestampInterrupt(1); }},
        {"EnablePeriodicInterrupt", [] { return EnablePeriodicInterrupt(10); }},
        {"DisableBoardInterrupts", [] { return DisableBoardInterrupts(); }},
    };
    return calls;
}
