/* SPDX-License-Identifier: GPL-2.0-only */
/*
 * The test board's steering window: BAR 2 of the QEMU device tcr7750
 * (tcr7750_pci.c), through which the kit's guest module
 * (tests/kernel/board/) passes the tests' commands and reads the board's
 * state and access log.  Not part of the board: a real card has no BAR 2.
 *
 * The guest writes a command line into STEER_COMMAND and its length into
 * STEER_EXECUTE; STEER_RESULT then says 0 (done) or 1 (refused).  STEER_BUSY
 * stays 1 while an interrupt the command raised is not served: an "advance"
 * goes on past a periodic interrupt only once its acknowledge has lowered
 * the line.  A write to STEER_FINISH says nobody serves the line: such an
 * advance ends at once, and the line raised by "irq" goes down.  A write of STEER_TEXT_STATE or STEER_TEXT_LOG to
 * STEER_TEXT puts the state's or the access log's lines at STEER_TEXT_DATA
 * and their length in STEER_TEXT_LENGTH.  The 64-bit clocks are QEMU's
 * virtual clock, in nanoseconds: now, and at the last read of
 * REG_MICROSECONDS.  STEER_RAISES counts the raises of the line.
 */
#ifndef TCR7750_STEERING_H
#define TCR7750_STEERING_H

#define STEER_BAR               2
#define STEER_SIZE              0x40000
#define STEER_COMMAND           0x000
#define STEER_COMMAND_SIZE      0x100
#define STEER_EXECUTE           0x100 /* 32 bits */
#define STEER_RESULT            0x104 /* 32 bits */
#define STEER_BUSY              0x108 /* 32 bits */
#define STEER_FINISH            0x10c /* 32 bits */
#define STEER_TEXT              0x110 /* 32 bits */
#define STEER_TEXT_LENGTH       0x114 /* 32 bits */
#define STEER_CLOCK             0x118 /* 64 bits */
#define STEER_MICROSECONDS_READ 0x120 /* 64 bits */
#define STEER_RAISES            0x128 /* 64 bits */
#define STEER_TEXT_DATA         0x20000
#define STEER_TEXT_SIZE         0x20000

#define STEER_TEXT_STATE        1
#define STEER_TEXT_LOG          2

#endif /* TCR7750_STEERING_H */
