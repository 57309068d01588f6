// SPDX-License-Identifier: MIT
// Opening and closing the board connection, and every way the open fails.
#include "library_fixture.h"

using tcr7750::sim::Failures;

namespace {

class ConnectionTest : public LibraryTest {};

TEST_F(ConnectionTest, OpenFindsAndRegistersTheBoardWithoutTouchingIt)
{
    EXPECT_EQ(OpenBoard(), 0);
    EXPECT_EQ(codes(), (Codes{IOCTL_WD_VERSION, IOCTL_WD_PCI_SCAN_CARDS, IOCTL_WD_PCI_GET_CARD_INFO,
                              IOCTL_WD_CARD_REGISTER}));
    expect_accesses({});
    EXPECT_TRUE(sim.message_boxes().empty());
    // Window and interrupt are registered sharable; other items as found.
    auto items = sim.last_registration();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].type, ITEM_MEMORY);
    EXPECT_EQ(items[0].notSharable, 0u);
    EXPECT_EQ(items[1].type, ITEM_INTERRUPT);
    EXPECT_EQ(items[1].notSharable, 0u);
    EXPECT_EQ(items[2].type, ITEM_BUS);
    EXPECT_EQ(items[2].notSharable, 1u);
}

TEST_F(ConnectionTest, OpenTwiceRefusesSilentlyAndKeepsTheConnection)
{
    open();
    EXPECT_EQ(OpenBoard(), -1);
    EXPECT_TRUE(codes().empty());
    EXPECT_TRUE(sim.message_boxes().empty());
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), 0);
}

TEST_F(ConnectionTest, CloseClearsOnlyTheOpenFlag)
{
    open();
    size_t handles = sim.open_handles();
    EXPECT_EQ(CloseBoard(), 0);
    EXPECT_EQ(CloseBoard(), -1);
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(sim.open_handles(), handles);
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), -1);
}

TEST_F(ConnectionTest, ReopenRunsTheWholeProcedureOnANewHandle)
{
    open();
    CloseBoard();
    EXPECT_EQ(OpenBoard(), 0);
    EXPECT_EQ(codes().size(), 4u);
    EXPECT_EQ(sim.handles_opened(), 2u);
}

TEST(ConnectionWithoutDriver, CloseWithoutConnectionRefuses)
{
    tcr7750::sim::SimulatedWinDriver sim;
    EXPECT_EQ(CloseBoard(), -1);
    EXPECT_TRUE(sim.requests().empty());
}

struct OpenFailure {
    const char *name;
    Failures failures;
    size_t requestsMade;
    std::string text;
};

void PrintTo(const OpenFailure &failure, std::ostream *out)
{
    *out << failure.name;
}

class OpenFailureTest : public LibraryTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, ShowsItsMessageOnceAndLeavesTheLibraryClosed)
{
    const OpenFailure &failure = GetParam();
    sim.set_failures(failure.failures);
    EXPECT_EQ(OpenBoard(), -1);
    EXPECT_EQ(codes().size(), failure.requestsMade);
    auto boxes = sim.message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, failure.text);
    EXPECT_EQ(boxes[0].caption, "Erreur");

    // Closed: no export reaches the driver.  Once the cause is gone the next
    // open starts again from the beginning and succeeds.
    sim.clear_logs();
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), -1);
    EXPECT_TRUE(codes().empty());
    sim.set_failures({});
    EXPECT_EQ(OpenBoard(), 0);
    EXPECT_EQ(codes().size(), 4u);
}

Failures with(void (*change)(Failures &))
{
    Failures failures;
    change(failures);
    return failures;
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, OpenFailureTest,
    ::testing::Values(
        OpenFailure{"NoDevice", with([](Failures &f) { f.noDevice = true; }), 0, "Ne peut ouvrir WinDriver!"},
        OpenFailure{"OldDriver", with([](Failures &f) { f.driverVersion = 520; }), 1,
                    "Version WinDriver non compatible!"},
        OpenFailure{"FailedVersionRequest",
                    with([](Failures &f) { f.failingRequests = {IOCTL_WD_VERSION}; }), 1,
                    "Version WinDriver non compatible!"},
        OpenFailure{"NoBoard", with([](Failures &f) { f.noBoard = true; }), 2, "Carte non trouv\xE9" "e"},
        OpenFailure{"NoResources", with([](Failures &f) { f.noResources = true; }), 3,
                    "Param\xE8" "tres PCI incorrects"},
        OpenFailure{"RegistrationRefused", with([](Failures &f) { f.refuseRegistration = true; }), 4,
                    "Acc\xE8" "s aux ressources de la carte."}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, VersionFiveTwentyOneIsEnough)
{
    sim.set_failures(with([](Failures &f) { f.driverVersion = 521; }));
    EXPECT_EQ(OpenBoard(), 0);
}

// Of several items, the registers are in the first memory window and the
// interrupt is the last interrupt line.
TEST_F(ConnectionTest, OpenTakesTheFirstMemoryWindowAndTheLastInterrupt)
{
    sim.set_extra_card_items(true);
    open();
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), 0);
    expect_accesses({read_of(REG_STATUS, 2), read_of(REG_CONTROL, 2)});
    EXPECT_EQ(EnablePeriodicInterrupt(10), 0);
    EXPECT_TRUE(sim.message_boxes().empty());
}

class TwoBoardsTest : public LibraryTest {
protected:
    TwoBoardsTest() : LibraryTest(2) {}
};

TEST_F(TwoBoardsTest, TheFirstBoardOfTheScanIsUsed)
{
    open();
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), 0);
    expect_accesses({read_of(REG_STATUS, 2), read_of(REG_CONTROL, 2)}, 0);
    expect_accesses({}, 1);
}

} // namespace
