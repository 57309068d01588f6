// SPDX-License-Identifier: GPL-2.0-only
/*
 * The interrupt lines of the simulated board: its own line (a dummy-chip
 * descriptor) and a spare one, owned by this module, and a busy line held
 * without sharing.  The model's line handler only asks for a raise; a
 * high-resolution timer then delivers the line to the kernel, outside the
 * model's lock, as often as a level-triggered line would fire.
 */
#include <linux/hrtimer.h>
#include <linux/interrupt.h>
#include <linux/irq.h>
#include <linux/ktime.h>
#include <linux/wait.h>

#include "board.h"

#define MAX_RAISES        4            /* level line still up: fire again, this often */
#define RETRY_NS          (20 * 1000)  /* after handlers whose accesses were lost */

int first_irq = -1;
int busy_irq = -1;
u64 raise_count;
u64 last_raise_ns;
int raising_cpu = -1; /* the CPU running the line's handlers, or -1 */

static struct hrtimer raise_timer; /* delivers the line to the kernel */
static atomic_t raises_requested = ATOMIC_INIT(0);
static atomic_t raises_done = ATOMIC_INIT(0);
static DECLARE_WAIT_QUEUE_HEAD(raises_wq);

void request_raise(void)
{
	atomic_inc(&raises_requested);
	/* Pinned: the handler runs on the CPU whose command raised the line. */
	hrtimer_start(&raise_timer, 0, HRTIMER_MODE_REL_PINNED);
}

/* Model callback, under board_model_lock: only schedule, the driver runs later. */
void on_line_change(void *context, int asserted)
{
	if (asserted)
		request_raise();
}

static bool line_asserted(void)
{
	unsigned long flags;
	bool asserted;

	spin_lock_irqsave(&board_model_lock, flags);
	asserted = tcr7750_model_line(&board_model);
	spin_unlock_irqrestore(&board_model_lock, flags);
	return asserted;
}

static enum hrtimer_restart raise_line(struct hrtimer *timer)
{
	int requested = atomic_read(&raises_requested);
	unsigned long missed = accessor_probes_missed();
	int i;

	/* A level-triggered line fires again while the board still holds it up. */
	WRITE_ONCE(raising_cpu, smp_processor_id());
	for (i = 0; i < MAX_RAISES && (i == 0 || line_asserted()); i++) {
		WRITE_ONCE(last_raise_ns, ktime_get_ns());
		raise_count++;
		generic_handle_irq(first_irq + LINE_BOARD);
	}
	WRITE_ONCE(raising_cpu, -1);
	/*
	 * This timer can interrupt a task inside one of the board's probes; the
	 * handlers' accesses then find that probe running, are skipped by the
	 * kprobe core and never reach the model (an acknowledge lost, the line
	 * stuck up).  Fire again once that probe is done.
	 */
	if (accessor_probes_missed() != missed) {
		hrtimer_forward_now(timer, ns_to_ktime(RETRY_NS));
		return HRTIMER_RESTART;
	}
	atomic_set(&raises_done, requested);
	wake_up_all(&raises_wq);
	return HRTIMER_NORESTART;
}

void wait_for_raises(void)
{
	wait_event_timeout(raises_wq,
			   atomic_read(&raises_done) == atomic_read(&raises_requested), HZ);
}

static irqreturn_t busy_line_handler(int line, void *cookie)
{
	return IRQ_NONE;
}

int setup_lines(void)
{
	int i, err;

	hrtimer_init(&raise_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
	raise_timer.function = raise_line;
	/* Owned by this module: a driver holding one pins the board. */
	first_irq = irq_alloc_descs(-1, 0, LINES, NUMA_NO_NODE);
	if (first_irq < 0)
		return first_irq;
	/* Owned by no module: the board holds it itself and stays removable. */
	busy_irq = __irq_alloc_descs(-1, 0, 1, NUMA_NO_NODE, NULL, NULL);
	if (busy_irq < 0) {
		irq_free_descs(first_irq, LINES);
		return busy_irq;
	}
	for (i = 0; i < LINES; i++)
		irq_set_chip_and_handler(first_irq + i, &dummy_irq_chip, handle_simple_irq);
	irq_set_chip_and_handler(busy_irq, &dummy_irq_chip, handle_simple_irq);
	/* Held without sharing: a driver asking for it is refused. */
	err = request_irq(busy_irq, busy_line_handler, 0, "tcr7750_board busy", &board_model);
	if (err) {
		irq_free_descs(busy_irq, 1);
		irq_free_descs(first_irq, LINES);
	}
	return err;
}

void teardown_lines(void)
{
	hrtimer_cancel(&raise_timer);
	free_irq(busy_irq, &board_model);
	irq_free_descs(busy_irq, 1);
	irq_free_descs(first_irq, LINES);
}
