// SPDX-License-Identifier: GPL-2.0
/*
 * The real-time mode of the simulated board: the model follows the kernel
 * clock.  The tick timer wakes when the next periodic interrupt is due, or
 * after TICK_MAX_NS, so the simulation costs the guest next to nothing
 * between interrupts.
 */
#include <linux/hrtimer.h>
#include <linux/ktime.h>

#include "board.h"

#define TICK_MAX_NS       (100 * 1000 * 1000)

static struct hrtimer tick_timer;
static bool realtime; /* under board_model_lock */

static u64 kernel_clock(void *context)
{
	return ktime_get_ns();
}

void schedule_tick(void)
{
	u64 wait = TICK_MAX_NS;

	if (!realtime)
		return;
	if (board_model.next_periodic_ns > board_model.elapsed_ns)
		wait = min_t(u64, wait, board_model.next_periodic_ns - board_model.elapsed_ns);
	hrtimer_start(&tick_timer, ns_to_ktime(wait), HRTIMER_MODE_REL);
}

static enum hrtimer_restart tick(struct hrtimer *timer)
{
	unsigned long flags;

	spin_lock_irqsave(&board_model_lock, flags);
	tcr7750_model_sync(&board_model);
	refresh_page();
	schedule_tick();
	spin_unlock_irqrestore(&board_model_lock, flags);
	return HRTIMER_NORESTART; /* schedule_tick() has armed it again */
}

void init_realtime(void)
{
	hrtimer_init(&tick_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
	tick_timer.function = tick;
}

void set_realtime(bool on)
{
	unsigned long flags;

	spin_lock_irqsave(&board_model_lock, flags);
	realtime = on;
	tcr7750_model_set_clock(&board_model, on ? kernel_clock : NULL, NULL);
	schedule_tick();
	spin_unlock_irqrestore(&board_model_lock, flags);
	if (!on)
		hrtimer_cancel(&tick_timer); /* outside the lock: the tick takes it */
}
