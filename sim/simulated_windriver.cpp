// SPDX-License-Identifier: MIT
#include "simulated_windriver.h"

#include <algorithm>
#include <cstring>
#include <utility>


namespace tcr7750::sim {

namespace {

constexpr size_t kAccessLogCapacity = 1 << 16;
constexpr uint32_t kMaxInterruptCommands = 64;
constexpr uint32_t kPciBus = 2;
constexpr uint32_t kFirstPciSlot = 4;
constexpr uint32_t kFirstPhysicalAddress = 0xFEB00000;
constexpr uint32_t kFirstInterruptLine = 16;
constexpr uint32_t kOtherInterruptLine = 9;
constexpr uint32_t kOtherPhysicalAddress = 0xFEA00000;
constexpr WD_ADDRESS kOtherTransferAddress = 0xC0000000; // no board answers there

uint64_t steady_ns(void *)
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

uint32_t physical_address(size_t board)
{
    return kFirstPhysicalAddress + static_cast<uint32_t>(board) * 0x1000;
}

template <typename Record>
Record *as(void *record, uint32_t size)
{
    return size == sizeof(Record) ? static_cast<Record *>(record) : nullptr;
}

} // namespace

SimulatedWinDriver::SimulatedWinDriver() : SimulatedWinDriver(Options{}) {}

SimulatedWinDriver::SimulatedWinDriver(Options options) : installed_(options.install)
{
    for (size_t i = 0; i < options.boards; ++i) {
        auto board = std::make_unique<Board>();
        board->driver = this;
        board->index = i;
        board->registerBase = kFirstRegisterBase + i * kRegisterBaseStride;
        board->log.resize(kAccessLogCapacity);
        tcr7750_model_init(&board->model);
        tcr7750_model_set_log(&board->model, board->log.data(), board->log.size());
        tcr7750_model_set_line_handler(&board->model, on_line, board.get());
        boards_.push_back(std::move(board));
    }
    if (installed_) {
        reset_process_state();
        install_driver_platform(&platform_);
    }
}

SimulatedWinDriver::~SimulatedWinDriver()
{
    if (installed_)
        install_driver_platform(nullptr);
    {
        // Blocked waits end as if disarmed; requests in progress finish.
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return requestsInProgress_ == 0 && waitHandles_.empty(); });
    }
    if (ticker_.joinable())
        ticker_.join();
}

// ---- the boards -----------------------------------------------------------

void SimulatedWinDriver::set_unix_time(int64_t seconds, uint32_t ns, size_t board)
{
    with_board([&](tcr7750_model &m) { tcr7750_model_set_unix_time(&m, seconds, ns); }, board);
}

void SimulatedWinDriver::set_datetime(const tcr7750_datetime &time, size_t board)
{
    with_board([&](tcr7750_model &m) { tcr7750_model_set_datetime(&m, &time); }, board);
}

void SimulatedWinDriver::set_status(uint16_t status, size_t board)
{
    with_board([&](tcr7750_model &m) { tcr7750_model_set_status(&m, status); }, board);
}

void SimulatedWinDriver::set_time_difference(const tcr7750_time_difference &td, size_t board)
{
    with_board([&](tcr7750_model &m) { tcr7750_model_set_time_difference(&m, &td); }, board);
}

void SimulatedWinDriver::set_version(const char (&text)[REG_VERSION_SIZE + 1], size_t board)
{
    uint8_t bytes[REG_VERSION_SIZE];
    std::memcpy(bytes, text, REG_VERSION_SIZE);
    with_board([&](tcr7750_model &m) { tcr7750_model_set_version(&m, bytes); }, board);
}

void SimulatedWinDriver::edge(tcr7750_edge which, size_t board)
{
    with_board([&](tcr7750_model &m) { tcr7750_model_edge(&m, which); }, board);
}

void SimulatedWinDriver::advance(std::chrono::nanoseconds duration)
{
    std::lock_guard lock(mutex_);
    for (auto &board : boards_)
        tcr7750_model_advance(&board->model, static_cast<uint64_t>(duration.count()));
    changed_.notify_all();
}

uint16_t SimulatedWinDriver::control_register(size_t board)
{
    return with_board([](tcr7750_model &m) { return m.control; }, board);
}

uint16_t SimulatedWinDriver::last_control_write(size_t board)
{
    return with_board([](tcr7750_model &m) { return m.last_control_write; }, board);
}

// ---- what the driver saw --------------------------------------------------

std::vector<tcr7750_access> SimulatedWinDriver::access_log(size_t board)
{
    std::lock_guard lock(mutex_);
    const Board &b = *boards_.at(board);
    return {b.log.begin(), b.log.begin() + static_cast<std::ptrdiff_t>(std::min(b.model.log_count, b.log.size()))};
}

std::vector<Request> SimulatedWinDriver::requests()
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<uint32_t> SimulatedWinDriver::request_codes()
{
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> codes;
    for (const Request &request : requests_)
        codes.push_back(request.code);
    return codes;
}

void SimulatedWinDriver::clear_logs()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
    for (auto &board : boards_)
        tcr7750_model_clear_log(&board->model);
}

std::vector<RegisteredItem> SimulatedWinDriver::last_registration()
{
    std::lock_guard lock(mutex_);
    return lastRegistration_;
}

size_t SimulatedWinDriver::open_handles()
{
    std::lock_guard lock(mutex_);
    return openHandles_.size();
}

size_t SimulatedWinDriver::handles_opened()
{
    std::lock_guard lock(mutex_);
    return handlesOpened_;
}

uint32_t SimulatedWinDriver::interrupts_serviced(size_t board)
{
    std::lock_guard lock(mutex_);
    return boards_.at(board)->serviced;
}

// ---- failures and message boxes -------------------------------------------

void SimulatedWinDriver::set_failures(Failures failures)
{
    std::lock_guard lock(mutex_);
    failures_ = std::move(failures);
}

Failures SimulatedWinDriver::failures()
{
    std::lock_guard lock(mutex_);
    return failures_;
}

void SimulatedWinDriver::set_extra_card_items(bool listed)
{
    std::lock_guard lock(mutex_);
    extraCardItems_ = listed;
}

std::vector<MessageBoxShown> SimulatedWinDriver::message_boxes()
{
    std::lock_guard lock(mutex_);
    return messageBoxes_;
}

void SimulatedWinDriver::clear_message_boxes()
{
    std::lock_guard lock(mutex_);
    messageBoxes_.clear();
}

void SimulatedWinDriver::set_message_box_sink(std::function<void(const char *, const char *)> show)
{
    std::lock_guard lock(mutex_);
    messageBoxSink_ = std::move(show);
}

// ---- threads --------------------------------------------------------------

bool SimulatedWinDriver::wait_for_blocked_waiters(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return blockedWaiters_ >= count; });
}

size_t SimulatedWinDriver::blocked_waiters()
{
    std::lock_guard lock(mutex_);
    return blockedWaiters_;
}

void SimulatedWinDriver::start_real_time(std::chrono::milliseconds tick)
{
    std::lock_guard lock(mutex_);
    auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    for (auto &board : boards_) {
        tcr7750_model_set_unix_time(&board->model, now / 1000000000, static_cast<uint32_t>(now % 1000000000));
        tcr7750_model_set_status(&board->model, ST_FRAME_OK);
        tcr7750_model_set_clock(&board->model, steady_ns, nullptr);
    }
    if (!ticker_.joinable())
        ticker_ = std::thread([this, tick] { this->tick(tick); });
}

void SimulatedWinDriver::tick(std::chrono::milliseconds period)
{
    std::unique_lock lock(mutex_);
    while (!changed_.wait_for(lock, period, [&] { return stopping_; })) {
        for (auto &board : boards_)
            tcr7750_model_sync(&board->model);
    }
}

// ---- interrupts -----------------------------------------------------------

// Runs under the lock, from inside the model: the line has just risen.
void SimulatedWinDriver::on_line(void *context, int asserted)
{
    if (asserted) {
        Board &board = *static_cast<Board *>(context);
        board.driver->service_interrupt(board);
    }
}

void SimulatedWinDriver::service_interrupt(Board &board)
{
    for (auto &[handle, arming] : armings_) {
        if (arming.board != board.index || !arming.enabled)
            continue;
        transfer(arming.commands.data(), arming.commands.size());
        ++arming.serviced;
        ++board.serviced;
    }
    changed_.notify_all();
}

void SimulatedWinDriver::enable_interrupt(WD_INTERRUPT &record)
{
    record.fEnableOk = 0;
    auto found = armings_.find(record.hInterrupt);
    if (found == armings_.end() || failures_.refuseArming || record.dwCmds > kMaxInterruptCommands ||
        (record.dwCmds > 0 && record.Cmd == nullptr))
        return;
    Arming &arming = found->second;
    arming.commands.assign(record.Cmd, record.Cmd + record.dwCmds);
    arming.callerList = record.Cmd;
    arming.options = record.dwOptions;
    arming.serviced = 0;
    arming.enabled = true;
    record.fEnableOk = 1;
    // The line is level-triggered: one already up is serviced at once.
    Board &board = *boards_.at(arming.board);
    if (tcr7750_model_line(&board.model))
        service_interrupt(board);
}

void SimulatedWinDriver::disable_interrupt(WD_INTERRUPT &record)
{
    auto found = armings_.find(record.hInterrupt);
    if (found != armings_.end())
        found->second.enabled = false;
    changed_.notify_all();
}

void SimulatedWinDriver::wait_interrupt(std::unique_lock<std::mutex> &lock, WD_INTERRUPT &record)
{
    const uint32_t handle = record.hInterrupt;
    const uint32_t seen = record.dwCounter;
    auto arming = [&]() -> Arming * {
        auto found = armings_.find(handle);
        return found != armings_.end() && found->second.enabled ? &found->second : nullptr;
    };
    auto ready = [&] { return stopping_ || arming() == nullptr || arming()->serviced > seen; };
    if (!ready()) {
        ++blockedWaiters_;
        changed_.notify_all();
        changed_.wait(lock, ready);
        --blockedWaiters_;
    }

    Arming *armed = stopping_ ? nullptr : arming();
    if (armed == nullptr) {
        record.fStopped = 1;
        return;
    }
    record.fStopped = 0;
    record.dwLost = armed->serviced - seen - 1;
    record.dwCounter = armed->serviced;
    if (armed->options & INTERRUPT_CMD_COPY) {
        for (size_t i = 0; i < armed->commands.size(); ++i)
            armed->callerList[i].Data = armed->commands[i].Data;
    }
}

// ---- transfers ------------------------------------------------------------

SimulatedWinDriver::Board *SimulatedWinDriver::board_at(WD_ADDRESS address, unsigned &offset)
{
    for (auto &board : boards_) {
        if (address >= board->registerBase && address < board->registerBase + TCR7750_WINDOW_SIZE) {
            offset = static_cast<unsigned>(address - board->registerBase);
            return board.get();
        }
    }
    return nullptr;
}

bool SimulatedWinDriver::transfer(WD_TRANSFER *commands, size_t count)
{
    unsigned offset = 0;
    for (size_t i = 0; i < count; ++i) {
        if (board_at(commands[i].dwPort, offset) == nullptr || commands[i].cmdTrans < RM_BYTE ||
            commands[i].cmdTrans > WM_DWORD)
            return false;
    }
    for (size_t i = 0; i < count; ++i) {
        WD_TRANSFER &command = commands[i];
        tcr7750_model &model = board_at(command.dwPort, offset)->model;
        switch (command.cmdTrans) {
        case RM_BYTE:
            command.Data.Dword = 0;
            command.Data.Byte = static_cast<uint8_t>(tcr7750_model_read(&model, offset, 1));
            break;
        case RM_WORD:
            command.Data.Dword = 0;
            command.Data.Word = static_cast<uint16_t>(tcr7750_model_read(&model, offset, 2));
            break;
        case RM_DWORD:
            command.Data.Dword = tcr7750_model_read(&model, offset, 4);
            break;
        case WM_BYTE:
            tcr7750_model_write(&model, offset, 1, command.Data.Byte);
            break;
        case WM_WORD:
            tcr7750_model_write(&model, offset, 2, command.Data.Word);
            break;
        case WM_DWORD:
            tcr7750_model_write(&model, offset, 4, command.Data.Dword);
            break;
        }
    }
    return true;
}

// ---- the open procedure's requests ----------------------------------------

void SimulatedWinDriver::scan(WD_PCI_SCAN_CARDS &record)
{
    bool wanted = record.searchId.dwVendorId == TCR7750_PCI_VENDOR_ID &&
                  record.searchId.dwDeviceId == TCR7750_PCI_DEVICE_ID;
    record.dwCards = 0;
    if (!wanted || failures_.noBoard)
        return;
    for (size_t i = 0; i < boards_.size() && i < WD_PCI_CARDS; ++i) {
        record.cardId[i] = {TCR7750_PCI_VENDOR_ID, TCR7750_PCI_DEVICE_ID};
        record.cardSlot[i] = {kPciBus, kFirstPciSlot + static_cast<uint32_t>(i), 0};
        ++record.dwCards;
    }
}

void SimulatedWinDriver::card_info(WD_PCI_CARD_INFO &record)
{
    record.Card = {};
    size_t board = record.pciSlot.dwSlot - kFirstPciSlot;
    if (failures_.noResources || record.pciSlot.dwBus != kPciBus || record.pciSlot.dwSlot < kFirstPciSlot ||
        board >= boards_.size())
        return;
    // Resources as the PCI configuration gives them: not yet sharable.
    WD_CARD &card = record.Card;
    card.dwItems = 3;
    card.Item[0].item = ITEM_MEMORY;
    card.Item[0].fNotSharable = 1;
    card.Item[0].I.Mem.dwPhysicalAddr = physical_address(board);
    card.Item[0].I.Mem.dwBytes = TCR7750_WINDOW_SIZE;
    card.Item[0].I.Mem.dwBar = TCR7750_PCI_BAR;
    card.Item[1].item = ITEM_INTERRUPT;
    card.Item[1].fNotSharable = 1;
    card.Item[1].I.Int.dwInterrupt = kFirstInterruptLine + static_cast<uint32_t>(board);
    card.Item[2].item = ITEM_BUS;
    card.Item[2].fNotSharable = 1;
    card.Item[2].I.Bus.dwBusNum = kPciBus;
    card.Item[2].I.Bus.dwSlotFunc = record.pciSlot.dwSlot << 3;
    if (extraCardItems_) {
        // Another line, the register window, another window, the board's line, the bus.
        const WD_ITEMS memory = card.Item[0], interrupt = card.Item[1], bus = card.Item[2];
        WD_ITEMS otherMemory = memory, otherInterrupt = interrupt;
        otherMemory.I.Mem.dwPhysicalAddr = kOtherPhysicalAddress;
        otherMemory.I.Mem.dwBar = 1;
        otherInterrupt.I.Int.dwInterrupt = kOtherInterruptLine;
        card.dwItems = 5;
        card.Item[0] = otherInterrupt;
        card.Item[1] = memory;
        card.Item[2] = otherMemory;
        card.Item[3] = interrupt;
        card.Item[4] = bus;
    }
}

void SimulatedWinDriver::register_card(WD_CARD_REGISTER &record)
{
    record.hCard = 0;
    lastRegistration_.clear();
    size_t items = std::min<size_t>(record.Card.dwItems, WD_CARD_ITEMS);
    for (size_t i = 0; i < items; ++i)
        lastRegistration_.push_back({record.Card.Item[i].item, record.Card.Item[i].fNotSharable});
    if (failures_.refuseRegistration)
        return;

    Board *board = nullptr;
    for (size_t i = 0; i < items; ++i) {
        const WD_ITEMS &item = record.Card.Item[i];
        for (auto &candidate : boards_)
            if (item.item == ITEM_MEMORY && item.I.Mem.dwPhysicalAddr == physical_address(candidate->index))
                board = candidate.get();
    }
    if (board == nullptr)
        return;
    for (size_t i = 0; i < items; ++i) {
        WD_ITEMS &item = record.Card.Item[i];
        if (item.item == ITEM_MEMORY) {
            const bool boards = item.I.Mem.dwPhysicalAddr == physical_address(board->index);
            item.I.Mem.dwTransAddr = boards ? board->registerBase : kOtherTransferAddress;
        } else if (item.item == ITEM_INTERRUPT) {
            item.I.Int.hInterrupt = nextDriverHandle_++;
            if (item.I.Int.dwInterrupt == kFirstInterruptLine + board->index) {
                Arming arming;
                arming.board = board->index;
                armings_[item.I.Int.hInterrupt] = std::move(arming);
            }
        }
    }
    record.hCard = nextDriverHandle_++;
}

// ---- requests -------------------------------------------------------------

bool SimulatedWinDriver::answer(std::unique_lock<std::mutex> &lock, uint32_t code, void *record, uint32_t size)
{
    switch (code) {
    case IOCTL_WD_VERSION:
        if (auto *version = as<WD_VERSION>(record, size)) {
            version->dwVer = failures_.driverVersion;
            std::strncpy(version->cVer, "simulated WinDriver", sizeof version->cVer - 1);
            return true;
        }
        return false;
    case IOCTL_WD_PCI_SCAN_CARDS:
        if (auto *scanCards = as<WD_PCI_SCAN_CARDS>(record, size))
            return scan(*scanCards), true;
        return false;
    case IOCTL_WD_PCI_GET_CARD_INFO:
        if (auto *info = as<WD_PCI_CARD_INFO>(record, size))
            return card_info(*info), true;
        return false;
    case IOCTL_WD_CARD_REGISTER:
        if (auto *registration = as<WD_CARD_REGISTER>(record, size))
            return register_card(*registration), true;
        return false;
    case IOCTL_WD_TRANSFER:
        return size == sizeof(WD_TRANSFER) && transfer(static_cast<WD_TRANSFER *>(record), 1);
    case IOCTL_WD_MULTI_TRANSFER:
        return size > 0 && size % sizeof(WD_TRANSFER) == 0 &&
               transfer(static_cast<WD_TRANSFER *>(record), size / sizeof(WD_TRANSFER));
    case IOCTL_WD_INT_ENABLE:
        if (auto *interrupt = as<WD_INTERRUPT>(record, size))
            return enable_interrupt(*interrupt), true;
        return false;
    case IOCTL_WD_INT_DISABLE:
        if (auto *interrupt = as<WD_INTERRUPT>(record, size))
            return disable_interrupt(*interrupt), true;
        return false;
    case IOCTL_WD_INT_WAIT:
        if (auto *interrupt = as<WD_INTERRUPT>(record, size))
            return wait_interrupt(lock, *interrupt), true;
        return false;
    default:
        return false;
    }
}

DeviceHandle SimulatedWinDriver::Platform::open_device()
{
    std::lock_guard lock(driver_.mutex_);
    if (driver_.failures_.noDevice)
        return kInvalidDeviceHandle;
    DeviceHandle device = driver_.nextHandle_++;
    driver_.openHandles_.insert(device);
    ++driver_.handlesOpened_;
    return device;
}

bool SimulatedWinDriver::Platform::control(DeviceHandle device, uint32_t code, void *record, uint32_t size)
{
    std::unique_lock lock(driver_.mutex_);
    driver_.requests_.push_back({code, device});
    if (!driver_.openHandles_.contains(device) || driver_.failures_.failingRequests.contains(code) ||
        record == nullptr)
        return false;
    if (code == IOCTL_WD_INT_WAIT)
        driver_.waitHandles_.insert(device); // closed by the waiter when it is done
    ++driver_.requestsInProgress_;
    bool done = driver_.answer(lock, code, record, size);
    if (--driver_.requestsInProgress_ == 0)
        driver_.changed_.notify_all();
    return done;
}

void SimulatedWinDriver::Platform::close_device(DeviceHandle device)
{
    std::lock_guard lock(driver_.mutex_);
    driver_.openHandles_.erase(device);
    if (driver_.waitHandles_.erase(device) != 0)
        driver_.changed_.notify_all();
}

void SimulatedWinDriver::Platform::message_box(const char *text, const char *caption)
{
    std::function<void(const char *, const char *)> show;
    {
        std::lock_guard lock(driver_.mutex_);
        driver_.messageBoxes_.push_back({text, caption});
        show = driver_.messageBoxSink_;
    }
    if (show)
        show(text, caption);
}

} // namespace tcr7750::sim
