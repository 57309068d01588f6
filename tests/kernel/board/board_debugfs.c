// SPDX-License-Identifier: GPL-2.0-only
/*
 * Tests drive each board through debugfs, /sys/kernel/debug/tcr7750_board/
 * (the first board; the others tcr7750_board.N/, board_main.c):
 *   command  write one line:
 *     time YYYY MM DD hh mm ss usec   set the decoded date and time
 *     status VALUE                    set the status bits the time code gives
 *     advance NANOSECONDS             move virtual time; each periodic
 *                                     interrupt on the way is served before
 *                                     time goes on
 *     edge rise|fall                  an edge on the time-stamp input
 *     irq STATUS                      raise the line once, until the next
 *                                     status read, with this status (pending
 *                                     bits from STATUS; may be none)
 *     line VALUE                      the interrupt-line byte in configuration
 *     line-error 0|1                  configuration reads of that byte answer
 *                                     0xFF (no line)
 *     pci-command VALUE               write the PCI command register, as
 *                                     configuration software does (0: memory
 *                                     decoding off, until the next command)
 *     realtime 0|1                    follow the emulator's virtual clock
 *                                     (the guest's HPET) from the time set
 *     realtime-offset NS              follow it from the guest's CLOCK_REALTIME
 *                                     plus NS (signed) now
 *     advance-on-read OFFSET NS N     the next N reads of the register at
 *                                     OFFSET first advance virtual time NS
 *     time-reads N                    time N register reads (state:
 *                                     read_ns_median, read_ns_p99)
 *     hold-irq-write MS               the next REG_CONTROL write made while
 *                                     the line is up stays in its CPU until
 *                                     another control write has reached the
 *                                     board or MS ms (at most 1000) have
 *                                     passed (the other CPUs run on only
 *                                     with a host thread each)
 *     clear-log                       empty the access log
 *     reset                           the board at power-up, the
 *                                     configuration byte as it was
 *   state    read: one "name value" line per board fact
 *   log      read: the register accesses since clear-log,
 *            "R|W offset width value" in hexadecimal, followed by
 *            " wrong-width" when the access met a register at another
 *            offset or width than its own
 * A command returns once the interrupts it raised have been served.
 * The device (sim/qemu/tcr7750_pci.c) parses the commands but for
 * pci-command, realtime-offset and time-reads, which need the guest.
 */
#include <linux/debugfs.h>
#include <linux/fs.h>
#include <linux/mm.h>
#include <linux/module.h>
#include <linux/seq_file.h>
#include <linux/uaccess.h>

#include "board.h"

static ssize_t command_write(struct file *file, const char __user *buffer, size_t count, loff_t *pos)
{
	struct board *b = file_inode(file)->i_private;
	char line[96];
	long long offset_ns;
	unsigned int value;
	int err;

	if (count >= sizeof(line))
		return -EINVAL;
	if (copy_from_user(line, buffer, count))
		return -EFAULT;
	line[count] = '\0';
	if (sscanf(line, "pci-command %i", &value) == 1)
		err = pci_write_config_word(b->pdev, PCI_COMMAND, value);
	else if (sscanf(line, "realtime-offset %lld", &offset_ns) == 1)
		err = board_follow_realtime(b, offset_ns);
	else if (sscanf(line, "time-reads %u", &value) == 1)
		err = board_time_reads(b, value);
	else
		err = board_command(b, line);
	return err ? err : count;
}

static const struct file_operations command_fops = {
	.owner = THIS_MODULE,
	.write = command_write,
};

static int state_show(struct seq_file *s, void *unused)
{
	struct board *b = s->private;
	size_t length;
	char *text = board_text(b, false, &length);

	if (!text)
		return -ENODEV;
	seq_write(s, text, length);
	kvfree(text);
	seq_printf(s, "pci %s\n", pci_name(b->pdev));
	seq_printf(s, "irq %d\n", b->pdev->irq);
	seq_printf(s, "spare_irq %d\n", spare_irq);
	seq_printf(s, "busy_irq %d\n", busy_irq);
	seq_printf(s, "last_raise_ns %llu\n", b->last_raise_ns);
	seq_printf(s, "microseconds_read_real_ns %lld\n", board_microseconds_read_real_ns(b));
	seq_printf(s, "read_ns_median %llu\n", b->read_ns_median);
	seq_printf(s, "read_ns_p99 %llu\n", b->read_ns_p99);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(state);

static int log_show(struct seq_file *s, void *unused)
{
	size_t length;
	char *text = board_text(s->private, true, &length);

	if (!text)
		return -ENODEV;
	seq_write(s, text, length);
	kvfree(text);
	return 0;
}

/* The log may be long: a buffer of its size, not seq_file's retries. */
static int log_open(struct inode *inode, struct file *file)
{
	return single_open_size(file, log_show, inode->i_private, 160 * 1024);
}

static const struct file_operations log_fops = {
	.owner = THIS_MODULE,
	.open = log_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
};

void board_add_files(struct board *b)
{
	char name[32];

	if (b->index == 0)
		snprintf(name, sizeof(name), "tcr7750_board");
	else
		snprintf(name, sizeof(name), "tcr7750_board.%u", b->index);
	b->dir = debugfs_create_dir(name, NULL);
	debugfs_create_file("command", 0200, b->dir, b, &command_fops);
	debugfs_create_file("state", 0444, b->dir, b, &state_fops);
	debugfs_create_file("log", 0444, b->dir, b, &log_fops);
}
