// SPDX-License-Identifier: MIT
// The board connection: finding the board on the PCI bus, registering its
// resources with WinDriver, and the two exports that open and close it.
#include <algorithm>

#include "board_connection.h"
#include "messages.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750 {

BoardConnection connection;

namespace {
std::mutex connectionMutex;
} // namespace

std::unique_lock<std::mutex> lock_connection()
{
    return std::unique_lock(connectionMutex);
}

int32_t refuse_with_message(std::unique_lock<std::mutex> &lock, const char *text, const char *caption)
{
    lock.unlock();
    driver_platform().message_box(text, caption);
    return kRefused;
}

void reset_process_state()
{
    auto lock = lock_connection();
    connection = BoardConnection{};
}

namespace {

template <typename Record>
void send_on_connection(uint32_t code, Record &record)
{
    // The driver's answer is read from the record; the call's own result
    // adds nothing, since a failed request leaves the zeroed record.
    driver_call(code, connection.driverHandle, &record, sizeof record, false);
}

size_t item_count(const WD_CARD &card)
{
    return std::min<size_t>(card.dwItems, WD_CARD_ITEMS);
}

// The open procedure; the first step that fails gives its message, and
// null means the board is registered.
const char *find_and_register_board()
{
    BoardConnection &c = connection;

    c.driverHandle = driver_platform().open_device();
    if (c.driverHandle == kInvalidDeviceHandle)
        return messages::kNoDriver;

    WD_VERSION version{};
    send_on_connection(IOCTL_WD_VERSION, version);
    if (version.dwVer < WD_MINIMUM_VERSION)
        return messages::kDriverVersion;

    c.scan = {};
    c.scan.searchId.dwVendorId = TCR7750_PCI_VENDOR_ID;
    c.scan.searchId.dwDeviceId = TCR7750_PCI_DEVICE_ID;
    send_on_connection(IOCTL_WD_PCI_SCAN_CARDS, c.scan);
    if (c.scan.dwCards == 0)
        return messages::kNoBoard;

    // The first board of the scan is the one used, however many there are.
    c.cardInfo = {};
    c.cardInfo.pciSlot = c.scan.cardSlot[0];
    send_on_connection(IOCTL_WD_PCI_GET_CARD_INFO, c.cardInfo);
    if (c.cardInfo.Card.dwItems == 0)
        return messages::kNoResources;

    // Another program may hold the board too: its window and interrupt
    // are registered as sharable.
    c.registration = {};
    c.registration.Card = c.cardInfo.Card;
    c.registration.fCheckLockOnly = 0;
    for (size_t i = 0; i < item_count(c.registration.Card); ++i) {
        WD_ITEMS &item = c.registration.Card.Item[i];
        if (item.item == ITEM_INTERRUPT || item.item == ITEM_MEMORY)
            item.fNotSharable = 0;
    }
    send_on_connection(IOCTL_WD_CARD_REGISTER, c.registration);
    if (c.registration.hCard == 0)
        return messages::kRegistrationRefused;

    bool registerBaseFound = false;
    for (size_t i = 0; i < item_count(c.registration.Card); ++i) {
        const WD_ITEMS &item = c.registration.Card.Item[i];
        if (item.item == ITEM_INTERRUPT) {
            c.interruptHandle = item.I.Int.hInterrupt;
        } else if (item.item == ITEM_MEMORY && !registerBaseFound) {
            c.registerBase = item.I.Mem.dwTransAddr;
            registerBaseFound = true;
        }
    }
    return nullptr;
}

} // namespace

} // namespace tcr7750

using namespace tcr7750;

extern "C" int32_t TCR7750_CALL OpenBoard(void)
{
    auto lock = lock_connection();
    if (connection.open)
        return kRefused;
    if (const char *failure = find_and_register_board())
        return refuse_with_message(lock, failure, messages::kOpenCaption);
    connection.open = true;
    return kDone;
}

extern "C" int32_t TCR7750_CALL CloseBoard(void)
{
    auto lock = lock_connection();
    if (!connection.open)
        return kRefused;
    connection.open = false;
    return kDone;
}
