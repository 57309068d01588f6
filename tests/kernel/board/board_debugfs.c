// SPDX-License-Identifier: GPL-2.0-only
/*
 * Tests drive the simulated board through debugfs, /sys/kernel/debug/tcr7750_board:
 *   command  write one line:
 *     time YYYY MM DD hh mm ss usec   set the decoded date and time
 *     status VALUE                    set the status bits the time code gives
 *     advance NANOSECONDS             move virtual time (periodic interrupts)
 *     edge rise|fall                  an edge on the time-stamp input
 *     irq STATUS                      raise the line once with this status
 *                                     (pending bits from STATUS; may be none)
 *     line VALUE                      interrupt-line byte in configuration
 *     line-error 0|1                  make configuration reads of it fail
 *     pci-command VALUE               the PCI command register, as
 *                                     configuration software writes it
 *                                     (0: memory decoding off)
 *     realtime 0|1                    follow the kernel's raw monotonic clock
 *                                     from the time set
 *     realtime-offset NS              follow it from the guest's CLOCK_REALTIME
 *                                     plus NS (signed) now
 *     advance-on-read OFFSET NS N     the next N reads of the register at
 *                                     OFFSET first advance virtual time NS
 *     time-reads N                    time N register reads (state:
 *                                     read_ns_median, read_ns_p99)
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
 *            "R|W offset width value" in hexadecimal, followed by
 *            " wrong-width" when the access met a register at another
 *            offset or width than its own
 * A command returns once the interrupts it raised have been delivered.
 */
#include <linux/debugfs.h>
#include <linux/fs.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/seq_file.h>
#include <linux/uaccess.h>

#include "board.h"

static struct dentry *debug_dir;

static int run_board_command(const char *line)
{
	struct tcr7750_datetime t = { 0 };
	unsigned int value;
	unsigned long long ns;
	char word[8];
	unsigned long flags;
	long long offset_ns;
	unsigned int count;
	int err = 0;

	raw_spin_lock_irqsave(&board_model_lock, flags);
	if (sscanf(line, "time %hu %hhu %hhu %hhu %hhu %hhu %u", &t.year, &t.month, &t.day, &t.hour,
		   &t.minute, &t.second, &t.microsecond) == 7) {
		tcr7750_model_set_datetime(&board_model, &t);
	} else if (sscanf(line, "status %i", &value) == 1) {
		tcr7750_model_set_status(&board_model, value);
	} else if (sscanf(line, "advance %llu", &ns) == 1) {
		tcr7750_model_advance(&board_model, ns);
	} else if (sscanf(line, "edge %7s", word) == 1 && (!strcmp(word, "rise") || !strcmp(word, "fall"))) {
		tcr7750_model_edge(&board_model, word[0] == 'r' ? TCR7750_EDGE_RISING : TCR7750_EDGE_FALLING);
	} else if (sscanf(line, "irq %i", &value) == 1) {
		tcr7750_model_set_status(&board_model, value);
		tcr7750_model_raise_pending(&board_model, value & ST_BOARD_IRQ);
		request_raise(); /* also when the status shows nothing of the board's */
	} else if (sscanf(line, "line %i", &value) == 1) {
		config_line = value;
	} else if (sscanf(line, "pci-command %i", &value) == 1) {
		set_pci_command(value);
	} else if (sscanf(line, "line-error %i", &value) == 1) {
		config_line_error = value;
	} else if (!strncmp(line, "clear-log", 9)) {
		tcr7750_model_clear_log(&board_model);
	} else if (!strncmp(line, "reset", 5)) {
		raw_spin_unlock_irqrestore(&board_model_lock, flags);
		set_realtime(false);
		raw_spin_lock_irqsave(&board_model_lock, flags);
		reset_board();
	} else if (sscanf(line, "hold-irq-write %i", &value) == 1) {
		hold_next_irq_write(value);
	} else if (sscanf(line, "advance-on-read %i %llu %u", &value, &ns, &count) == 3) {
		advance_on_read(value, ns, count);
	} else if (sscanf(line, "realtime-offset %lld", &offset_ns) == 1) {
		raw_spin_unlock_irqrestore(&board_model_lock, flags);
		follow_realtime(offset_ns);
		return 0;
	} else if (sscanf(line, "time-reads %u", &count) == 1) {
		raw_spin_unlock_irqrestore(&board_model_lock, flags);
		return time_register_reads(count);
	} else if (sscanf(line, "realtime %i", &value) == 1) {
		raw_spin_unlock_irqrestore(&board_model_lock, flags);
		set_realtime(value);
		return 0;
	} else {
		err = -EINVAL;
	}
	refresh_page();
	schedule_tick();
	raw_spin_unlock_irqrestore(&board_model_lock, flags);
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

	raw_spin_lock_irqsave(&board_model_lock, flags);
	copy = board_model;
	raw_spin_unlock_irqrestore(&board_model_lock, flags);

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
	seq_printf(s, "raises_handled %llu\n", raises_handled_count());
	seq_printf(s, "last_raise_ns %llu\n", READ_ONCE(last_raise_ns));
	seq_printf(s, "elapsed_ns %llu\n", copy.elapsed_ns);
	seq_printf(s, "irq_write_held %d\n", READ_ONCE(irq_write_held));
	seq_printf(s, "irq_writes_held %u\n", READ_ONCE(irq_writes_held));
	seq_printf(s, "microseconds_read_real_ns %llu\n", READ_ONCE(microseconds_read_real_ns));
	seq_printf(s, "read_ns_median %llu\n", READ_ONCE(read_ns_median));
	seq_printf(s, "read_ns_p99 %llu\n", READ_ONCE(read_ns_p99));
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
	raw_spin_lock_irqsave(&board_model_lock, flags);
	count = min_t(size_t, board_model.log_count, LOG_CAPACITY);
	memcpy(copy, board_access_log, count * sizeof(copy[0]));
	raw_spin_unlock_irqrestore(&board_model_lock, flags);

	for (i = 0; i < count; i++)
		seq_printf(s, "%c %02x %u %x%s\n", copy[i].direction == TCR7750_WRITE ? 'W' : 'R',
			   copy[i].offset, copy[i].width, copy[i].value,
			   copy[i].wrong_width ? " wrong-width" : "");
	mutex_unlock(&copy_lock);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(log);

void create_debugfs(void)
{
	debug_dir = debugfs_create_dir("tcr7750_board", NULL);
	debugfs_create_file("command", 0200, debug_dir, NULL, &command_fops);
	debugfs_create_file("state", 0444, debug_dir, NULL, &state_fops);
	debugfs_create_file("log", 0444, debug_dir, NULL, &log_fops);
}

void remove_debugfs(void)
{
	debugfs_remove_recursive(debug_dir);
}
