// SPDX-License-Identifier: MIT
// The configuration exports: the initial year and the decoding mode.  Both
// write REG_CONTROL from the whole shadow, so they re-assert the interrupt
// enable and edge bits too.
#include "board_connection.h"
#include "register_transfers.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750 {
namespace {

// TD and H0 share one decoding.
uint16_t decoding_field(uint32_t mode)
{
    switch (mode) {
    case TCR7750_DECODE_AFNOR:
        return CTL_MODE_AFNOR;
    case TCR7750_DECODE_TD:
    case TCR7750_DECODE_H0:
        return CTL_MODE_TD;
    default:
        return CTL_MODE_STANDARD;
    }
}

} // namespace
} // namespace tcr7750

using namespace tcr7750;

extern "C" int32_t TCR7750_CALL SetBoardInitialYear(int32_t year)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    TransferList list;
    list.write(REG_INITIAL_YEAR, static_cast<uint16_t>(year));
    list.write(REG_CONTROL, connection.controlShadow | CTL_LOAD_YEAR);
    return list.send() ? kDone : kRefused;
}

extern "C" int32_t TCR7750_CALL SetIrigMode(uint32_t mode)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    connection.controlShadow = static_cast<uint16_t>((connection.controlShadow & ~CTL_MODE_MASK) | decoding_field(mode));
    TransferList list;
    list.write(REG_CONTROL, connection.controlShadow);
    return list.send() ? kDone : kRefused;
}
