/* SPDX-License-Identifier: MIT */
// The process-wide board connection, the lock every export holds on it, and
// the export results.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "driver_platform.h"
#include "windriver.h"

namespace tcr7750 {

// Export results.
inline constexpr int32_t kDone = 0;
inline constexpr int32_t kRefused = -1;
inline constexpr int32_t kWaitDisarmed = 1;

inline constexpr size_t kInterruptCommandSlots = 10;

// One per process.  Only the open flag is cleared by CloseBoard: the shadow,
// the driver handle, the registration and the interrupt arming live on.
struct BoardConnection {
    bool open = false;
    DeviceHandle driverHandle = kInvalidDeviceHandle;
    WD_ADDRESS registerBase = 0;     // dwTransAddr of the board's memory range
    uint32_t interruptHandle = 0;
    uint16_t controlShadow = 0;      // level bits of REG_CONTROL as last written

    WD_INTERRUPT interrupt{};
    std::array<WD_TRANSFER, kInterruptCommandSlots> interruptCommands{};
    uint32_t waitsInDriver = 0;      // waits sent with the record and not yet back
    bool armingPending = false;      // an arming waits for them to come back

    WD_PCI_SCAN_CARDS scan{};
    WD_PCI_CARD_INFO cardInfo{};
    WD_CARD_REGISTER registration{};
};

extern BoardConnection connection;

// Held by every export while it uses the connection, so that a monitor
// thread and the controlling thread never touch it at once.  The waits hold
// it only before and after their blocking request (the driver has the
// interrupt record meanwhile); message boxes are shown without it.
[[nodiscard]] std::unique_lock<std::mutex> lock_connection();

// Releases the lock, then shows the box (it blocks until the user closes it).
int32_t refuse_with_message(std::unique_lock<std::mutex> &lock, const char *text, const char *caption);

} // namespace tcr7750
