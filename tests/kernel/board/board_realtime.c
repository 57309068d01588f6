// SPDX-License-Identifier: GPL-2.0-only
/*
 * The real-time mode of the simulated board: the model follows the kernel's
 * raw monotonic clock, which no step or slew of the guest's clock moves, so
 * a time daemon steering the guest's clock onto the board never moves the
 * board.  It starts from the time set, or from the guest's CLOCK_REALTIME
 * plus an offset ("realtime-offset").  The tick timer wakes when the next
 * periodic interrupt is due, or after TICK_MAX_NS, so the simulation costs
 * the guest next to nothing between interrupts.  It is a hard timer: it
 * takes the model's raw lock and may raise the line, which PREEMPT_RT allows
 * only from hard-interrupt context.
 */
#include <linux/hrtimer.h>
#include <linux/ktime.h>
#include <linux/math64.h>
#include <linux/timekeeping.h>

#include "board.h"

#define TICK_MAX_NS       (100 * 1000 * 1000)

static struct hrtimer tick_timer;
static bool realtime; /* under board_model_lock */

static u64 kernel_clock(void *context)
{
	return ktime_get_raw_ns();
}

void schedule_tick(void)
{
	u64 wait = TICK_MAX_NS;

	if (!realtime)
		return;
	if (board_model.next_periodic_ns > board_model.elapsed_ns)
		wait = min_t(u64, wait, board_model.next_periodic_ns - board_model.elapsed_ns);
	hrtimer_start(&tick_timer, ns_to_ktime(wait), HRTIMER_MODE_REL_HARD);
}

static enum hrtimer_restart tick(struct hrtimer *timer)
{
	unsigned long flags;

	raw_spin_lock_irqsave(&board_model_lock, flags);
	tcr7750_model_sync(&board_model);
	refresh_page();
	schedule_tick();
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
	return HRTIMER_NORESTART; /* schedule_tick() has armed it again */
}

void init_realtime(void)
{
	hrtimer_init(&tick_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL_HARD);
	tick_timer.function = tick;
}

/*
 * The board's time, CLOCK_REALTIME + offset_ns now, then following the raw
 * clock.  Both clocks come from one snapshot, so the offset holds exactly
 * however long this CPU is held up in between.
 */
void follow_realtime(s64 offset_ns)
{
	struct system_time_snapshot now;
	unsigned long flags;
	u64 seconds;
	u32 ns;

	raw_spin_lock_irqsave(&board_model_lock, flags);
	ktime_get_snapshot(&now);
	realtime = true;
	tcr7750_model_set_clock(&board_model, kernel_clock, NULL);
	/* The model follows the raw clock from its own reading of it, a little later. */
	seconds = div_u64_rem(ktime_to_ns(now.real) + offset_ns +
			      (board_model.clock_last_ns - ktime_to_ns(now.raw)), NSEC_PER_SEC, &ns);
	tcr7750_model_set_unix_time(&board_model, seconds, ns);
	refresh_page();
	schedule_tick();
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
}

void set_realtime(bool on)
{
	unsigned long flags;

	raw_spin_lock_irqsave(&board_model_lock, flags);
	realtime = on;
	tcr7750_model_set_clock(&board_model, on ? kernel_clock : NULL, NULL);
	schedule_tick();
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
	if (!on)
		hrtimer_cancel(&tick_timer); /* outside the lock: the tick takes it */
}
