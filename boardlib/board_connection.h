// The process-wide board connection and the two ways every export reaches
// WinDriver: the driver call and the register transfer list.
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

// Sends one request.  With separateHandle the request goes on a handle
// opened for this call alone (the interrupt waits), and device is unused.
// False when no usable handle was there or the driver reported a failure.
bool driver_call(uint32_t code, DeviceHandle device, void *record, uint32_t size, bool separateHandle);

// One register access addressed in the connection's register window.
WD_TRANSFER register_read(unsigned offset, unsigned width);
WD_TRANSFER register_write(unsigned offset, uint16_t value);

// The register accesses of one export, sent to the driver in one request
// and performed in list order.
class TransferList {
public:
    static constexpr size_t kCapacity = 14; // the version text, byte by byte

    // Adds a read of the register at offset, width bytes wide; returns the
    // position whose result() holds the value after send().
    size_t read(unsigned offset, unsigned width);
    void write(unsigned offset, uint16_t value);

    // One request on the connection: IOCTL_WD_TRANSFER for a lone command,
    // IOCTL_WD_MULTI_TRANSFER otherwise.  False if the driver failed it.
    bool send();
    uint32_t result(size_t position) const;

private:
    std::array<WD_TRANSFER, kCapacity> commands_{};
    size_t count_ = 0;
};

} // namespace tcr7750
