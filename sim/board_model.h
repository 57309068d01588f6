/* SPDX-License-Identifier: MIT */
/*
 * Register-level model of the TCR7750 board.
 *
 * One small C core with no dependencies: it runs in user space (under the
 * simulated WinDriver, in tests and demos) and inside QEMU (as the kernel
 * kit's board device behind the real driver, sim/qemu/).  The host owns the memory of the model
 * and drives its time; the model never allocates, sleeps or locks.
 *
 * Time.  By default time is virtual: it moves only when the host calls
 * tcr7750_model_advance(), so every scenario is instant and repeatable.  With
 * tcr7750_model_set_clock() the model follows a host clock instead: every
 * register access first catches up with that clock (the real-time mode).
 *
 * Behaviour the hardware leaves open, as this model chooses it:
 *  - The decoded time starts at 2008-01-01 00:00:00 UTC until the host sets
 *    one (hosts set the current UTC time).  Day of year counts from 1.
 *    Day of week counts 0 = Sunday to 6 = Saturday, as Windows does.
 *  - Status bit 1 flags a captured rising edge, bit 2 a falling one
 *    (ST_RISE_CAPTURED, ST_FALL_CAPTURED).
 *  - A read that touches the time-stamp registers (0x88-0x97) clears both
 *    time-stamp pending bits: that is how the service sequence, which writes
 *    nothing, acknowledges them.
 *  - A time stamp holds the seconds of the day (0 to 86399) and the
 *    microseconds of the second at the edge.
 *  - CTL_PERIODIC_ACK clears the periodic pending bit; CTL_DISABLE_STROBE
 *    clears every pending bit.
 *  - The periodic interrupt comes every REG_PERIOD tenths of a second,
 *    counted from the write of REG_PERIOD or from the write that sets
 *    CTL_PERIODIC_ENABLE, whichever came last.  A period of 0 raises none.
 *    A pending bit stays set until acknowledged; a period elapsing while it
 *    is set changes nothing.
 *  - CTL_LOAD_YEAR replaces the year and keeps the day of year and the time
 *    of day; month, day and day of week follow from them (day 366 of a year
 *    that has 365 becomes 31 December).
 *  - The decoding field 11 decodes as standard IRIG B.  In the TD/H0
 *    decoding (10) the day of year, hours, minutes, seconds and microseconds
 *    registers show the time difference set by the host; the date registers
 *    go on showing the date.
 *  - REG_CONTROL reads back its level bits; write-only registers and
 *    offsets with no named use read as 0.  A read at any width returns the
 *    little-endian bytes of the registers it covers.  Writes change only
 *    REG_CONTROL, REG_INITIAL_YEAR and REG_PERIOD, whatever their width.
 *  - The interrupt line is asserted while a pending bit is set whose enable
 *    bit is set.
 */
#ifndef TCR7750_BOARD_MODEL_H
#define TCR7750_BOARD_MODEL_H

#ifdef __KERNEL__
#include <linux/types.h>
#else
#include <stddef.h>
#include <stdint.h>
#endif

#include "tcr7750_regs.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TCR7750_NS_PER_SEC  1000000000ULL
#define TCR7750_NS_PER_TENTH 100000000ULL

/* Default version text: "TCR7750" at 0xE0, "SIM 1.0" at 0xE8, zero bytes between. */
#define TCR7750_MODEL_DEFAULT_VERSION "TCR7750\0SIM 1.0"

struct tcr7750_datetime {
	uint16_t year;
	uint8_t month;        /* 1-12 */
	uint8_t day;          /* 1-31 */
	uint8_t hour;
	uint8_t minute;
	uint8_t second;
	uint32_t microsecond;
	uint16_t day_of_year; /* out only: 1-366 */
	uint8_t day_of_week;  /* out only: 0 = Sunday */
};

/* What the time registers carry in the TD/H0 decoding. */
struct tcr7750_time_difference {
	int negative;          /* ST_SIGN_NEGATIVE */
	int state_s;           /* ST_STATE_S */
	uint16_t day_of_year;
	uint16_t hours;
	uint16_t minutes;
	uint16_t seconds;
	uint32_t microseconds;
};

enum tcr7750_edge { TCR7750_EDGE_RISING, TCR7750_EDGE_FALLING };

enum tcr7750_direction { TCR7750_READ = 0, TCR7750_WRITE = 1 };

/* One register access, as the access log records it. */
struct tcr7750_access {
	uint16_t offset;
	uint8_t width;       /* bytes: 1, 2 or 4 */
	uint8_t direction;   /* enum tcr7750_direction */
	uint32_t value;
	uint8_t wrong_width; /* 1: it met a register at another offset or width than the register's own */
};

/* A time stamp as the board captured it. */
struct tcr7750_stamp {
	uint32_t seconds;      /* of the day */
	uint32_t microseconds; /* of the second */
};

typedef void (*tcr7750_line_handler)(void *context, int asserted);
typedef uint64_t (*tcr7750_clock)(void *context);

struct tcr7750_model {
	int64_t unix_seconds;  /* decoded time, UTC */
	uint32_t subsecond_ns;
	uint64_t elapsed_ns;   /* model time since init */

	uint16_t status;       /* settable bits; pending bits live in .pending */
	uint16_t pending;      /* ST_TIMESTAMP_IRQ / ST_PERIODIC_IRQ bits */
	uint16_t control;      /* level bits as last written */
	uint16_t initial_year; /* REG_INITIAL_YEAR as last written */
	uint16_t period;       /* REG_PERIOD as last written */
	uint64_t next_periodic_ns; /* elapsed_ns of the next periodic interrupt; 0: none */
	struct tcr7750_time_difference td;
	struct tcr7750_stamp rise, fall; /* the time-stamp registers */
	uint8_t version[REG_VERSION_SIZE];

	/* What the host may want to know about writes. */
	uint16_t last_control_write; /* pulse bits included */
	uint32_t control_writes;
	uint32_t periodic_raised;    /* periodic interrupts raised so far */

	int line;              /* interrupt line level */
	tcr7750_line_handler line_handler;
	void *line_context;

	tcr7750_clock clock;   /* non-null: real-time mode */
	void *clock_context;
	uint64_t clock_last_ns;

	struct tcr7750_access *log; /* host-supplied; null: no log */
	size_t log_capacity;
	size_t log_count;      /* accesses seen since the last clear; may exceed capacity */
};

/* Reset to power-on: time 2008-01-01 00:00:00, status 0, control 0, virtual time. */
void tcr7750_model_init(struct tcr7750_model *m);

/* ---- what the board's bus sees ---- */
uint32_t tcr7750_model_read(struct tcr7750_model *m, unsigned offset, unsigned width);
void tcr7750_model_write(struct tcr7750_model *m, unsigned offset, unsigned width, uint32_t value);
int tcr7750_model_line(const struct tcr7750_model *m);
/* The whole window as reads would return it now: no catch-up with the
 * clock, no log entry, no side effect.  For hosts that mirror it in memory. */
void tcr7750_model_snapshot(const struct tcr7750_model *m, uint8_t window[TCR7750_WINDOW_SIZE]);

/* ---- time ---- */
void tcr7750_model_set_datetime(struct tcr7750_model *m, const struct tcr7750_datetime *t);
void tcr7750_model_set_unix_time(struct tcr7750_model *m, int64_t seconds, uint32_t ns);
void tcr7750_model_get_datetime(const struct tcr7750_model *m, struct tcr7750_datetime *t);
void tcr7750_model_advance(struct tcr7750_model *m, uint64_t ns);
/* Real-time mode: follow clock(context), in nanoseconds.  Null: virtual time. */
void tcr7750_model_set_clock(struct tcr7750_model *m, tcr7750_clock clock, void *context);
void tcr7750_model_sync(struct tcr7750_model *m); /* catch up with the clock now */

/* ---- what the time code and the inputs bring ---- */
/* Every bit but the pending ones (ST_BOARD_IRQ), which the model owns. */
void tcr7750_model_set_status(struct tcr7750_model *m, uint16_t status);
void tcr7750_model_set_time_difference(struct tcr7750_model *m, const struct tcr7750_time_difference *td);
void tcr7750_model_edge(struct tcr7750_model *m, enum tcr7750_edge edge);
void tcr7750_model_set_version(struct tcr7750_model *m, const uint8_t text[REG_VERSION_SIZE]);
/* Test hook: set pending bits directly, as if the board had raised them. */
void tcr7750_model_raise_pending(struct tcr7750_model *m, uint16_t bits);

/* ---- host plumbing ---- */
void tcr7750_model_set_line_handler(struct tcr7750_model *m, tcr7750_line_handler handler, void *context);
void tcr7750_model_set_log(struct tcr7750_model *m, struct tcr7750_access *buffer, size_t capacity);
void tcr7750_model_clear_log(struct tcr7750_model *m);

/* Calendar helpers (proleptic Gregorian, UTC). */
int64_t tcr7750_days_from_civil(int year, unsigned month, unsigned day);
void tcr7750_civil_from_days(int64_t days, int *year, unsigned *month, unsigned *day);
int tcr7750_is_leap_year(int year);

#ifdef __cplusplus
}
#endif

#endif /* TCR7750_BOARD_MODEL_H */
