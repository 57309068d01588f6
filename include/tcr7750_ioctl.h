/* SPDX-License-Identifier: GPL-2.0-only OR MIT */
/*
 * The TCR7750 character device as programs see it: the ten control
 * commands and the 20-byte time record that read() returns.
 *
 * Shared by the kernel module, the console tools and the guest tests; plain
 * C that kernel C and user-space C or C++ include alike.
 */
#ifndef TCR7750_IOCTL_H
#define TCR7750_IOCTL_H

#include <linux/ioctl.h>
#include <linux/types.h>
#ifdef __KERNEL__
#include <linux/stddef.h>
#else
#include <stddef.h>
#endif

#include "tcr7750_regs.h"
#include "tcr7750_static_assert.h"

#define TCR7750_DEVICE_NAME "tcr7750"     /* as listed in /proc/devices */
#define TCR7750_DEVICE_PATH "/dev/tcr7750"

/*
 * Beside the device, the board is a PTP hardware clock (/dev/ptpN) of this
 * name, and its PCI device shows read-only attributes; irig_mode is one of
 * the three texts below.
 */
#define TCR7750_CLOCK_NAME "tcr7750"
#define TCR7750_IRIG_MODE_TEXT_STANDARD "standard"
#define TCR7750_IRIG_MODE_TEXT_AFNOR    "afnor"
#define TCR7750_IRIG_MODE_TEXT_TD       "td"

/* The text of the decoding a control register value selects. */
static inline const char *tcr7750_irig_mode_text(unsigned int control)
{
	switch (control & CTL_MODE_MASK) {
	case CTL_MODE_AFNOR:
		return TCR7750_IRIG_MODE_TEXT_AFNOR;
	case CTL_MODE_TD:
		return TCR7750_IRIG_MODE_TEXT_TD;
	default:
		return TCR7750_IRIG_MODE_TEXT_STANDARD;
	}
}

/*
 * Commands.  Every command that moves data encodes the size 8, the width of a
 * pointer on x86-64, whatever it moves: the argument is the address of the
 * caller's variable.  The size is spelt with a fixed 8-byte type, so that
 * 32-bit programs compute the same numbers as 64-bit ones.
 */
#define TCR7750_IOC_TYPE  0xE0
#define TCR7750_IOC_MAXNR 9

#define TCR7750_IOC_DISABLE        _IO(TCR7750_IOC_TYPE, 0)
#define TCR7750_IOC_SET_YEAR       _IOW(TCR7750_IOC_TYPE, 1, __u64) /* in: __u16 year */
#define TCR7750_IOC_GET_STATUS     _IOR(TCR7750_IOC_TYPE, 2, __u64) /* out: __u32, control << 16 | status */
#define TCR7750_IOC_SET_PERIOD     _IOW(TCR7750_IOC_TYPE, 3, __u64) /* in: __u16 tenths of a second */
#define TCR7750_IOC_ENABLE_TS      _IOW(TCR7750_IOC_TYPE, 4, __u64) /* in: __u8, non-zero: falling edge */
#define TCR7750_IOC_GET_TS         _IOR(TCR7750_IOC_TYPE, 5, __u64) /* out: struct tcr7750_timestamps, live */
#define TCR7750_IOC_GET_STORED_TS  _IOR(TCR7750_IOC_TYPE, 6, __u64) /* out: struct tcr7750_timestamps, latched */
#define TCR7750_IOC_SET_IRIG_MODE  _IOW(TCR7750_IOC_TYPE, 7, __u64) /* in: __u8 mode */
#define TCR7750_IOC_GET_VERSION    _IOR(TCR7750_IOC_TYPE, 8, __u64) /* out: 16 bytes */
#define TCR7750_IOC_DUMP           _IOR(TCR7750_IOC_TYPE, 9, __u64) /* out: 256 bytes */

/* Mode bytes of TCR7750_IOC_SET_IRIG_MODE; 1 and 4 to 255 change nothing. */
#define TCR7750_IRIG_MODE_STANDARD 0
#define TCR7750_IRIG_MODE_AFNOR    2
#define TCR7750_IRIG_MODE_TD       3

/* GET_VERSION copies the REG_VERSION_SIZE bytes of the version text, DUMP the
 * TCR7750_WINDOW_SIZE bytes of the register window (tcr7750_regs.h). */

TCR7750_STATIC_ASSERT(TCR7750_IOC_DISABLE == 0x0000E000u, "command 0");
TCR7750_STATIC_ASSERT(TCR7750_IOC_SET_YEAR == 0x4008E001u, "command 1");
TCR7750_STATIC_ASSERT(TCR7750_IOC_GET_STATUS == 0x8008E002u, "command 2");
TCR7750_STATIC_ASSERT(TCR7750_IOC_SET_PERIOD == 0x4008E003u, "command 3");
TCR7750_STATIC_ASSERT(TCR7750_IOC_ENABLE_TS == 0x4008E004u, "command 4");
TCR7750_STATIC_ASSERT(TCR7750_IOC_GET_TS == 0x8008E005u, "command 5");
TCR7750_STATIC_ASSERT(TCR7750_IOC_GET_STORED_TS == 0x8008E006u, "command 6");
TCR7750_STATIC_ASSERT(TCR7750_IOC_SET_IRIG_MODE == 0x4008E007u, "command 7");
TCR7750_STATIC_ASSERT(TCR7750_IOC_GET_VERSION == 0x8008E008u, "command 8");
TCR7750_STATIC_ASSERT(TCR7750_IOC_DUMP == 0x8008E009u, "command 9");

/* The four time-stamp registers, rise then fall, seconds then microseconds. */
struct tcr7750_timestamps {
	__u32 rise_seconds;
	__u32 rise_microseconds;
	__u32 fall_seconds;
	__u32 fall_microseconds;
};

/* The record of one read(), little-endian, copied from the board's registers. */
struct tcr7750_time {
	__u16 status;        /* REG_STATUS, whole word */
	__u8 sign_negative;  /* ST_SIGN_NEGATIVE of that word, 0 or 1 */
	__u8 state_s;        /* ST_STATE_S of that word, 0 or 1 */
	__u8 hour;
	__u8 minute;
	__u8 second;
	__u8 unused;         /* always 0 */
	__u32 microsecond;
	__u16 day_of_year;
	__u16 year;
	__u16 month;         /* the low byte of REG_MONTH */
	__u8 day;
	__u8 weekday;
};

#define TCR7750_TIME_SIZE 20

TCR7750_STATIC_ASSERT(sizeof(struct tcr7750_timestamps) == 16, "time stamps are 16 bytes");
TCR7750_STATIC_ASSERT(sizeof(struct tcr7750_time) == TCR7750_TIME_SIZE, "time record is 20 bytes");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, sign_negative) == 2, "sign at 2");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, state_s) == 3, "state at 3");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, hour) == 4, "hour at 4");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, second) == 6, "second at 6");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, unused) == 7, "gap at 7");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, microsecond) == 8, "microsecond at 8");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, day_of_year) == 12, "day of year at 12");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, year) == 14, "year at 14");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, month) == 16, "month at 16");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, day) == 18, "day at 18");
TCR7750_STATIC_ASSERT(offsetof(struct tcr7750_time, weekday) == 19, "weekday at 19");

#endif /* TCR7750_IOCTL_H */
