/* SPDX-License-Identifier: MIT */
// A simulated WinDriver hosting one or several board models, in process.
//
// It answers every request the board library sends, updating the record in
// place: transfers become model register accesses (so the model's access
// log shows exactly what an export did), an armed interrupt's command list
// runs at each model interrupt, and waits block until an interrupt was
// serviced or the interrupt was disarmed.  Switches make each step fail.
//
// Constructing one installs it as the library's driver and puts the
// library's process state back as it is when the DLL is loaded, so each test
// starts as a fresh process.  Destroying it uninstalls it and ends the waits
// still blocked as if disarmed; stop the threads that call the library first.
// Every member may be called from any thread.
//
// Driver choices the real one leaves open:
//  - A wait returns at once when the interrupt was serviced since the
//    waiter's last wait on this arming (the record's dwCounter), so an
//    interrupt that comes while nobody waits is not lost.
//  - A wait on an interrupt that is not armed (never, or disarmed) returns
//    at once with fStopped set.  Arming again while armed is accepted.
//  - A copying arming's results go to the command list given at the arming
//    (its Cmd), whatever list the wait's record names.
//  - Registrations and armings live until the process ends, like the
//    library's handles: CloseBoard releases nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "board_model.h"
#include "driver_platform.h"
#include "windriver.h"

namespace tcr7750::sim {

// What the tests can make fail, one step each.
struct Failures {
    bool noDevice = false;           // opening the device fails (the waits' own handles too)
    uint32_t driverVersion = 1100;   // below 521: too old for the library
    bool noBoard = false;            // the PCI scan finds nothing
    bool noResources = false;        // the card information lists no item
    bool refuseRegistration = false; // hCard 0
    bool refuseArming = false;       // fEnableOk 0
    std::set<uint32_t> failingRequests{}; // these request codes report failure, record untouched
};

struct MessageBoxShown {
    std::string text;    // Windows-1252 bytes
    std::string caption;
};

// One request as the driver received it.
struct Request {
    uint32_t code;
    DeviceHandle device;
};

// One item of a card registration, as the driver received it.
struct RegisteredItem {
    uint32_t type;
    uint32_t notSharable;
};

class SimulatedWinDriver {
public:
    static constexpr WD_ADDRESS kFirstRegisterBase = 0xD0000000;
    static constexpr WD_ADDRESS kRegisterBaseStride = 0x1000;

    struct Options {
        size_t boards = 1;
        bool install = true; // install as the library's driver, with fresh library state
    };

    SimulatedWinDriver();
    explicit SimulatedWinDriver(Options options);
    ~SimulatedWinDriver();
    SimulatedWinDriver(const SimulatedWinDriver &) = delete;
    SimulatedWinDriver &operator=(const SimulatedWinDriver &) = delete;

    // ---- the boards (index 0 is the first one the scan reports) ----
    size_t board_count() const { return boards_.size(); }
    void set_unix_time(int64_t seconds, uint32_t ns = 0, size_t board = 0);
    void set_datetime(const tcr7750_datetime &time, size_t board = 0);
    void set_status(uint16_t status, size_t board = 0);
    void set_time_difference(const tcr7750_time_difference &td, size_t board = 0);
    void set_version(const char (&text)[REG_VERSION_SIZE + 1], size_t board = 0);
    void edge(tcr7750_edge edge, size_t board = 0);
    // Virtual time, every board: periodic interrupts on the way are serviced.
    void advance(std::chrono::nanoseconds duration);
    // Any other look at or change of a model, under the driver's lock: f
    // takes the tcr7750_model& and must not call the library.
    template <typename F>
    decltype(auto) with_board(F &&f, size_t board = 0)
    {
        std::lock_guard lock(mutex_);
        struct Notify {
            std::condition_variable &changed;
            ~Notify() { changed.notify_all(); }
        } notify{changed_};
        return f(boards_.at(board)->model);
    }
    uint16_t control_register(size_t board = 0);  // level bits as last written
    uint16_t last_control_write(size_t board = 0); // pulse bits included

    // ---- what the driver saw ----
    std::vector<tcr7750_access> access_log(size_t board = 0);
    std::vector<Request> requests();
    std::vector<uint32_t> request_codes();
    void clear_logs(); // the access logs and the request list
    std::vector<RegisteredItem> last_registration();
    size_t open_handles();
    size_t handles_opened();
    uint32_t interrupts_serviced(size_t board = 0); // armed command lists run on this board

    // ---- failures ----
    void set_failures(Failures failures);
    Failures failures();

    // The card information also lists an interrupt line before the board's
    // own and a second memory window after its register window.  Neither
    // reaches the board: transfers there fail, and that line cannot be armed.
    void set_extra_card_items(bool listed);

    // ---- message boxes ----
    std::vector<MessageBoxShown> message_boxes();
    void clear_message_boxes();
    // Also hands each box to show (for a real box in the simulator DLL); it
    // runs on the caller's thread, outside the driver's lock.
    void set_message_box_sink(std::function<void(const char *text, const char *caption)> show);

    // ---- threads ----
    // Blocks until count waits are blocked in the driver (false after timeout).
    bool wait_for_blocked_waiters(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    size_t blocked_waiters();

    // ---- real-time mode (the simulator DLL) ----
    // Every board follows the host's clock, starts at the current UTC time
    // with a good frame, and a thread moves the models on so that periodic
    // interrupts come without any register access.
    void start_real_time(std::chrono::milliseconds tick = std::chrono::milliseconds(2));

    // The binding of the library's seam to this driver.
    DriverPlatform &platform() { return platform_; }

private:
    struct Board {
        SimulatedWinDriver *driver;
        size_t index;
        WD_ADDRESS registerBase;
        tcr7750_model model{};
        std::vector<tcr7750_access> log;
        uint32_t serviced = 0;
    };
    struct Arming {
        size_t board;
        bool enabled = false;
        uint32_t options = 0;
        std::vector<WD_TRANSFER> commands; // the driver's own copy of the list
        WD_TRANSFER *callerList = nullptr; // where the results are copied back
        uint32_t serviced = 0;             // since this arming
    };
    class Platform final : public DriverPlatform {
    public:
        explicit Platform(SimulatedWinDriver &driver) : driver_(driver) {}
        DeviceHandle open_device() override;
        bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) override;
        void close_device(DeviceHandle device) override;
        void message_box(const char *text, const char *caption) override;

    private:
        SimulatedWinDriver &driver_;
    };

    static void on_line(void *context, int asserted);
    void service_interrupt(Board &board);
    Board *board_at(WD_ADDRESS address, unsigned &offset);
    bool transfer(WD_TRANSFER *commands, size_t count);
    bool answer(std::unique_lock<std::mutex> &lock, uint32_t code, void *record, uint32_t size);
    void scan(WD_PCI_SCAN_CARDS &record);
    void card_info(WD_PCI_CARD_INFO &record);
    void register_card(WD_CARD_REGISTER &record);
    void enable_interrupt(WD_INTERRUPT &record);
    void disable_interrupt(WD_INTERRUPT &record);
    void wait_interrupt(std::unique_lock<std::mutex> &lock, WD_INTERRUPT &record);
    void tick(std::chrono::milliseconds period);

    Platform platform_{*this};
    bool installed_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Board>> boards_;
    std::map<uint32_t, Arming> armings_; // by interrupt handle
    std::set<DeviceHandle> openHandles_;
    DeviceHandle nextHandle_ = 0x100;
    uint32_t nextDriverHandle_ = 0x2000;
    size_t handlesOpened_ = 0;
    size_t blockedWaiters_ = 0;
    size_t requestsInProgress_ = 0;
    std::set<DeviceHandle> waitHandles_; // handles a wait was sent on, until closed
    Failures failures_;
    bool extraCardItems_ = false;
    std::vector<Request> requests_;
    std::vector<RegisteredItem> lastRegistration_;
    std::vector<MessageBoxShown> messageBoxes_;
    std::function<void(const char *, const char *)> messageBoxSink_;
    bool stopping_ = false;
    std::thread ticker_;
};

} // namespace tcr7750::sim
