/* SPDX-License-Identifier: GPL-2.0-only OR MIT */
/*
 * TCR7750 hardware contract: PCI identity, register window, status and
 * control bits.  This is the one description of the board; the Windows
 * library, the Linux module and the board model all build on it.
 *
 * Plain C with no includes, so that C, C++ and the Linux kernel can use it.
 * All registers are little-endian.  Time values are plain binary, not BCD.
 */
#ifndef TCR7750_REGS_H
#define TCR7750_REGS_H

/* ---- PCI identity and resources ---------------------------------------- */

#define TCR7750_PCI_VENDOR_ID   0x9010
#define TCR7750_PCI_DEVICE_ID   0xCB01
#define TCR7750_PCI_BAR         0      /* the register window is in BAR 0 */
#define TCR7750_WINDOW_SIZE     0x100  /* 256 bytes, offsets 0x00 to 0xFF */

/*
 * ---- Register map ---------------------------------------------------------
 * REG_x is the offset in the window, REG_x_WIDTH the access width in bytes.
 * Registers are accessed at their own width; the version text with bytes.
 */

/* read only */
#define REG_STATUS                0x00
#define REG_STATUS_WIDTH          2
#define REG_MICROSECONDS          0x04  /* microseconds in the current second */
#define REG_MICROSECONDS_WIDTH    4
#define REG_DAY_OF_YEAR           0x10
#define REG_DAY_OF_YEAR_WIDTH     2
#define REG_YEAR                  0x12  /* full year, e.g. 2008 */
#define REG_YEAR_WIDTH            2
#define REG_MONTH                 0x14
#define REG_MONTH_WIDTH           2
#define REG_DAY                   0x16
#define REG_DAY_WIDTH             2
#define REG_DAY_OF_WEEK           0x18
#define REG_DAY_OF_WEEK_WIDTH     2
#define REG_HOURS                 0x1A  /* value fits the low byte */
#define REG_HOURS_WIDTH           2
#define REG_MINUTES               0x1C  /* value fits the low byte */
#define REG_MINUTES_WIDTH         2
#define REG_SECONDS               0x1E  /* value fits the low byte */
#define REG_SECONDS_WIDTH         2

/* read and write */
#define REG_CONTROL               0x80
#define REG_CONTROL_WIDTH         2

/* write only */
#define REG_INITIAL_YEAR          0x82  /* taken when CTL_LOAD_YEAR is written */
#define REG_INITIAL_YEAR_WIDTH    2
#define REG_PERIOD                0x84  /* periodic interrupt, tenths of a second */
#define REG_PERIOD_WIDTH          2

/* read only: time stamps of the last captured edges */
#define REG_RISE_SECONDS          0x88
#define REG_RISE_SECONDS_WIDTH    4
#define REG_RISE_MICROSECONDS     0x8C
#define REG_RISE_MICROSECONDS_WIDTH 4
#define REG_FALL_SECONDS          0x90
#define REG_FALL_SECONDS_WIDTH    4
#define REG_FALL_MICROSECONDS     0x94
#define REG_FALL_MICROSECONDS_WIDTH 4

/*
 * Version text, 16 bytes read with byte accesses: seven characters at
 * 0xE0-0xE6 and seven at 0xE8-0xEE.  0xE7 and 0xEF carry no character.
 */
#define REG_VERSION               0xE0
#define REG_VERSION_WIDTH         1     /* each byte is read on its own */
#define REG_VERSION_SIZE          16
#define REG_VERSION_PART1         0xE0
#define REG_VERSION_PART2         0xE8
#define REG_VERSION_PART_CHARS    7

/* The time-stamp registers as one block, 0x88-0x97. */
#define REG_TIMESTAMPS            REG_RISE_SECONDS
#define REG_TIMESTAMPS_SIZE       16

/* ---- REG_STATUS bits ----------------------------------------------------- */

#define ST_FRAME_OK          0x0001  /* time code frame received correctly */
/*
 * A time-stamp interrupt is pending: bit 1 for an edge captured on the
 * rising side, bit 2 on the falling side.  The drivers take either bit as a
 * time-stamp interrupt; the clock keeper waits while bit 1 is set.
 */
#define ST_RISE_CAPTURED     0x0002
#define ST_FALL_CAPTURED     0x0004
#define ST_TIMESTAMP_IRQ     (ST_RISE_CAPTURED | ST_FALL_CAPTURED)
#define ST_PERIODIC_IRQ      0x0008  /* a periodic interrupt is pending */
#define ST_ERROR_CODE        0x00F0  /* 4-bit error code, meaningful when ST_FRAME_OK is clear */
#define ST_ERROR_CODE_SHIFT  4
#define ST_TFOM              0x0F00  /* 4-bit time figure of merit (IEEE 1344) */
#define ST_TFOM_SHIFT        8
#define ST_STATE_S           0x1000  /* TD / H0 state: set 'S', clear 'R' */
#define ST_SIGN_NEGATIVE     0x2000  /* TD sign: set '-', clear '+' */

/* Any of these set: the board raised the (shared) interrupt line. */
#define ST_BOARD_IRQ         (ST_TIMESTAMP_IRQ | ST_PERIODIC_IRQ)

/* ---- REG_CONTROL bits ---------------------------------------------------- */

/* Level bits: kept by the board until the next write. */
#define CTL_PERIODIC_ENABLE  0x0001
#define CTL_TIMESTAMP_ENABLE 0x0002
#define CTL_FALLING_EDGE     0x0004  /* time stamp on the falling edge; clear: rising */
#define CTL_MODE_AFNOR       0x0020  /* decoding field, bits 6-5: below */
#define CTL_MODE_TD          0x0040

/* Pulse bits: act once, in the write that carries them; never kept. */
#define CTL_PERIODIC_ACK     0x0008  /* acknowledge a periodic interrupt */
#define CTL_LOAD_YEAR        0x0010  /* take REG_INITIAL_YEAR, written right before */
#define CTL_DISABLE_STROBE   0x0080  /* written by the Windows disable sequence */

#define CTL_LEVEL_MASK       (CTL_PERIODIC_ENABLE | CTL_TIMESTAMP_ENABLE | \
                              CTL_FALLING_EDGE | CTL_MODE_AFNOR | CTL_MODE_TD)
#define CTL_PULSE_MASK       (CTL_PERIODIC_ACK | CTL_LOAD_YEAR | CTL_DISABLE_STROBE)
#define CTL_ENABLE_MASK      (CTL_PERIODIC_ENABLE | CTL_TIMESTAMP_ENABLE)

/*
 * The decoding field, bits 6-5 of REG_CONTROL: CTL_MODE_STANDARD (00),
 * CTL_MODE_AFNOR (01) or CTL_MODE_TD (10, the TD and H0 readings).  11 is
 * never written.
 */
#define CTL_MODE_MASK        (CTL_MODE_AFNOR | CTL_MODE_TD)
#define CTL_MODE_STANDARD    0x0000  /* standard IRIG B */

#endif /* TCR7750_REGS_H */
