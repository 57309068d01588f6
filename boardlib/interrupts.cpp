// SPDX-License-Identifier: MIT
// The interrupt exports.  Arming hands WinDriver a command list that its
// kernel side runs at every interrupt, so each interrupt is serviced at once;
// a waiting thread then picks up what the list read.
#include <chrono>
#include <condition_variable>

#include "board_connection.h"
#include "register_transfers.h"
#include "messages.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750 {
namespace {

using InterruptCommands = std::array<WD_TRANSFER, kInterruptCommandSlots>;

enum Stamp { kRiseSeconds, kRiseMicroseconds, kFallSeconds, kFallMicroseconds };

// A wait hands the driver the interrupt record itself: the driver reads it
// when the wait starts and, when it ends, writes the outcome into it and the
// results into the command list given at arming.  So an arming never refills
// the two under a wait: it first releases the waits in the driver with a
// disarm (repeated until they are back, for a driver that holds a wait on a
// disarmed interrupt), and waits that come meanwhile hold back until the new
// arming is in place.
std::condition_variable waitsChanged;
constexpr std::chrono::milliseconds kReleaseRepeat{100};

void release_waits(std::unique_lock<std::mutex> &lock)
{
    BoardConnection &c = connection;
    if (c.waitsInDriver == 0)
        return;
    c.armingPending = true;
    do {
        driver_call(IOCTL_WD_INT_DISABLE, c.driverHandle, &c.interrupt, sizeof c.interrupt, false);
    } while (!waitsChanged.wait_for(lock, kReleaseRepeat, [&] { return c.waitsInDriver == 0; }));
    c.armingPending = false;
    waitsChanged.notify_all();
}

// Arms the board's interrupt with the first commandCount commands of
// `commands`.  The driver says in fEnableOk whether it took it.
bool arm_interrupt(std::unique_lock<std::mutex> &lock, const InterruptCommands &commands, uint32_t commandCount,
                   uint32_t options)
{
    release_waits(lock);
    connection.interruptCommands = commands;
    WD_INTERRUPT &record = connection.interrupt;
    record = {};
    record.hInterrupt = connection.interruptHandle;
    record.Cmd = connection.interruptCommands.data();
    record.dwCmds = commandCount;
    record.dwOptions = options;
    driver_call(IOCTL_WD_INT_ENABLE, connection.driverHandle, &record, sizeof record, false);
    return record.fEnableOk != 0;
}

int32_t refuse_arming(std::unique_lock<std::mutex> &lock)
{
    return refuse_with_message(lock, messages::kArmingRefused, messages::kArmingCaption);
}

void copy_stamp(EdgeStamp *stamp, Stamp seconds, Stamp microseconds)
{
    if (stamp == nullptr)
        return;
    stamp->Seconds = static_cast<int32_t>(connection.interruptCommands[seconds].Data.Dword);
    stamp->Microseconds = static_cast<int32_t>(connection.interruptCommands[microseconds].Data.Dword);
}

// Blocks, on a handle of its own, until an interrupt was serviced or the
// interrupt was disarmed, then copies the stamps while the lock keeps an
// arming out.  A wait that could not reach the driver reports neither an
// interrupt nor a disarm: kRefused, rather than whatever data was left.
int32_t wait_for_interrupt(EdgeStamp *rising, EdgeStamp *falling)
{
    BoardConnection &c = connection;
    auto lock = lock_connection();
    waitsChanged.wait(lock, [&] { return !c.armingPending; });
    ++c.waitsInDriver;
    lock.unlock();

    bool reached = driver_call(IOCTL_WD_INT_WAIT, kInvalidDeviceHandle, &c.interrupt, sizeof c.interrupt, true);

    lock.lock();
    --c.waitsInDriver;
    waitsChanged.notify_all();
    if (!reached)
        return kRefused;
    if (c.interrupt.fStopped)
        return kWaitDisarmed;
    copy_stamp(rising, kRiseSeconds, kRiseMicroseconds);
    copy_stamp(falling, kFallSeconds, kFallMicroseconds);
    return kDone;
}

} // namespace
} // namespace tcr7750

using namespace tcr7750;

extern "C" int32_t TCR7750_CALL EnableTimestampInterrupt(int32_t fallingEdge)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    InterruptCommands service{};
    service[kRiseSeconds] = register_read(REG_RISE_SECONDS, REG_RISE_SECONDS_WIDTH);
    service[kRiseMicroseconds] = register_read(REG_RISE_MICROSECONDS, REG_RISE_MICROSECONDS_WIDTH);
    service[kFallSeconds] = register_read(REG_FALL_SECONDS, REG_FALL_SECONDS_WIDTH);
    service[kFallMicroseconds] = register_read(REG_FALL_MICROSECONDS, REG_FALL_MICROSECONDS_WIDTH);
    if (!arm_interrupt(lock, service, 4, INTERRUPT_CMD_COPY))
        return refuse_arming(lock);

    uint16_t shadow = connection.controlShadow & ~CTL_FALLING_EDGE;
    if (fallingEdge != 0)
        shadow |= CTL_FALLING_EDGE;
    connection.controlShadow = shadow | CTL_TIMESTAMP_ENABLE;
    TransferList list;
    list.write(REG_CONTROL, connection.controlShadow);
    return list.send() ? kDone : kRefused;
}

extern "C" int32_t TCR7750_CALL EnablePeriodicInterrupt(int32_t period)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    connection.controlShadow |= CTL_PERIODIC_ENABLE;
    // The acknowledge value is fixed now: later shadow changes do not reach it.
    const uint16_t acknowledge = connection.controlShadow | CTL_PERIODIC_ACK;
    InterruptCommands service{};
    service[0] = register_write(REG_CONTROL, acknowledge);
    if (!arm_interrupt(lock, service, 1, 0))
        return refuse_arming(lock);

    TransferList list;
    list.write(REG_PERIOD, static_cast<uint16_t>(period));
    list.write(REG_CONTROL, acknowledge);
    return list.send() ? kDone : kRefused;
}

extern "C" int32_t TCR7750_CALL WaitForTimestampInterrupt(EdgeStamp *rising, EdgeStamp *falling)
{
    return wait_for_interrupt(rising, falling);
}

extern "C" int32_t TCR7750_CALL WaitForPeriodicInterrupt(void)
{
    return wait_for_interrupt(nullptr, nullptr);
}

extern "C" int32_t TCR7750_CALL DisableBoardInterrupts(void)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    connection.controlShadow &= ~CTL_ENABLE_MASK;
    TransferList list;
    list.write(REG_CONTROL, connection.controlShadow | CTL_DISABLE_STROBE);
    list.read(REG_RISE_SECONDS, REG_RISE_SECONDS_WIDTH);
    list.read(REG_RISE_MICROSECONDS, REG_RISE_MICROSECONDS_WIDTH);
    list.read(REG_FALL_SECONDS, REG_FALL_SECONDS_WIDTH);
    list.read(REG_FALL_MICROSECONDS, REG_FALL_MICROSECONDS_WIDTH);
    bool written = list.send();
    // Disarm even when the writes failed: this is what releases a waiter.
    bool disarmed = driver_call(IOCTL_WD_INT_DISABLE, connection.driverHandle, &connection.interrupt,
                                sizeof connection.interrupt, false);
    return written && disarmed ? kDone : kRefused;
}
