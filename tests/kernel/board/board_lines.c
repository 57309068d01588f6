// SPDX-License-Identifier: GPL-2.0-only
/*
 * The interrupt lines of the simulated board: its own line and a spare one,
 * owned by this module, and a busy line held without sharing.
 *
 * The board's line behaves as a level-triggered line behind an interrupt
 * controller with an end-of-interrupt: the model's line handler only asks
 * for a raise; a hard high-resolution timer then delivers the line to the
 * kernel, outside the model's lock, from hard-interrupt context on every
 * kernel (PREEMPT_RT included).  The end of interrupt comes when every
 * handler has returned, also a handler the kernel runs in a thread: only
 * then does the board look at its line again, fire it again while it is
 * still up, and count the raise as handled.  So nothing here depends on
 * handlers running inside the raise.
 */
#include <linux/hrtimer.h>
#include <linux/interrupt.h>
#include <linux/irq.h>
#include <linux/ktime.h>
#include <linux/delay.h>
#include <linux/sched.h>
#include <linux/string.h>

#include "board.h"

#define MAX_REFIRES       3            /* level line still up after the handlers: fire again, this often */
#define RETRY_NS          (20 * 1000)  /* after handlers whose accesses were lost */

int first_irq = -1;
int busy_irq = -1;
u64 raise_count;
u64 last_raise_ns;
int raising_cpu = -1; /* the CPU running the line's hard handlers, or -1 */

static struct hrtimer raise_timer; /* delivers the line to the kernel */
static char line_thread_prefix[16]; /* "irq/N-": the name of the line's handler threads */

/*
 * Raises asked for, delivered to the kernel, and handled (every handler
 * returned).  Written by the raise timer and the end of interrupt, which
 * the line's descriptor lock keeps apart.
 */
static atomic_t raises_requested = ATOMIC_INIT(0);
static atomic_t raises_delivered = ATOMIC_INIT(0);
static atomic_t raises_handled = ATOMIC_INIT(0);
static bool in_flight;       /* delivered, its end of interrupt to come */
static unsigned int refires; /* since the last delivered request */
static unsigned long missed_at_raise;

static void start_raise_timer(u64 delay_ns)
{
	/* Pinned: the handlers run on the CPU whose command raised the line. */
	hrtimer_start(&raise_timer, ns_to_ktime(delay_ns), HRTIMER_MODE_REL_PINNED_HARD);
}

void request_raise(void)
{
	atomic_inc(&raises_requested);
	start_raise_timer(0);
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

	raw_spin_lock_irqsave(&board_model_lock, flags);
	asserted = tcr7750_model_line(&board_model);
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
	return asserted;
}

/*
 * Is the caller one of the line's handlers, inline on the raising CPU or in
 * the line's thread?  (Asked from a kprobe handler, which the kernel runs as
 * an exception, so the thread is told by its name, "irq/N-...".)
 */
bool in_line_handler(void)
{
	return READ_ONCE(raising_cpu) == raw_smp_processor_id() ||
	       !strncmp(current->comm, line_thread_prefix, strlen(line_thread_prefix));
}

static enum hrtimer_restart raise_line(struct hrtimer *timer)
{
	struct irq_data *line = irq_get_irq_data(first_irq + LINE_BOARD);
	int requested = atomic_read(&raises_requested);

	if (!board_memory_decoding()) {
		/* A board whose memory decoding is off keeps its line quiet. */
		atomic_set(&raises_delivered, requested);
		atomic_set(&raises_handled, requested);
		return HRTIMER_NORESTART;
	}
	if (irqd_irq_masked(line)) {
		/* A handler still runs in its thread: its end of interrupt delivers this raise. */
		if (READ_ONCE(in_flight))
			return HRTIMER_NORESTART;
		/* Nobody can take it now; the unmask delivers what is asked then. */
		atomic_set(&raises_handled, requested);
		return HRTIMER_NORESTART;
	}
	if (atomic_xchg(&raises_delivered, requested) != requested)
		refires = 0;
	missed_at_raise = accessor_probes_missed();
	WRITE_ONCE(in_flight, true);
	WRITE_ONCE(raising_cpu, smp_processor_id());
	WRITE_ONCE(last_raise_ns, ktime_get_ns());
	raise_count++;
	generic_handle_irq_safe(first_irq + LINE_BOARD);
	WRITE_ONCE(raising_cpu, -1);
	return HRTIMER_NORESTART;
}

/* Every handler of the line has returned (under the descriptor's lock). */
static void board_line_eoi(struct irq_data *data)
{
	/*
	 * The raise timer can interrupt a task inside one of the board's
	 * probes; the handlers' accesses then find that probe running, are
	 * skipped by the kprobe core and never reach the model (an acknowledge
	 * lost, the line stuck up).  Fire again once that probe is done.
	 */
	bool missed = accessor_probes_missed() != missed_at_raise;

	WRITE_ONCE(in_flight, false);
	if (missed) {
		start_raise_timer(RETRY_NS);
	} else if (atomic_read(&raises_requested) != atomic_read(&raises_delivered) ||
		   (refires < MAX_REFIRES && line_asserted())) {
		if (atomic_read(&raises_requested) == atomic_read(&raises_delivered))
			refires++;
		start_raise_timer(0);
	} else {
		atomic_set(&raises_handled, atomic_read(&raises_delivered));
	}
}

static void board_line_mask(struct irq_data *data)
{
}

static void board_line_unmask(struct irq_data *data)
{
	if (atomic_read(&raises_requested) != atomic_read(&raises_delivered))
		start_raise_timer(0);
}

static struct irq_chip board_line_chip = {
	.name = "sim-fasteoi", /* "tcr7750" in /proc/interrupts is the driver's */
	.irq_mask = board_line_mask,
	.irq_unmask = board_line_unmask,
	.irq_eoi = board_line_eoi,
	.flags = IRQCHIP_EOI_THREADED, /* the end of interrupt waits for threaded handlers */
};

/* Every raise asked for so far has been handled, or a second went by. */
void wait_for_raises(void)
{
	int requested = atomic_read(&raises_requested);
	unsigned long deadline = jiffies + HZ;

	while (atomic_read(&raises_handled) - requested < 0 && time_before(jiffies, deadline))
		usleep_range(20, 100);
}

u64 raises_handled_count(void)
{
	return atomic_read(&raises_handled);
}

static irqreturn_t busy_line_handler(int line, void *cookie)
{
	return IRQ_NONE;
}

int setup_lines(void)
{
	int err;

	hrtimer_init(&raise_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL_PINNED_HARD);
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
	irq_set_chip_and_handler(first_irq + LINE_BOARD, &board_line_chip, handle_fasteoi_irq);
	irq_set_chip_and_handler(first_irq + LINE_SPARE, &dummy_irq_chip, handle_simple_irq);
	irq_set_chip_and_handler(busy_irq, &dummy_irq_chip, handle_simple_irq);
	snprintf(line_thread_prefix, sizeof(line_thread_prefix), "irq/%d-", first_irq + LINE_BOARD);
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
