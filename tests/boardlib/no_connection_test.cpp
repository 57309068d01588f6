// Without a connection no export but the waits reaches the driver.
#include <functional>

#include "library_fixture.h"

namespace {

struct Export {
    const char *name;
    std::function<int32_t()> call;
};

SYSTEMTIME dateTime;
uint16_t word1, word2;
uint32_t microseconds;
TdRecord td;
H0Record h0;
char text[16];
EdgeStamp rising, falling;

const std::vector<Export> kExports = {
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

class NoConnectionTest : public LibraryTest {};

TEST_F(NoConnectionTest, EveryExportRefusesWithoutRequestOrMessage)
{
    for (bool afterClose : {false, true}) {
        if (afterClose) {
            open();
            ASSERT_EQ(CloseBoard(), 0);
        }
        for (const Export &e : kExports) {
            SCOPED_TRACE(e.name);
            EXPECT_EQ(e.call(), -1);
        }
        EXPECT_TRUE(codes().empty());
        EXPECT_TRUE(sim.message_boxes().empty());
    }
    // And nothing changed the shadow: the first write of a connection shows it.
    open();
    ASSERT_EQ(DisableBoardInterrupts(), 0);
    EXPECT_EQ(sim.access_log().front().value, CTL_DISABLE_STROBE);
}

TEST_F(NoConnectionTest, EachExportMakesOneTransferRequestWhenConnected)
{
    open();
    for (const Export &e : kExports) {
        if (std::string(e.name) == "CloseBoard")
            continue;
        SCOPED_TRACE(e.name);
        sim.clear_logs();
        EXPECT_EQ(e.call(), 0);
        size_t transfers = 0;
        for (uint32_t code : codes())
            transfers += code == IOCTL_WD_TRANSFER || code == IOCTL_WD_MULTI_TRANSFER;
        EXPECT_EQ(transfers, 1u);
    }
}

} // namespace
