// The interrupt exports.  Arming hands WinDriver a command list that its
// kernel side runs at every interrupt, so each interrupt is serviced at once;
// a waiting thread then picks up what the list read.
#include "board_connection.h"
#include "register_transfers.h"
#include "messages.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750 {
namespace {

using InterruptCommands = std::array<WD_TRANSFER, kInterruptCommandSlots>;

enum Stamp { kRiseSeconds, kRiseMicroseconds, kFallSeconds, kFallMicroseconds };

// Arms the board's interrupt with the first commandCount commands of the
// interrupt command list.  The driver says in fEnableOk whether it took it.
bool arm_interrupt(uint32_t commandCount, uint32_t options)
{
    WD_INTERRUPT &record = connection.interrupt;
    record = {};
    record.hInterrupt = connection.interruptHandle;
    record.Cmd = connection.interruptCommands.data();
    record.dwCmds = commandCount;
    record.dwOptions = options;
    ++connection.armings;
    driver_call(IOCTL_WD_INT_ENABLE, connection.driverHandle, &record, sizeof record, false);
    return record.fEnableOk != 0;
}

int32_t refuse_arming(std::unique_lock<std::mutex> &lock)
{
    return refuse_with_message(lock, messages::kArmingRefused, messages::kArmingCaption);
}

// Blocks, on a handle of its own, until an interrupt was serviced or the
// interrupt was disarmed.  The wait works on its own copy of the interrupt
// record and command list, so the controlling thread may disarm or arm again
// meanwhile; what it saw is kept for the next wait unless an arming came
// in between.  A wait that could not reach the driver reports neither an
// interrupt nor a disarm: kRefused, rather than whatever data was left.
int32_t wait_for_interrupt(InterruptCommands &commands)
{
    auto lock = lock_connection();
    WD_INTERRUPT record = connection.interrupt;
    commands = connection.interruptCommands;
    const uint32_t arming = connection.armings;
    lock.unlock();

    if (record.Cmd != nullptr)
        record.Cmd = commands.data();
    bool reached = driver_call(IOCTL_WD_INT_WAIT, kInvalidDeviceHandle, &record, sizeof record, true);

    lock.lock();
    if (!reached)
        return kRefused;
    if (arming == connection.armings) {
        connection.interrupt.dwCounter = record.dwCounter;
        connection.interrupt.dwLost = record.dwLost;
        connection.interrupt.fStopped = record.fStopped;
        connection.interruptCommands = commands;
    }
    return record.fStopped ? kWaitDisarmed : kDone;
}

void copy_stamp(const InterruptCommands &commands, EdgeStamp *stamp, Stamp seconds, Stamp microseconds)
{
    if (stamp == nullptr)
        return;
    stamp->Seconds = static_cast<int32_t>(commands[seconds].Data.Dword);
    stamp->Microseconds = static_cast<int32_t>(commands[microseconds].Data.Dword);
}

} // namespace
} // namespace tcr7750

using namespace tcr7750;

extern "C" int32_t TCR7750_CALL EnableTimestampInterrupt(int32_t fallingEdge)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    InterruptCommands &service = connection.interruptCommands;
    service = {};
    service[kRiseSeconds] = register_read(REG_RISE_SECONDS, REG_RISE_SECONDS_WIDTH);
    service[kRiseMicroseconds] = register_read(REG_RISE_MICROSECONDS, REG_RISE_MICROSECONDS_WIDTH);
    service[kFallSeconds] = register_read(REG_FALL_SECONDS, REG_FALL_SECONDS_WIDTH);
    service[kFallMicroseconds] = register_read(REG_FALL_MICROSECONDS, REG_FALL_MICROSECONDS_WIDTH);
    if (!arm_interrupt(4, INTERRUPT_CMD_COPY))
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
    InterruptCommands &service = connection.interruptCommands;
    service = {};
    service[0] = register_write(REG_CONTROL, acknowledge);
    if (!arm_interrupt(1, 0))
        return refuse_arming(lock);

    TransferList list;
    list.write(REG_PERIOD, static_cast<uint16_t>(period));
    list.write(REG_CONTROL, acknowledge);
    return list.send() ? kDone : kRefused;
}

extern "C" int32_t TCR7750_CALL WaitForTimestampInterrupt(EdgeStamp *rising, EdgeStamp *falling)
{
    InterruptCommands commands;
    int32_t result = wait_for_interrupt(commands);
    if (result != kDone)
        return result;
    copy_stamp(commands, rising, kRiseSeconds, kRiseMicroseconds);
    copy_stamp(commands, falling, kFallSeconds, kFallMicroseconds);
    return kDone;
}

extern "C" int32_t TCR7750_CALL WaitForPeriodicInterrupt(void)
{
    InterruptCommands commands;
    return wait_for_interrupt(commands);
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
