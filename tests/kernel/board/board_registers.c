// SPDX-License-Identifier: GPL-2.0-only
/*
 * How register accesses reach the model.  Plain memory cannot tell a board
 * that it was written twice with the same value, nor that a read should clear
 * a pending bit.  So the board puts kprobes on the kernel's MMIO accessors
 * (ioread8/16/32, iowrite8/16/32; out-of-line functions on x86) and turns
 * every access that lands in its page into tcr7750_model_read() or
 * tcr7750_model_write(), before the access itself executes:
 *  - a read first writes the model's answer into the page, so the accessor
 *    returns exactly what the model returned, side effects included (reading
 *    the time-stamp registers clears their pending bits);
 *  - a write goes to the model (pulse bits, counters and the access log see
 *    every write, also two equal ones); the page is then refreshed and the
 *    accessor's own store lands on it, to be overwritten at the next refresh.
 * Accesses made without those accessors (readw, memcpy_fromio) see the page,
 * which holds the model's registers as of the last change of its state (a
 * write, a command, an acknowledge, an interrupt, the real-time tick), and
 * each register as its last read answered it.
 */
#include <linux/io.h>
#include <linux/kprobes.h>
#include <linux/ktime.h>
#include <linux/mm.h>
#include <linux/slab.h>
#include <linux/sort.h>

#include "board.h"

static void __iomem *page;

int map_page(void)
{
	page = ioremap(BOARD_PHYS, TCR7750_WINDOW_SIZE);
	return page ? 0 : -ENOMEM;
}

void unmap_page(void)
{
	iounmap(page);
}

/*
 * The page shows the model's registers; under board_model_lock.  A driver's
 * load of a register can meet a refresh made on another CPU (its accessor
 * loads after the probe has let go of the lock), so the page is written one
 * aligned 32-bit word at a time, each with one store: no register is wider
 * than a word or crosses one, so a load sees it wholly old or wholly new.
 * A byte-wise copy would let it see a microseconds count that is half of
 * one time and half of the next, up to 65 ms in the past.
 */
void refresh_page(void)
{
	static u32 window[TCR7750_WINDOW_SIZE / 4]; /* under board_model_lock too */
	unsigned int i;

	tcr7750_model_snapshot(&board_model, (u8 *)window);
	for (i = 0; i < ARRAY_SIZE(window); i++)
		writel(window[i], page + 4 * i);
}

/* One register's value on the page, with one store of the access's width. */
static void show_register(long offset, unsigned int width, u32 value)
{
	switch (width) {
	case 1:
		writeb(value, page + offset);
		break;
	case 2:
		writew(value, page + offset);
		break;
	default:
		writel(value, page + offset);
		break;
	}
}

/* The window offset of an MMIO address, or -1 when it is not the board's. */
static long board_offset(unsigned long address)
{
	phys_addr_t phys;

	if (!is_vmalloc_addr((void *)address))
		return -1;
	phys = slow_virt_to_phys((void *)address);
	if (phys < BOARD_PHYS || phys >= BOARD_PHYS + TCR7750_WINDOW_SIZE)
		return -1;
	return phys - BOARD_PHYS;
}

/* "advance-on-read": the next reads of one register first move virtual time. */
static unsigned int advance_offset; /* all three under board_model_lock */
static u64 advance_ns;
static unsigned int advance_reads;
u64 microseconds_read_real_ns;      /* CLOCK_REALTIME of the last REG_MICROSECONDS read */

void advance_on_read(unsigned int offset, u64 ns, unsigned int reads)
{
	advance_offset = offset;
	advance_ns = ns;
	advance_reads = reads;
}

static void model_read_into_page(unsigned long address, unsigned int width)
{
	long offset = board_offset(address);
	unsigned long flags;
	bool advanced = false;
	u16 pending;
	u32 value;

	if (offset < 0)
		return;
	raw_spin_lock_irqsave(&board_model_lock, flags);
	if (!board_memory_decoding()) {
		show_register(offset, width, 0xFFFFFFFF); /* no board answers */
		raw_spin_unlock_irqrestore(&board_model_lock, flags);
		return;
	}
	pending = board_model.pending;
	if (advance_reads && offset == advance_offset) {
		advance_reads--;
		tcr7750_model_advance(&board_model, advance_ns);
		advanced = true;
	}
	if (offset == REG_MICROSECONDS)
		WRITE_ONCE(microseconds_read_real_ns, ktime_get_real_ns());
	value = tcr7750_model_read(&board_model, offset, width);
	/*
	 * A whole refresh costs many times the read itself, and the driver
	 * reads a dozen registers for one record: only what a read changes
	 * besides its answer (an acknowledge, a periodic interrupt come due, a
	 * forced advance) refreshes the page.
	 */
	if (advanced || board_model.pending != pending)
		refresh_page();
	/* The accessor returns what the model answered, before its side effects. */
	show_register(offset, width, value);
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
}

/* "hold-irq-write": widens a handler's window between choosing and writing. */
static atomic_t irq_write_hold_ms = ATOMIC_INIT(0);
static atomic_t control_writes_done = ATOMIC_INIT(0);
bool irq_write_held;        /* a handler's write waits now */
unsigned int irq_writes_held;

void hold_next_irq_write(unsigned int ms)
{
	atomic_set(&irq_write_hold_ms, min(ms, 1000u));
}

/*
 * A control write from a handler of the board's line, once after
 * "hold-irq-write MS": spin (the handler cannot sleep) until another control
 * write has reached the model, or MS ms passed.
 */
static void hold_irq_write(void)
{
	int done = atomic_read(&control_writes_done);
	unsigned int ms;
	u64 until;

	if (!in_line_handler())
		return;
	ms = atomic_xchg(&irq_write_hold_ms, 0);
	if (!ms)
		return;
	until = ktime_get_mono_fast_ns() + (u64)ms * NSEC_PER_MSEC;
	WRITE_ONCE(irq_write_held, true);
	while (atomic_read(&control_writes_done) == done && ktime_get_mono_fast_ns() < until)
		cpu_relax();
	WRITE_ONCE(irq_write_held, false);
	irq_writes_held++;
}

static void model_write_from_accessor(unsigned long address, unsigned int width, u32 value)
{
	long offset = board_offset(address);
	unsigned long flags;

	if (offset < 0 || !board_memory_decoding())
		return;
	if (offset == REG_CONTROL)
		hold_irq_write();
	raw_spin_lock_irqsave(&board_model_lock, flags);
	tcr7750_model_write(&board_model, offset, width, value);
	refresh_page();
	schedule_tick(); /* a new period or enable moves the next interrupt */
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
	if (offset == REG_CONTROL)
		atomic_inc(&control_writes_done); /* in the model now: a held write may follow */
}

/*
 * "time-reads N": N reads of REG_MICROSECONDS through the accessor, each
 * between two CLOCK_REALTIME readings as a driver brackets its reading with
 * them; the median and 99th percentile of what one takes.
 */
u64 read_ns_median, read_ns_p99;

static int compare_u64(const void *a, const void *b)
{
	u64 x = *(const u64 *)a, y = *(const u64 *)b;

	return x < y ? -1 : x > y;
}

int time_register_reads(unsigned int n)
{
	u64 *samples;
	unsigned int i;

	if (n == 0 || n > 100000)
		return -EINVAL;
	samples = kvmalloc_array(n, sizeof(*samples), GFP_KERNEL);
	if (!samples)
		return -ENOMEM;
	for (i = 0; i < n; i++) {
		struct timespec64 before, after;

		ktime_get_real_ts64(&before);
		ioread32(page + REG_MICROSECONDS);
		ktime_get_real_ts64(&after);
		samples[i] = timespec64_to_ns(&after) - timespec64_to_ns(&before);
	}
	sort(samples, n, sizeof(*samples), compare_u64, NULL);
	read_ns_median = samples[n / 2];
	read_ns_p99 = samples[(u64)(n - 1) * 99 / 100];
	kvfree(samples);
	return 0;
}

/* x86-64: the first argument in di, the second in si. */
static int on_ioread8(struct kprobe *p, struct pt_regs *regs)
{
	model_read_into_page(regs->di, 1);
	return 0;
}

static int on_ioread16(struct kprobe *p, struct pt_regs *regs)
{
	model_read_into_page(regs->di, 2);
	return 0;
}

static int on_ioread32(struct kprobe *p, struct pt_regs *regs)
{
	model_read_into_page(regs->di, 4);
	return 0;
}

static int on_iowrite8(struct kprobe *p, struct pt_regs *regs)
{
	model_write_from_accessor(regs->si, 1, (u8)regs->di);
	return 0;
}

static int on_iowrite16(struct kprobe *p, struct pt_regs *regs)
{
	model_write_from_accessor(regs->si, 2, (u16)regs->di);
	return 0;
}

static int on_iowrite32(struct kprobe *p, struct pt_regs *regs)
{
	model_write_from_accessor(regs->si, 4, (u32)regs->di);
	return 0;
}

static struct kprobe accessor_probes[] = {
	{ .symbol_name = "ioread8", .pre_handler = on_ioread8 },
	{ .symbol_name = "ioread16", .pre_handler = on_ioread16 },
	{ .symbol_name = "ioread32", .pre_handler = on_ioread32 },
	{ .symbol_name = "iowrite8", .pre_handler = on_iowrite8 },
	{ .symbol_name = "iowrite16", .pre_handler = on_iowrite16 },
	{ .symbol_name = "iowrite32", .pre_handler = on_iowrite32 },
};

static struct kprobe *accessor_probe_list[ARRAY_SIZE(accessor_probes)];

/* Hits of the probes that found another probe running on their CPU. */
unsigned long accessor_probes_missed(void)
{
	unsigned long missed = 0;
	size_t i;

	for (i = 0; i < ARRAY_SIZE(accessor_probes); i++)
		missed += READ_ONCE(accessor_probes[i].nmissed);
	return missed;
}

int hook_accessors(void)
{
	size_t i;

	for (i = 0; i < ARRAY_SIZE(accessor_probes); i++)
		accessor_probe_list[i] = &accessor_probes[i];
	return register_kprobes(accessor_probe_list, ARRAY_SIZE(accessor_probe_list));
}

void unhook_accessors(void)
{
	unregister_kprobes(accessor_probe_list, ARRAY_SIZE(accessor_probe_list));
}
