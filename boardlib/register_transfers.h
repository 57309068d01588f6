/* SPDX-License-Identifier: MIT */
// Register accesses as WinDriver transfer commands, addressed in the open
// connection's register window, and the list of one export's accesses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "windriver.h"

namespace tcr7750 {

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
