// SPDX-License-Identifier: MIT
/*
 * TCR7750 board model.  See board_model.h for what it models and the
 * choices it makes where the hardware contract is silent.
 */
#include "board_model.h"

#define SECONDS_PER_DAY 86400

/* ---- calendar ------------------------------------------------------------ */

/* Days since 1970-01-01 of a civil date (Howard Hinnant's algorithm). */
int64_t tcr7750_days_from_civil(int year, unsigned month, unsigned day)
{
	int64_t y = (int64_t)year - (month <= 2);
	int64_t era = (y >= 0 ? y : y - 399) / 400;
	unsigned yoe = (unsigned)(y - era * 400);
	unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
	unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
	return era * 146097 + (int64_t)doe - 719468;
}

void tcr7750_civil_from_days(int64_t days, int *year, unsigned *month, unsigned *day)
{
	int64_t z = days + 719468;
	int64_t era = (z >= 0 ? z : z - 146096) / 146097;
	unsigned doe = (unsigned)(z - era * 146097);
	unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
	unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
	unsigned mp = (5 * doy + 2) / 153;
	unsigned d = doy - (153 * mp + 2) / 5 + 1;
	unsigned m = mp < 10 ? mp + 3 : mp - 9;

	*year = (int)((int64_t)yoe + era * 400 + (m <= 2));
	*month = m;
	*day = d;
}

int tcr7750_is_leap_year(int year)
{
	return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

static int64_t floor_div(int64_t a, int64_t b)
{
	int64_t q = a / b;
	return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

static uint32_t microseconds_now(const struct tcr7750_model *m)
{
	return m->subsecond_ns / 1000;
}

/* ---- the register window ------------------------------------------------- */

#define ANSWER(reg, value)            \
	case reg:                     \
		*width = reg##_WIDTH; \
		return (value)

/*
 * The register that starts at offset: what a read of it returns, and its
 * width in *width (0: no register starts there).  This is the one place a
 * read is answered; t is the decoded date and time.
 */
static uint32_t register_value(const struct tcr7750_model *m, const struct tcr7750_datetime *t,
			       unsigned offset, unsigned *width)
{
	/* The TD/H0 decoding shows the time difference in the time registers. */
	const struct tcr7750_time_difference *td =
		(m->control & CTL_MODE_MASK) == CTL_MODE_TD ? &m->td : NULL;

	if (offset >= REG_VERSION && offset < REG_VERSION + REG_VERSION_SIZE) {
		*width = REG_VERSION_WIDTH;
		return m->version[offset - REG_VERSION];
	}
	switch (offset) {
	ANSWER(REG_STATUS, (uint16_t)(m->status | m->pending));
	ANSWER(REG_MICROSECONDS, td ? td->microseconds : t->microsecond);
	ANSWER(REG_DAY_OF_YEAR, td ? td->day_of_year : t->day_of_year);
	ANSWER(REG_YEAR, t->year);
	ANSWER(REG_MONTH, t->month);
	ANSWER(REG_DAY, t->day);
	ANSWER(REG_DAY_OF_WEEK, t->day_of_week);
	ANSWER(REG_HOURS, td ? td->hours : t->hour);
	ANSWER(REG_MINUTES, td ? td->minutes : t->minute);
	ANSWER(REG_SECONDS, td ? td->seconds : t->second);
	ANSWER(REG_CONTROL, m->control);
	ANSWER(REG_INITIAL_YEAR, 0); /* write only */
	ANSWER(REG_PERIOD, 0);       /* write only */
	ANSWER(REG_RISE_SECONDS, m->rise.seconds);
	ANSWER(REG_RISE_MICROSECONDS, m->rise.microseconds);
	ANSWER(REG_FALL_SECONDS, m->fall.seconds);
	ANSWER(REG_FALL_MICROSECONDS, m->fall.microseconds);
	default:
		*width = 0;
		return 0;
	}
}

#undef ANSWER

/*
 * Byte offset of the window as a read returns it; *in_register is set when
 * a register holds that byte.  Registers are aligned to their width, so the
 * one holding the byte starts at the byte rounded down to 4, 2 or 1.
 */
static uint8_t window_byte(const struct tcr7750_model *m, const struct tcr7750_datetime *t,
			   unsigned offset, int *in_register)
{
	unsigned size, start, width;

	for (size = 4; size >= 1; size /= 2) {
		uint32_t value;

		start = offset & ~(size - 1);
		value = register_value(m, t, start, &width);
		if (width == size) {
			*in_register = 1;
			return (uint8_t)(value >> (8 * (offset - start)));
		}
	}
	return 0;
}

/*
 * What an access of width bytes at offset meets: the little-endian bytes a
 * read returns, and in *wrong_width whether it met a register at another
 * offset or width than the register's own.
 */
static uint32_t bus_answer(const struct tcr7750_model *m, unsigned offset, unsigned width, int *wrong_width)
{
	struct tcr7750_datetime t;
	unsigned own_width, i;
	uint32_t value;
	int in_register = 0;

	tcr7750_model_get_datetime(m, &t);
	value = register_value(m, &t, offset, &own_width);
	*wrong_width = 0;
	if (own_width == width)
		return value;
	value = 0;
	for (i = 0; i < width; i++)
		value |= (uint32_t)window_byte(m, &t, offset + i, &in_register) << (8 * i);
	*wrong_width = in_register;
	return value;
}

void tcr7750_model_snapshot(const struct tcr7750_model *m, uint8_t window[TCR7750_WINDOW_SIZE])
{
	struct tcr7750_datetime t;
	unsigned offset = 0, width, i;

	tcr7750_model_get_datetime(m, &t);
	while (offset < TCR7750_WINDOW_SIZE) {
		uint32_t value = register_value(m, &t, offset, &width);

		if (width == 0) {
			window[offset++] = 0;
			continue;
		}
		for (i = 0; i < width; i++)
			window[offset + i] = (uint8_t)(value >> (8 * i));
		offset += width;
	}
}

/* ---- the interrupt line -------------------------------------------------- */

static void update_line(struct tcr7750_model *m)
{
	int asserted = ((m->pending & ST_PERIODIC_IRQ) && (m->control & CTL_PERIODIC_ENABLE)) ||
		       ((m->pending & ST_TIMESTAMP_IRQ) && (m->control & CTL_TIMESTAMP_ENABLE));

	if (asserted == m->line)
		return;
	m->line = asserted;
	/* Last: the handler may access registers, even re-enter the model. */
	if (m->line_handler)
		m->line_handler(m->line_context, asserted);
}

int tcr7750_model_line(const struct tcr7750_model *m)
{
	return m->line;
}

/* ---- periodic interrupt -------------------------------------------------- */

static uint64_t period_ns(const struct tcr7750_model *m)
{
	return (uint64_t)m->period * TCR7750_NS_PER_TENTH;
}

static void restart_periodic(struct tcr7750_model *m)
{
	if ((m->control & CTL_PERIODIC_ENABLE) && m->period != 0)
		m->next_periodic_ns = m->elapsed_ns + period_ns(m);
	else
		m->next_periodic_ns = 0;
}

static void raise_periodic(struct tcr7750_model *m)
{
	m->next_periodic_ns += period_ns(m);
	if (m->pending & ST_PERIODIC_IRQ)
		return; /* still not acknowledged: nothing new to raise */
	m->periodic_raised++;
	m->pending |= ST_PERIODIC_IRQ;
	update_line(m);
}

/* ---- time ---------------------------------------------------------------- */

static void move_time(struct tcr7750_model *m, uint64_t ns)
{
	uint64_t total = m->subsecond_ns + ns;

	m->elapsed_ns += ns;
	m->unix_seconds += (int64_t)(total / TCR7750_NS_PER_SEC);
	m->subsecond_ns = (uint32_t)(total % TCR7750_NS_PER_SEC);
}

void tcr7750_model_advance(struct tcr7750_model *m, uint64_t ns)
{
	uint64_t target = m->elapsed_ns + ns;

	/* Stop at every periodic interrupt on the way, so that each is seen. */
	while (m->next_periodic_ns != 0 && m->next_periodic_ns <= target) {
		move_time(m, m->next_periodic_ns - m->elapsed_ns);
		raise_periodic(m);
	}
	move_time(m, target - m->elapsed_ns);
}

void tcr7750_model_set_clock(struct tcr7750_model *m, tcr7750_clock clock, void *context)
{
	m->clock = clock;
	m->clock_context = context;
	if (clock)
		m->clock_last_ns = clock(context);
}

void tcr7750_model_sync(struct tcr7750_model *m)
{
	uint64_t now;

	if (!m->clock)
		return;
	now = m->clock(m->clock_context);
	if (now > m->clock_last_ns) {
		uint64_t delta = now - m->clock_last_ns;

		m->clock_last_ns = now;
		tcr7750_model_advance(m, delta);
	}
}

void tcr7750_model_set_unix_time(struct tcr7750_model *m, int64_t seconds, uint32_t ns)
{
	m->unix_seconds = seconds + ns / TCR7750_NS_PER_SEC;
	m->subsecond_ns = ns % TCR7750_NS_PER_SEC;
}

void tcr7750_model_set_datetime(struct tcr7750_model *m, const struct tcr7750_datetime *t)
{
	int64_t days = tcr7750_days_from_civil(t->year, t->month, t->day);

	tcr7750_model_set_unix_time(m,
		days * SECONDS_PER_DAY + t->hour * 3600 + t->minute * 60 + t->second,
		(uint32_t)(t->microsecond % 1000000) * 1000);
}

void tcr7750_model_get_datetime(const struct tcr7750_model *m, struct tcr7750_datetime *t)
{
	int64_t days = floor_div(m->unix_seconds, SECONDS_PER_DAY);
	int64_t second_of_day = m->unix_seconds - days * SECONDS_PER_DAY;
	int year;
	unsigned month, day;

	tcr7750_civil_from_days(days, &year, &month, &day);
	t->year = (uint16_t)year;
	t->month = (uint8_t)month;
	t->day = (uint8_t)day;
	t->hour = (uint8_t)(second_of_day / 3600);
	t->minute = (uint8_t)(second_of_day / 60 % 60);
	t->second = (uint8_t)(second_of_day % 60);
	t->microsecond = microseconds_now(m);
	t->day_of_year = (uint16_t)(days - tcr7750_days_from_civil(year, 1, 1) + 1);
	/* 1970-01-01 was a Thursday (4). */
	t->day_of_week = (uint8_t)(((days % 7) + 7 + 4) % 7);
}

/* CTL_LOAD_YEAR: new year, same day of year and time of day. */
static void load_initial_year(struct tcr7750_model *m)
{
	struct tcr7750_datetime t;
	int64_t second_of_day;
	unsigned last_day;
	unsigned day_of_year;

	tcr7750_model_get_datetime(m, &t);
	second_of_day = m->unix_seconds - floor_div(m->unix_seconds, SECONDS_PER_DAY) * SECONDS_PER_DAY;
	last_day = tcr7750_is_leap_year(m->initial_year) ? 366 : 365;
	day_of_year = t.day_of_year > last_day ? last_day : t.day_of_year;
	m->unix_seconds = (tcr7750_days_from_civil(m->initial_year, 1, 1) + day_of_year - 1) *
			  SECONDS_PER_DAY + second_of_day;
}

/* ---- time-stamp input ---------------------------------------------------- */

void tcr7750_model_edge(struct tcr7750_model *m, enum tcr7750_edge edge)
{
	int falling_chosen = (m->control & CTL_FALLING_EDGE) != 0;
	struct tcr7750_datetime t;
	uint32_t seconds_of_day;

	tcr7750_model_sync(m);
	if (!(m->control & CTL_TIMESTAMP_ENABLE) || falling_chosen != (edge == TCR7750_EDGE_FALLING))
		return;

	tcr7750_model_get_datetime(m, &t);
	seconds_of_day = (uint32_t)t.hour * 3600 + t.minute * 60 + t.second;
	if (edge == TCR7750_EDGE_RISING) {
		m->rise.seconds = seconds_of_day;
		m->rise.microseconds = t.microsecond;
		m->pending |= ST_RISE_CAPTURED;
	} else {
		m->fall.seconds = seconds_of_day;
		m->fall.microseconds = t.microsecond;
		m->pending |= ST_FALL_CAPTURED;
	}
	update_line(m);
}

/* ---- bus accesses -------------------------------------------------------- */

static void log_access(struct tcr7750_model *m, unsigned offset, unsigned width,
		       enum tcr7750_direction direction, uint32_t value, int wrong_width)
{
	if (m->log && m->log_count < m->log_capacity) {
		struct tcr7750_access *a = &m->log[m->log_count];

		a->offset = (uint16_t)offset;
		a->width = (uint8_t)width;
		a->direction = (uint8_t)direction;
		a->value = value;
		a->wrong_width = (uint8_t)wrong_width;
	}
	m->log_count++;
}

static int touches(unsigned offset, unsigned width, unsigned start, unsigned size)
{
	return offset < start + size && start < offset + width;
}

uint32_t tcr7750_model_read(struct tcr7750_model *m, unsigned offset, unsigned width)
{
	uint32_t value;
	int wrong_width;

	tcr7750_model_sync(m);
	if (width > 4)
		width = 4;
	value = bus_answer(m, offset, width, &wrong_width);
	log_access(m, offset, width, TCR7750_READ, value, wrong_width);

	if (touches(offset, width, REG_TIMESTAMPS, REG_TIMESTAMPS_SIZE) &&
	    (m->pending & ST_TIMESTAMP_IRQ)) {
		m->pending &= (uint16_t)~ST_TIMESTAMP_IRQ;
		update_line(m);
	}
	return value;
}

/* The 16-bit register at reg after a write of width bytes at offset. */
static uint16_t merge16(uint16_t old, unsigned reg, unsigned offset, unsigned width, uint32_t value)
{
	uint16_t merged = old;
	unsigned i;

	for (i = 0; i < width; i++) {
		unsigned byte = offset + i;

		if (byte == reg || byte == reg + 1) {
			unsigned shift = 8 * (byte - reg);

			merged = (uint16_t)((merged & ~(0xFFu << shift)) |
					    (((value >> (8 * i)) & 0xFFu) << shift));
		}
	}
	return merged;
}

static void write_control(struct tcr7750_model *m, uint16_t value)
{
	uint16_t was = m->control;

	m->last_control_write = value;
	m->control_writes++;
	m->control = value & CTL_LEVEL_MASK;

	if (value & CTL_PERIODIC_ACK)
		m->pending &= (uint16_t)~ST_PERIODIC_IRQ;
	if (value & CTL_DISABLE_STROBE)
		m->pending = 0;
	if (value & CTL_LOAD_YEAR)
		load_initial_year(m);
	if ((m->control & CTL_PERIODIC_ENABLE) != (was & CTL_PERIODIC_ENABLE))
		restart_periodic(m);
	update_line(m);
}

void tcr7750_model_write(struct tcr7750_model *m, unsigned offset, unsigned width, uint32_t value)
{
	int wrong_width;

	tcr7750_model_sync(m);
	if (width > 4)
		width = 4;
	bus_answer(m, offset, width, &wrong_width);
	log_access(m, offset, width, TCR7750_WRITE, value, wrong_width);

	if (touches(offset, width, REG_INITIAL_YEAR, 2))
		m->initial_year = merge16(m->initial_year, REG_INITIAL_YEAR, offset, width, value);
	if (touches(offset, width, REG_PERIOD, 2)) {
		m->period = merge16(m->period, REG_PERIOD, offset, width, value);
		restart_periodic(m);
	}
	/* Last, so that a wide write loads the year it carries. */
	if (touches(offset, width, REG_CONTROL, 2))
		write_control(m, merge16(m->control, REG_CONTROL, offset, width, value));
}

/* ---- settings from the host ---------------------------------------------- */

void tcr7750_model_set_status(struct tcr7750_model *m, uint16_t status)
{
	m->status = status & (uint16_t)~ST_BOARD_IRQ;
	update_line(m);
}

void tcr7750_model_set_time_difference(struct tcr7750_model *m, const struct tcr7750_time_difference *td)
{
	m->td = *td;
	m->status &= (uint16_t)~(ST_SIGN_NEGATIVE | ST_STATE_S);
	if (td->negative)
		m->status |= ST_SIGN_NEGATIVE;
	if (td->state_s)
		m->status |= ST_STATE_S;
}

void tcr7750_model_set_version(struct tcr7750_model *m, const uint8_t text[REG_VERSION_SIZE])
{
	unsigned i;

	for (i = 0; i < REG_VERSION_SIZE; i++)
		m->version[i] = text[i];
}

void tcr7750_model_raise_pending(struct tcr7750_model *m, uint16_t bits)
{
	m->pending |= bits & ST_BOARD_IRQ;
	update_line(m);
}

void tcr7750_model_set_line_handler(struct tcr7750_model *m, tcr7750_line_handler handler, void *context)
{
	m->line_handler = handler;
	m->line_context = context;
}

void tcr7750_model_set_log(struct tcr7750_model *m, struct tcr7750_access *buffer, size_t capacity)
{
	m->log = buffer;
	m->log_capacity = buffer ? capacity : 0;
	m->log_count = 0;
}

void tcr7750_model_clear_log(struct tcr7750_model *m)
{
	m->log_count = 0;
}

void tcr7750_model_init(struct tcr7750_model *m)
{
	static const struct tcr7750_datetime start = { 2008, 1, 1, 0, 0, 0, 0, 0, 0 };
	const char *version = TCR7750_MODEL_DEFAULT_VERSION;
	unsigned i;

	for (i = 0; i < sizeof(*m); i++)
		((uint8_t *)m)[i] = 0;
	/* The literal holds 15 characters and its zero: 16 bytes. */
	for (i = 0; i < REG_VERSION_SIZE; i++)
		m->version[i] = (uint8_t)version[i];
	tcr7750_model_set_datetime(m, &start);
}
