// SPDX-License-Identifier: MIT
// Register transfer commands and the transfer list of one export.
#include "register_transfers.h"

#include "board_connection.h"

namespace tcr7750 {

WD_TRANSFER register_read(unsigned offset, unsigned width)
{
    WD_TRANSFER transfer{};
    transfer.dwPort = connection.registerBase + offset;
    transfer.cmdTrans = width == 4 ? RM_DWORD : width == 2 ? RM_WORD : RM_BYTE;
    return transfer;
}

WD_TRANSFER register_write(unsigned offset, uint16_t value)
{
    WD_TRANSFER transfer{};
    transfer.dwPort = connection.registerBase + offset;
    transfer.cmdTrans = WM_WORD;
    transfer.Data.Word = value;
    return transfer;
}

size_t TransferList::read(unsigned offset, unsigned width)
{
    commands_.at(count_) = register_read(offset, width);
    return count_++;
}

void TransferList::write(unsigned offset, uint16_t value)
{
    commands_.at(count_++) = register_write(offset, value);
}

bool TransferList::send()
{
    uint32_t code = count_ == 1 ? IOCTL_WD_TRANSFER : IOCTL_WD_MULTI_TRANSFER;
    return driver_call(code, connection.driverHandle, commands_.data(),
                       static_cast<uint32_t>(count_ * sizeof(WD_TRANSFER)), false);
}

uint32_t TransferList::result(size_t position) const
{
    const WD_TRANSFER &command = commands_.at(position);
    switch (command.cmdTrans) {
    case RM_BYTE:
        return command.Data.Byte;
    case RM_WORD:
        return command.Data.Word;
    default:
        return command.Data.Dword;
    }
}

} // namespace tcr7750
