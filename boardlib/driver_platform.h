/* SPDX-License-Identifier: MIT */
// The seam between the library and the operating system: everything the
// library needs to reach WinDriver and its user.  The production DLL binds it
// to Win32; tests and the simulator DLL bind it to the simulated WinDriver.
#pragma once

#include <cstdint>

namespace tcr7750 {

using DeviceHandle = intptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = -1;

class DriverPlatform {
public:
    virtual ~DriverPlatform() = default;

    // Opens WinDriver's device; kInvalidDeviceHandle when it cannot.
    virtual DeviceHandle open_device() = 0;
    // Sends one request with the record as input buffer and no output
    // buffer; the driver updates the record in place.  False: it failed.
    virtual bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) = 0;
    virtual void close_device(DeviceHandle device) = 0;
    // A modal box with an OK button and no owner window.
    virtual void message_box(const char *text, const char *caption) = 0;
};

// The binding every later request goes through; null: there is no driver.
void install_driver_platform(DriverPlatform *platform);
DriverPlatform &driver_platform();

// Sends one request through the installed binding.  With separateHandle the
// request goes on a handle opened for this call alone (the interrupt waits),
// and device is unused.  False when no usable handle was there or the driver
// reported a failure.
bool driver_call(uint32_t code, DeviceHandle device, void *record, uint32_t size, bool separateHandle);

// Puts the process-wide state back as it is when the library is loaded
// (for hosts that run several scenarios in one process, such as tests).
void reset_process_state();

} // namespace tcr7750
