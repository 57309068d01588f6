// SPDX-License-Identifier: MIT
// The configuration exports and the control shadow they share with the
// interrupt exports.
#include "library_fixture.h"

namespace {

class ConfigurationTest : public LibraryTest {};

TEST_F(ConfigurationTest, InitialYearIsWrittenThenLoadedWithTheShadow)
{
    open();
    ASSERT_EQ(SetIrigMode(1), 0);
    sim.clear_logs();
    EXPECT_EQ(SetBoardInitialYear(2008), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    expect_accesses({write_of(REG_INITIAL_YEAR, 0x07D8), write_of(REG_CONTROL, CTL_MODE_AFNOR | CTL_LOAD_YEAR)});
    // The load pulse is not kept: the next control write carries it as 0.
    sim.clear_logs();
    EXPECT_EQ(SetIrigMode(1), 0);
    expect_accesses({write_of(REG_CONTROL, CTL_MODE_AFNOR)});
}

TEST_F(ConfigurationTest, InitialYearAboveSixteenBitsIsWrittenModuloTheRegister)
{
    open();
    EXPECT_EQ(SetBoardInitialYear(65536 + 2026), 0);
    expect_accesses({write_of(REG_INITIAL_YEAR, 2026), write_of(REG_CONTROL, CTL_LOAD_YEAR)});
}

struct ModeCase {
    uint32_t mode;
    uint16_t field;
};

class IrigModeTest : public ConfigurationTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(IrigModeTest, ReplacesTheDecodingFieldInOneLoneWrite)
{
    open();
    ASSERT_EQ(SetIrigMode(2), 0); // start from the other field
    ASSERT_EQ(SetIrigMode(1), 0);
    sim.clear_logs();
    EXPECT_EQ(SetIrigMode(GetParam().mode), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_TRANSFER});
    expect_accesses({write_of(REG_CONTROL, GetParam().field)});
}

INSTANTIATE_TEST_SUITE_P(Modes, IrigModeTest,
                         ::testing::Values(ModeCase{0, 0}, ModeCase{1, CTL_MODE_AFNOR}, ModeCase{2, CTL_MODE_TD},
                                           ModeCase{3, CTL_MODE_TD}, ModeCase{7, 0}, ModeCase{0xFFFFFFFF, 0}));

TEST_F(ConfigurationTest, ControlWritesCarryTheInterruptBitsSetEarlier)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(1), 0);
    sim.clear_logs();
    EXPECT_EQ(SetIrigMode(2), 0);
    expect_accesses({write_of(REG_CONTROL, CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE | CTL_MODE_TD)});
}

// The shadow belongs to the process: it survives closed calls, failed
// requests and reconnections.
TEST_F(ConfigurationTest, ShadowIsCarriedAcrossConnectionsAndFailedCalls)
{
    open();
    ASSERT_EQ(SetIrigMode(1), 0);
    ASSERT_EQ(CloseBoard(), 0);
    sim.clear_logs();
    EXPECT_EQ(SetIrigMode(2), -1);  // closed: neither shadow nor board change
    EXPECT_EQ(SetBoardInitialYear(2000), -1);
    EXPECT_TRUE(codes().empty());
    open();
    EXPECT_EQ(sim.control_register(), CTL_MODE_AFNOR); // nothing written on opening

    sim.set_failures({.failingRequests = {IOCTL_WD_TRANSFER}});
    EXPECT_EQ(SetIrigMode(2), -1); // reported, and the shadow keeps the new field
    sim.set_failures({});
    EXPECT_EQ(SetBoardInitialYear(2026), 0);
    expect_accesses({write_of(REG_INITIAL_YEAR, 2026), write_of(REG_CONTROL, CTL_MODE_TD | CTL_LOAD_YEAR)});
}

} // namespace
