// The interrupt exports.  Arming hands WinDriver a command list that its
// kernel side runs at every interrupt, so each interrupt is serviced at once;
// a waiting thread then picks up what the list read.
#include "board_connection.h"
#include "messages.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750 {
namespace {

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
    driver_call(IOCTL_WD_INT_ENABLE, connection.driverHandle, &record, sizeof record, false);
    if (record.fEnableOk == 0) {
        driver_platform().message_box(messages::kArmingRefused, messages::kArmingCaption);
        return false;
    }
    return true;
}

// Blocks, on a handle of its own, until an interrupt was serviced or the
// interrupt was disarmed.  A wait that could not reach the driver reports
// neither: kRefused, rather than an interrupt with whatever data was left.
int32_t wait_for_interrupt()
{
    WD_INTERRUPT &record = connection.interrupt;
    if (!driver_call(IOCTL_WD_INT_WAIT, kInvalidDeviceHandle, &record, sizeof record, true))
        return kRefused;
    return record.fStopped ? kWaitDisarmed : kDone;
}

void copy_stamp(EdgeStamp *stamp, Stamp seconds, Stamp microseconds)
{
    if (stamp == nullptr)
        return;
    stamp->Seconds = static_cast<int32_t>(connection.interruptCommands[seconds].Data.Dword);
    stamp->Microseconds = static_cast<int32_t>(connection.interruptCommands[microseconds].Data.Dword);
}

} // namespace
} // namespace tcr7750

using namespace tcr7750;

extern "C" int32_t TCR7750_CALL EnableTimestampInterrupt(int32_t fallingEdge)
{
    if (!connection.open)
        return kRefused;
    auto &service = connection.interruptCommands;
    service = {};
    service[kRiseSeconds] = register_read(REG_RISE_SECONDS, REG_RISE_SECONDS_WIDTH);
    service[kRiseMicroseconds] = register_read(REG_RISE_MICROSECONDS, REG_RISE_MICROSECONDS_WIDTH);
    service[kFallSeconds] = register_read(REG_FALL_SECONDS, REG_FALL_SECONDS_WIDTH);
    service[kFallMicroseconds] = register_read(REG_FALL_MICROSECONDS, REG_FALL_MICROSECONDS_WIDTH);
    if (!arm_interrupt(4, INTERRUPT_CMD_COPY))
        return kRefused;

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
    if (!connection.open)
        return kRefused;
    connection.controlShadow |= CTL_PERIODIC_ENABLE;
    // The acknowledge value is fixed now: later shadow changes do not reach it.
    const uint16_t acknowledge = connection.controlShadow | CTL_PERIODIC_ACK;
    auto &service = connection.interruptCommands;
    service = {};
    service[0] = register_write(REG_CONTROL, acknowledge);
    if (!arm_interrupt(1, 0))
        return kRefused;

    TransferList list;
    list.write(REG_PERIOD, static_cast<uint16_t>(period));
    list.write(REG_CONTROL, acknowledge);
    return list.send() ? kDone : kRefused;
}

extern "C" int32_t TCR7750_CALL WaitForTimestampInterrupt(EdgeStamp *rising, EdgeStamp *falling)
{
    int32_t result = wait_for_interrupt();
    if (result != kDone)
        return result;
    copy_stamp(rising, kRiseSeconds, kRiseMicroseconds);
    copy_stamp(falling, kFallSeconds, kFallMicroseconds);
    return kDone;
}

extern "C" int32_t TCR7750_CALL WaitForPeriodicInterrupt(void)
{
    return wait_for_interrupt();
}

extern "C" int32_t TCR7750_CALL DisableBoardInterrupts(void)
{
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
