/* SPDX-License-Identifier: MIT */
/*
 * The WinDriver requests and records this library sends, written from their
 * sizes and the fields the library uses.  Fields the library does not use
 * fill the records out to the sizes the driver expects; their names and
 * types are ours.
 *
 * Sizes hold exactly on the 32-bit target (checked below).  On the 64-bit
 * target the address fields are pointer-sized and the records grow.
 */
#ifndef TCR7750_WINDRIVER_H
#define TCR7750_WINDRIVER_H

#include <cstddef>
#include <cstdint>

/* ---- request codes: device type 0x9538, METHOD_NEITHER, any access ---- */

constexpr uint32_t wd_control_code(uint32_t function)
{
    return 0x9538u << 16 | function << 2 | 3u;
}

constexpr uint32_t IOCTL_WD_TRANSFER = wd_control_code(0x903);
constexpr uint32_t IOCTL_WD_MULTI_TRANSFER = wd_control_code(0x904);
constexpr uint32_t IOCTL_WD_PCI_SCAN_CARDS = wd_control_code(0x90E);
constexpr uint32_t IOCTL_WD_PCI_GET_CARD_INFO = wd_control_code(0x90F);
constexpr uint32_t IOCTL_WD_VERSION = wd_control_code(0x910);
constexpr uint32_t IOCTL_WD_INT_ENABLE = wd_control_code(0x91E);
constexpr uint32_t IOCTL_WD_INT_DISABLE = wd_control_code(0x91F);
constexpr uint32_t IOCTL_WD_INT_WAIT = wd_control_code(0x94B);
constexpr uint32_t IOCTL_WD_CARD_REGISTER = wd_control_code(0x97D);

static_assert(IOCTL_WD_TRANSFER == 0x9538240F);
static_assert(IOCTL_WD_MULTI_TRANSFER == 0x95382413);
static_assert(IOCTL_WD_PCI_SCAN_CARDS == 0x9538243B);
static_assert(IOCTL_WD_PCI_GET_CARD_INFO == 0x9538243F);
static_assert(IOCTL_WD_VERSION == 0x95382443);
static_assert(IOCTL_WD_INT_ENABLE == 0x9538247B);
static_assert(IOCTL_WD_INT_DISABLE == 0x9538247F);
static_assert(IOCTL_WD_INT_WAIT == 0x9538252F);
static_assert(IOCTL_WD_CARD_REGISTER == 0x953825F7);

/* The oldest driver generation whose records match the ones below. */
constexpr uint32_t WD_MINIMUM_VERSION = 521;

/* ---- transfer commands ---- */

enum WD_TRANSFER_CMD : uint32_t {
    RM_BYTE = 30,
    RM_WORD = 31,
    RM_DWORD = 32,
    WM_BYTE = 33,
    WM_WORD = 34,
    WM_DWORD = 35,
};

/* An address in the driver's transfer space: as wide as a pointer. */
using WD_ADDRESS = uintptr_t;

struct WD_TRANSFER {
    WD_ADDRESS dwPort;       /* register base + register offset */
    uint32_t cmdTrans;       /* WD_TRANSFER_CMD */
    uint32_t dwBytes;        /* block transfers only */
    uint32_t fAutoinc;       /* block transfers only */
    uint32_t dwOptions;
    union {
        uint8_t Byte;
        uint16_t Word;
        uint32_t Dword;
        void *pBuffer;       /* block transfers only */
    } Data;
};

/* dwOptions of WD_INTERRUPT: copy the read results back to the waiter's Cmd list. */
constexpr uint32_t INTERRUPT_CMD_COPY = 2;

struct WD_INTERRUPT {
    uint32_t hInterrupt;
    uint32_t dwOptions;
    WD_TRANSFER *Cmd;        /* run by the driver at every interrupt */
    uint32_t dwCmds;
    uint32_t fEnableOk;      /* after IOCTL_WD_INT_ENABLE: armed */
    uint32_t dwCounter;      /* interrupts serviced since arming, as last seen by a wait */
    uint32_t dwLost;         /* interrupts a wait did not see */
    uint32_t fStopped;       /* after IOCTL_WD_INT_WAIT: the interrupt was disarmed */
    uint32_t dwReserved[4];
};

struct WD_VERSION {
    uint32_t dwVer;
    char cVer[100];
};

struct WD_PCI_ID {
    uint32_t dwVendorId;
    uint32_t dwDeviceId;
};

struct WD_PCI_SLOT {
    uint32_t dwBus;
    uint32_t dwSlot;
    uint32_t dwFunction;
};

constexpr size_t WD_PCI_CARDS = 30;

struct WD_PCI_SCAN_CARDS {
    WD_PCI_ID searchId;      /* in: the identity looked for */
    uint32_t dwCards;        /* out: boards found */
    WD_PCI_ID cardId[WD_PCI_CARDS];
    WD_PCI_SLOT cardSlot[WD_PCI_CARDS];
};

enum ITEM_TYPE : uint32_t {
    ITEM_NONE = 0,
    ITEM_INTERRUPT = 1,
    ITEM_MEMORY = 2,
    ITEM_IO = 3,
    ITEM_BUS = 5,
};

struct WD_ITEMS {
    uint32_t item;           /* ITEM_TYPE */
    uint32_t fNotSharable;
    union {
        struct {
            uint32_t dwPhysicalAddr;
            uint32_t dwBytes;
            WD_ADDRESS dwTransAddr;      /* out of registration: where transfers address it */
            WD_ADDRESS dwUserDirectAddr;
            uint32_t dwBar;
        } Mem;
        struct {
            WD_ADDRESS dwAddr;
            uint32_t dwBytes;
            uint32_t dwBar;
        } IO;
        struct {
            uint32_t dwInterrupt;
            uint32_t dwOptions;
            uint32_t hInterrupt;         /* out of registration */
        } Int;
        struct {
            uint32_t dwBusType;
            uint32_t dwBusNum;
            uint32_t dwSlotFunc;
        } Bus;
    } I;
};

constexpr size_t WD_CARD_ITEMS = 20;

struct WD_CARD {
    uint32_t dwItems;
    WD_ITEMS Item[WD_CARD_ITEMS];
};

struct WD_PCI_CARD_INFO {
    WD_PCI_SLOT pciSlot;     /* in */
    WD_CARD Card;            /* out: the board's resources */
};

struct WD_CARD_REGISTER {
    WD_CARD Card;
    uint32_t fCheckLockOnly;
    uint32_t hCard;          /* out: 0 when refused */
    uint32_t dwOptions;
    char cName[32];
    char cDescription[100];
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(WD_TRANSFER) == 24);
static_assert(sizeof(WD_INTERRUPT) == 48);
static_assert(sizeof(WD_VERSION) == 104);
static_assert(sizeof(WD_PCI_SCAN_CARDS) == 612);
static_assert(sizeof(WD_ITEMS) == 28);
static_assert(sizeof(WD_CARD) == 564);
static_assert(sizeof(WD_PCI_CARD_INFO) == 576);
static_assert(sizeof(WD_CARD_REGISTER) == 708);
#endif
static_assert(sizeof(WD_VERSION) == 104 && sizeof(WD_PCI_SCAN_CARDS) == 612);

#endif /* TCR7750_WINDRIVER_H */
