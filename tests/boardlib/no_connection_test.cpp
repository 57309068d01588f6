// SPDX-License-Identifier: MIT
// Without a connection no export but the waits reaches the driver.
#include "export_calls.h"
#include "library_fixture.h"

namespace {

class NoConnectionTest : public LibraryTest {};

TEST_F(NoConnectionTest, EveryExportRefusesWithoutRequestOrMessage)
{
    for (bool afterClose : {false, true}) {
        if (afterClose) {
            open();
            ASSERT_EQ(CloseBoard(), 0);
        }
        for (const ExportCall &e : export_calls()) {
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
    for (const ExportCall &e : export_calls()) {
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
