/* SPDX-License-Identifier: MIT */
// The board of the simulator DLLs (tcr7750.dll and the Windows Time
// provider built on the simulated WinDriver): one simulated WinDriver per
// process, created at the first request, its board following the host's
// clock with a good frame unless the environment says otherwise:
//
//   TCR7750_SIM_OFFSET_MS=N   the board is N milliseconds ahead of the
//                             host's clock (behind when negative)
//   TCR7750_SIM_FRAME=bad     no frame: status 0x0050 (error code 5)
//   TCR7750_SIM_BOARD=none    the PCI scan finds no board
//   TCR7750_SIM_YEAR=Y        the board shows year Y, day of year and time
//                             of day kept (a board just powered up)
#pragma once

#include <functional>

#include "driver_platform.h"

namespace tcr7750::sim {

using MessageBoxSink = std::function<void(const char *text, const char *caption)>;

// The library's binding to that board; the board is created by the first
// request, and the library's message boxes go to `messageBox`.
class SimulatorBoardPlatform final : public DriverPlatform {
public:
    explicit SimulatorBoardPlatform(MessageBoxSink messageBox) : messageBox_(std::move(messageBox)) {}
    DeviceHandle open_device() override;
    bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) override;
    void close_device(DeviceHandle device) override;
    void message_box(const char *text, const char *caption) override;

private:
    DriverPlatform &board();
    MessageBoxSink messageBox_;
};

} // namespace tcr7750::sim
