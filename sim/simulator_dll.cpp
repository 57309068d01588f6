// SPDX-License-Identifier: MIT
// The simulator DLL's binding: the first request creates a simulated
// WinDriver whose board follows the host clock, set to the current UTC time
// with a good frame.  Its message boxes are real ones.
#include <windows.h>

#include "simulated_windriver.h"

namespace tcr7750::sim {
namespace {

SimulatedWinDriver &simulated_driver()
{
    // Never destroyed: at process exit its ticker thread is already gone.
    static SimulatedWinDriver *driver = [] {
        auto *created = new SimulatedWinDriver(SimulatedWinDriver::Options{1, false});
        created->set_message_box_sink(
            [](const char *text, const char *caption) { MessageBoxA(nullptr, text, caption, MB_OK); });
        created->start_real_time();
        return created;
    }();
    return *driver;
}

// Nothing runs while the DLL loads: the driver starts with the first request.
class LazySimulatedPlatform final : public DriverPlatform {
public:
    DeviceHandle open_device() override { return simulated_driver().platform().open_device(); }
    bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) override
    {
        return simulated_driver().platform().control(device, code, record, size);
    }
    void close_device(DeviceHandle device) override { simulated_driver().platform().close_device(device); }
    void message_box(const char *text, const char *caption) override
    {
        simulated_driver().platform().message_box(text, caption);
    }
};

LazySimulatedPlatform lazyPlatform;
const bool installed = (install_driver_platform(&lazyPlatform), true);

} // namespace
} // namespace tcr7750::sim
