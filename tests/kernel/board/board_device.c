// SPDX-License-Identifier: GPL-2.0
/*
 * tcr7750_board: a simulated TCR7750 for the kernel test kit.  Test use only.
 *
 * The board the real PCI core finds:
 *  - a synthetic PCI root bus (domain 0x10000) whose configuration accessors
 *    answer for one device, 0x9010:0xCB01, with BAR 0 on the page reserved by
 *    "memmap=4K$0x20000000" and the interrupt-line byte at 0x3C;
 *  - an interrupt line of its own (a dummy-chip descriptor), raised with
 *    generic_handle_irq() from a high-resolution timer whenever the model
 *    asserts it; besides it a spare line (for "irq=" tests) and a busy one,
 *    held without sharing (a request for it is refused);
 *  - the board model of sim/board_model.c behind the registers.
 *
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
 * which holds the model's registers as of the last model operation.
 *
 * Tests drive the board through debugfs, /sys/kernel/debug/tcr7750_board:
 *   command  write one line:
 *     time YYYY MM DD hh mm ss usec   set the decoded date and time
 *     status VALUE                    set the status bits the time code gives
 *     advance NANOSECONDS             move virtual time (periodic interrupts)
 *     edge rise|fall                  an edge on the time-stamp input
 *     irq STATUS                      raise the line once with this status
 *                                     (pending bits from STATUS; may be none)
 *     line VALUE                      interrupt-line byte in configuration
 *     line-error 0|1                  make configuration reads of it fail
 *     realtime 0|1                    follow the kernel clock
 *     hold-irq-write MS               the next REG_CONTROL write of a handler
 *                                     of the board's line waits, before it
 *                                     reaches the model, until another
 *                                     control write has reached it or MS ms
 *                                     (at most 1000) have passed
 *     clear-log                       empty the access log
 *     reset                           power-on registers, virtual time,
 *                                     configuration byte readable again
 *   state    read: one "name value" line per board fact
 *   log      read: the register accesses since clear-log,
 *            "R|W offset width value" in hexadecimal
 * A command returns once the interrupts it raised have been delivered.
 */
#include <linux/debugfs.h>
#include <linux/hrtimer.h>
#include <linux/interrupt.h>
#include <linux/io.h>
#include <linux/irq.h>
#include <linux/kprobes.h>
#include <linux/ktime.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/seq_file.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#include "board_model.h"

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Simulated TCR7750 board for the kernel tests");

#define BOARD_PHYS        0x20000000UL /* the page reserved with memmap= */
#define BOARD_DOMAIN      0x10000
#define BOARD_CLASS_REV   0x11800001u  /* signal processing controller, other; rev 1 */
#define LOG_CAPACITY      4096
#define TICK_MAX_NS       (100 * 1000 * 1000)
#define MAX_RAISES        4            /* level line still up: fire again, this often */

enum { LINE_BOARD, LINE_SPARE, LINES };

static struct tcr7750_model model;
static struct tcr7750_access access_log[LOG_CAPACITY];
static DEFINE_SPINLOCK(model_lock);
static void __iomem *page;

static int first_irq = -1; /* the board's line, then a spare one */
static int busy_irq = -1;
static u8 config_line;
static bool config_line_error;
static u32 bar0 = BOARD_PHYS;
static u16 pci_command;

static struct hrtimer raise_timer; /* delivers the line to the kernel */
static struct hrtimer tick_timer;  /* real-time mode */
static bool realtime;              /* under model_lock */
static atomic_t raises_requested = ATOMIC_INIT(0);
static atomic_t raises_done = ATOMIC_INIT(0);
static DECLARE_WAIT_QUEUE_HEAD(raises_wq);
static u64 raise_count;
static u64 last_raise_ns;
static int raising_cpu = -1; /* the CPU running the line's handlers, or -1 */

/* "hold-irq-write": widens a handler's window between choosing and writing. */
static atomic_t irq_write_hold_ms = ATOMIC_INIT(0);
static atomic_t control_writes_done = ATOMIC_INIT(0);
static bool irq_write_held;        /* a handler's write waits now */
static unsigned int irq_writes_held;

static struct pci_sysdata sysdata = { .domain = BOARD_DOMAIN, .node = NUMA_NO_NODE };
static struct pci_bus *root_bus;
static struct resource bus_window = {
	.name = "tcr7750 board window", .start = BOARD_PHYS, .end = BOARD_PHYS + PAGE_SIZE - 1,
	.flags = IORESOURCE_MEM,
};
static struct resource bus_numbers = {
	.name = "tcr7750 board bus", .start = 0, .end = 0, .flags = IORESOURCE_BUS,
};
static struct dentry *debug_dir;

/* ---- the interrupt line -------------------------------------------------- */

static void request_raise(void)
{
	atomic_inc(&raises_requested);
	/* Pinned: the handler runs on the CPU whose command raised the line. */
	hrtimer_start(&raise_timer, 0, HRTIMER_MODE_REL_PINNED);
}

/* Model callback, under model_lock: only schedule, the driver runs later. */
static void on_line_change(void *context, int asserted)
{
	if (asserted)
		request_raise();
}

static bool line_asserted(void)
{
	unsigned long flags;
	bool asserted;

	spin_lock_irqsave(&model_lock, flags);
	asserted = tcr7750_model_line(&model);
	spin_unlock_irqrestore(&model_lock, flags);
	return asserted;
}

static enum hrtimer_restart raise_line(struct hrtimer *timer)
{
	int requested = atomic_read(&raises_requested);
	int i;

	/* A level-triggered line fires again while the board still holds it up. */
	WRITE_ONCE(raising_cpu, smp_processor_id());
	for (i = 0; i < MAX_RAISES && (i == 0 || line_asserted()); i++) {
		WRITE_ONCE(last_raise_ns, ktime_get_ns());
		raise_count++;
		generic_handle_irq(first_irq + LINE_BOARD);
	}
	WRITE_ONCE(raising_cpu, -1);
	atomic_set(&raises_done, requested);
	wake_up_all(&raises_wq);
	return HRTIMER_NORESTART;
}

static void wait_for_raises(void)
{
	wait_event_timeout(raises_wq,
			   atomic_read(&raises_done) == atomic_read(&raises_requested), HZ);
}

static irqreturn_t busy_line_handler(int line, void *cookie)
{
	return IRQ_NONE;
}

/* The page shows the model's registers; under model_lock. */
static void refresh_page(void)
{
	memcpy_toio(page, model.window, TCR7750_WINDOW_SIZE);
}

/*
 * ---- real-time mode -------------------------------------------------------
 * The model follows the kernel clock.  The tick timer wakes when the next
 * periodic interrupt is due, or after TICK_MAX_NS, so the simulation costs the
 * guest next to nothing between interrupts.
 */

static u64 kernel_clock(void *context)
{
	return ktime_get_ns();
}

/* Under model_lock. */
static void schedule_tick(void)
{
	u64 wait = TICK_MAX_NS;

	if (!realtime)
		return;
	if (model.next_periodic_ns > model.elapsed_ns)
		wait = min_t(u64, wait, model.next_periodic_ns - model.elapsed_ns);
	hrtimer_start(&tick_timer, ns_to_ktime(wait), HRTIMER_MODE_REL);
}

static enum hrtimer_restart tick(struct hrtimer *timer)
{
	unsigned long flags;

	spin_lock_irqsave(&model_lock, flags);
	tcr7750_model_sync(&model);
	refresh_page();
	schedule_tick();
	spin_unlock_irqrestore(&model_lock, flags);
	return HRTIMER_NORESTART; /* schedule_tick() has armed it again */
}

static void set_realtime(bool on)
{
	unsigned long flags;

	spin_lock_irqsave(&model_lock, flags);
	realtime = on;
	tcr7750_model_set_clock(&model, on ? kernel_clock : NULL, NULL);
	schedule_tick();
	spin_unlock_irqrestore(&model_lock, flags);
	if (!on)
		hrtimer_cancel(&tick_timer); /* outside the lock: the tick takes it */
}

/* ---- registers: model <-> page ------------------------------------------- */

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

static void model_read_into_page(unsigned long address, unsigned int width)
{
	long offset = board_offset(address);
	unsigned long flags;
	u32 value;

	if (offset < 0)
		return;
	spin_lock_irqsave(&model_lock, flags);
	value = tcr7750_model_read(&model, offset, width);
	refresh_page();
	/* The accessor returns what the model answered, before its side effects. */
	memcpy_toio(page + offset, &value, width);
	spin_unlock_irqrestore(&model_lock, flags);
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

	if (READ_ONCE(raising_cpu) != raw_smp_processor_id())
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

	if (offset < 0)
		return;
	if (offset == REG_CONTROL)
		hold_irq_write();
	spin_lock_irqsave(&model_lock, flags);
	tcr7750_model_write(&model, offset, width, value);
	refresh_page();
	schedule_tick(); /* a new period or enable moves the next interrupt */
	spin_unlock_irqrestore(&model_lock, flags);
	if (offset == REG_CONTROL)
		atomic_inc(&control_writes_done); /* in the model now: a held write may follow */
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

/* ---- PCI configuration space -------------------------------------------- */

static u32 config_dword(int where)
{
	switch (where & ~3) {
	case PCI_VENDOR_ID:
		return TCR7750_PCI_DEVICE_ID << 16 | TCR7750_PCI_VENDOR_ID;
	case PCI_COMMAND:
		return pci_command;
	case PCI_CLASS_REVISION:
		return BOARD_CLASS_REV;
	case PCI_BASE_ADDRESS_0:
		return bar0; /* 32-bit memory, not prefetchable */
	case PCI_INTERRUPT_LINE:
		return 1u << 8 | config_line; /* pin INTA */
	default:
		return 0;
	}
}

static int config_read(struct pci_bus *bus, unsigned int devfn, int where, int size, u32 *value)
{
	if (devfn != 0) {
		*value = ~0u;
		return PCIBIOS_DEVICE_NOT_FOUND;
	}
	if (config_line_error && where <= PCI_INTERRUPT_LINE && PCI_INTERRUPT_LINE < where + size) {
		*value = ~0u;
		return PCIBIOS_DEVICE_NOT_FOUND;
	}
	*value = config_dword(where) >> (8 * (where & 3));
	if (size < 4)
		*value &= (1u << (8 * size)) - 1;
	return PCIBIOS_SUCCESSFUL;
}

static int config_write(struct pci_bus *bus, unsigned int devfn, int where, int size, u32 value)
{
	if (devfn != 0)
		return PCIBIOS_DEVICE_NOT_FOUND;
	if (where == PCI_BASE_ADDRESS_0 && size == 4)
		bar0 = value & ~(u32)(TCR7750_WINDOW_SIZE - 1); /* sizing: 256 bytes */
	else if (where == PCI_COMMAND && size >= 2)
		pci_command = value & 0xFFFF;
	return PCIBIOS_SUCCESSFUL;
}

static struct pci_ops config_ops = { .read = config_read, .write = config_write };

static int add_root_bus(void)
{
	LIST_HEAD(resources);

	pci_add_resource(&resources, &bus_window);
	pci_add_resource(&resources, &bus_numbers);
	root_bus = pci_create_root_bus(NULL, 0, &config_ops, &sysdata, &resources);
	if (!root_bus) {
		pci_free_resource_list(&resources);
		return -ENODEV;
	}
	pci_scan_child_bus(root_bus);
	pci_bus_claim_resources(root_bus);
	pci_bus_add_devices(root_bus);
	return 0;
}

static void remove_root_bus(void)
{
	pci_stop_root_bus(root_bus);
	pci_remove_root_bus(root_bus);
}

/* Power-on state; under model_lock. */
static void reset_board(void)
{
	tcr7750_model_init(&model);
	tcr7750_model_set_log(&model, access_log, LOG_CAPACITY);
	tcr7750_model_set_line_handler(&model, on_line_change, NULL);
	config_line = first_irq + LINE_BOARD;
	config_line_error = false;
	atomic_set(&irq_write_hold_ms, 0);
	refresh_page();
}

/* ---- debugfs ------------------------------------------------------------- */

static int run_board_command(const char *line)
{
	struct tcr7750_datetime t = { 0 };
	unsigned int value;
	unsigned long long ns;
	char word[8];
	unsigned long flags;
	int err = 0;

	spin_lock_irqsave(&model_lock, flags);
	if (sscanf(line, "time %hu %hhu %hhu %hhu %hhu %hhu %u", &t.year, &t.month, &t.day, &t.hour,
		   &t.minute, &t.second, &t.microsecond) == 7) {
		tcr7750_model_set_datetime(&model, &t);
	} else if (sscanf(line, "status %i", &value) == 1) {
		tcr7750_model_set_status(&model, value);
	} else if (sscanf(line, "advance %llu", &ns) == 1) {
		tcr7750_model_advance(&model, ns);
	} else if (sscanf(line, "edge %7s", word) == 1 && (!strcmp(word, "rise") || !strcmp(word, "fall"))) {
		tcr7750_model_edge(&model, word[0] == 'r' ? TCR7750_EDGE_RISING : TCR7750_EDGE_FALLING);
	} else if (sscanf(line, "irq %i", &value) == 1) {
		tcr7750_model_set_status(&model, value);
		tcr7750_model_raise_pending(&model, value & ST_BOARD_IRQ);
		request_raise(); /* also when the status shows nothing of the board's */
	} else if (sscanf(line, "line %i", &value) == 1) {
		config_line = value;
	} else if (sscanf(line, "line-error %i", &value) == 1) {
		config_line_error = value;
	} else if (!strncmp(line, "clear-log", 9)) {
		tcr7750_model_clear_log(&model);
	} else if (!strncmp(line, "reset", 5)) {
		spin_unlock_irqrestore(&model_lock, flags);
		set_realtime(false);
		spin_lock_irqsave(&model_lock, flags);
		reset_board();
	} else if (sscanf(line, "hold-irq-write %i", &value) == 1) {
		atomic_set(&irq_write_hold_ms, min(value, 1000u));
	} else if (sscanf(line, "realtime %i", &value) == 1) {
		spin_unlock_irqrestore(&model_lock, flags);
		set_realtime(value);
		return 0;
	} else {
		err = -EINVAL;
	}
	refresh_page();
	schedule_tick();
	spin_unlock_irqrestore(&model_lock, flags);
	return err;
}

static ssize_t command_write(struct file *file, const char __user *buffer, size_t count, loff_t *pos)
{
	char line[96];
	int err;

	if (count >= sizeof(line))
		return -EINVAL;
	if (copy_from_user(line, buffer, count))
		return -EFAULT;
	line[count] = '\0';
	err = run_board_command(line);
	wait_for_raises();
	return err ? err : count;
}

static const struct file_operations command_fops = {
	.owner = THIS_MODULE,
	.write = command_write,
};

static int state_show(struct seq_file *s, void *unused)
{
	struct tcr7750_model copy;
	unsigned long flags;

	spin_lock_irqsave(&model_lock, flags);
	copy = model;
	spin_unlock_irqrestore(&model_lock, flags);

	seq_printf(s, "irq %d\n", first_irq + LINE_BOARD);
	seq_printf(s, "spare_irq %d\n", first_irq + LINE_SPARE);
	seq_printf(s, "busy_irq %d\n", busy_irq);
	seq_printf(s, "control 0x%04x\n", copy.control);
	seq_printf(s, "last_control_write 0x%04x\n", copy.last_control_write);
	seq_printf(s, "control_writes %u\n", copy.control_writes);
	seq_printf(s, "initial_year %u\n", copy.initial_year);
	seq_printf(s, "period %u\n", copy.period);
	seq_printf(s, "status 0x%04x\n", copy.status | copy.pending);
	seq_printf(s, "line %d\n", copy.line);
	seq_printf(s, "periodic_raised %u\n", copy.periodic_raised);
	seq_printf(s, "raises %llu\n", raise_count);
	seq_printf(s, "last_raise_ns %llu\n", READ_ONCE(last_raise_ns));
	seq_printf(s, "elapsed_ns %llu\n", copy.elapsed_ns);
	seq_printf(s, "irq_write_held %d\n", READ_ONCE(irq_write_held));
	seq_printf(s, "irq_writes_held %u\n", READ_ONCE(irq_writes_held));
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(state);

static int log_show(struct seq_file *s, void *unused)
{
	static struct tcr7750_access copy[LOG_CAPACITY]; /* too big for the stack */
	static DEFINE_MUTEX(copy_lock);
	unsigned long flags;
	size_t count, i;

	mutex_lock(&copy_lock);
	spin_lock_irqsave(&model_lock, flags);
	count = min_t(size_t, model.log_count, LOG_CAPACITY);
	memcpy(copy, access_log, count * sizeof(copy[0]));
	spin_unlock_irqrestore(&model_lock, flags);

	for (i = 0; i < count; i++)
		seq_printf(s, "%c %02x %u %x\n", copy[i].direction == TCR7750_WRITE ? 'W' : 'R',
			   copy[i].offset, copy[i].width, copy[i].value);
	mutex_unlock(&copy_lock);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(log);

/* ---- module -------------------------------------------------------------- */

static int setup_lines(void)
{
	int i, err;

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
	err = request_irq(busy_irq, busy_line_handler, 0, "tcr7750_board busy", &model);
	if (err) {
		irq_free_descs(busy_irq, 1);
		irq_free_descs(first_irq, LINES);
	}
	return err;
}

static void teardown_lines(void)
{
	free_irq(busy_irq, &model);
	irq_free_descs(busy_irq, 1);
	irq_free_descs(first_irq, LINES);
}

static int __init board_init(void)
{
	int err;
	size_t i;

	page = ioremap(BOARD_PHYS, TCR7750_WINDOW_SIZE);
	if (!page)
		return -ENOMEM;
	hrtimer_init(&raise_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
	raise_timer.function = raise_line;
	hrtimer_init(&tick_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
	tick_timer.function = tick;

	err = setup_lines();
	if (err)
		goto fail_page;
	reset_board();

	for (i = 0; i < ARRAY_SIZE(accessor_probes); i++)
		accessor_probe_list[i] = &accessor_probes[i];
	err = register_kprobes(accessor_probe_list, ARRAY_SIZE(accessor_probe_list));
	if (err)
		goto fail_lines;

	err = add_root_bus();
	if (err)
		goto fail_probes;

	debug_dir = debugfs_create_dir("tcr7750_board", NULL);
	debugfs_create_file("command", 0200, debug_dir, NULL, &command_fops);
	debugfs_create_file("state", 0444, debug_dir, NULL, &state_fops);
	debugfs_create_file("log", 0444, debug_dir, NULL, &log_fops);
	pr_info("tcr7750_board: board on irq %d\n", first_irq + LINE_BOARD);
	return 0;

fail_probes:
	unregister_kprobes(accessor_probe_list, ARRAY_SIZE(accessor_probe_list));
fail_lines:
	teardown_lines();
fail_page:
	iounmap(page);
	return err;
}

static void __exit board_exit(void)
{
	debugfs_remove_recursive(debug_dir);
	remove_root_bus();
	set_realtime(false);
	hrtimer_cancel(&raise_timer);
	unregister_kprobes(accessor_probe_list, ARRAY_SIZE(accessor_probe_list));
	teardown_lines();
	iounmap(page);
}

module_init(board_init);
module_exit(board_exit);
