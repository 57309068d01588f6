// SPDX-License-Identifier: GPL-2.0-only
/*
 * Exchanges with the device's steering window (tcr7750_steering.h).  The
 * window is a memory BAR: the module turns the board's memory decoding on
 * before each exchange when it is off (after a hot-plug or a rescan nobody
 * has yet; "pci-command 0" leaves it off until the next command), without
 * enabling the device in the kernel's count, which is the driver's.
 *
 * A command returns once the interrupts it raised have been served: while
 * the device says busy, and the board's line has a handler that the kernel
 * has not disabled, it waits, up to a second without progress; then until
 * every handler of the line has returned (synchronize_irq, threads too).
 */
#include <linux/delay.h>
#include <linux/io.h>
#include <linux/irq.h>
#include <linux/ktime.h>
#include <linux/mm.h>
#include <linux/slab.h>
#include <linux/sort.h>
#include <linux/string.h>

#include "board.h"
#include "tcr7750_regs.h"
#include "tcr7750_steering.h"

void board_unmap(struct board *b)
{
	if (b->steering)
		pci_iounmap(b->pdev, b->steering);
	if (b->registers)
		pci_iounmap(b->pdev, b->registers);
	b->steering = b->registers = NULL;
}

/* The steering window and the registers mapped, the memory decoding on. */
static int reach(struct board *b)
{
	int err = 0;
	u16 command;

	mutex_lock(&b->map_lock);
	if (!b->steering) {
		if (!(pci_resource_flags(b->pdev, STEER_BAR) & IORESOURCE_MEM) ||
		    pci_resource_len(b->pdev, STEER_BAR) < STEER_SIZE) {
			err = -ENODEV;
		} else {
			b->steering = pci_iomap(b->pdev, STEER_BAR, STEER_SIZE);
			b->registers = pci_iomap(b->pdev, 0, TCR7750_WINDOW_SIZE);
		}
		if (!err && (!b->steering || !b->registers)) {
			board_unmap(b);
			err = -ENOMEM;
		}
	}
	if (!err) {
		pci_read_config_word(b->pdev, PCI_COMMAND, &command);
		if (!(command & PCI_COMMAND_MEMORY))
			pci_write_config_word(b->pdev, PCI_COMMAND, command | PCI_COMMAND_MEMORY);
	}
	mutex_unlock(&b->map_lock);
	return err;
}

/* Does anybody serve the board's line? */
static bool line_served(int irq)
{
	return irq > 0 && irq_has_action(irq) && !irqd_irq_disabled(irq_get_irq_data(irq));
}

static void wait_until_served(struct board *b)
{
	int irq = b->pdev->irq;
	u64 raises = readq(b->steering + STEER_RAISES);
	unsigned long deadline = jiffies + HZ;

	while (readl(b->steering + STEER_BUSY)) {
		u64 now_raises = readq(b->steering + STEER_RAISES);

		if (now_raises != raises) {
			raises = now_raises;
			deadline = jiffies + HZ;
		}
		if (!line_served(irq) || time_after(jiffies, deadline)) {
			writel(1, b->steering + STEER_FINISH);
			break;
		}
		usleep_range(20, 100);
	}
	if (irq > 0)
		synchronize_irq(irq);
}

int board_command(struct board *b, const char *line)
{
	size_t length = strnlen(line, STEER_COMMAND_SIZE);
	u64 raises, started;
	int err;

	err = reach(b);
	if (err)
		return err;
	mutex_lock(&b->command_lock);
	raises = readq(b->steering + STEER_RAISES);
	memcpy_toio(b->steering + STEER_COMMAND, line, length);
	started = ktime_get_ns();
	writel(length, b->steering + STEER_EXECUTE);
	err = readl(b->steering + STEER_RESULT) ? -EINVAL : 0;
	if (readq(b->steering + STEER_RAISES) != raises)
		b->last_raise_ns = started;
	mutex_unlock(&b->command_lock);
	if (!err)
		wait_until_served(b);
	return err;
}

/*
 * CLOCK_REALTIME minus the device's clock: the narrowest of a few readings
 * of the device's clock between two of the guest's.  The guest's clock
 * counts from the HPET, which counts from the same virtual clock, so the
 * difference holds until the guest's clock is stepped or slewed.
 */
static s64 realtime_offset(struct board *b)
{
	s64 best_width = S64_MAX, offset = 0;
	int i;

	for (i = 0; i < 16; i++) {
		s64 before = ktime_get_real_ns();
		s64 device = readq(b->steering + STEER_CLOCK);
		s64 after = ktime_get_real_ns();

		if (after - before < best_width) {
			best_width = after - before;
			offset = before + (after - before) / 2 - device;
		}
	}
	return offset;
}

int board_follow_realtime(struct board *b, s64 offset_ns)
{
	char line[64];
	s64 device_ns;
	int err = reach(b);

	if (err)
		return err;
	device_ns = readq(b->steering + STEER_CLOCK);
	snprintf(line, sizeof(line), "realtime-at %lld %lld", device_ns,
		 device_ns + realtime_offset(b) + offset_ns);
	return board_command(b, line);
}

s64 board_microseconds_read_real_ns(struct board *b)
{
	if (reach(b))
		return 0;
	return readq(b->steering + STEER_MICROSECONDS_READ) + realtime_offset(b);
}

char *board_text(struct board *b, bool log, size_t *length)
{
	char *text;

	if (reach(b))
		return NULL;
	mutex_lock(&b->text_lock);
	writel(log ? STEER_TEXT_LOG : STEER_TEXT_STATE, b->steering + STEER_TEXT);
	*length = min_t(size_t, readl(b->steering + STEER_TEXT_LENGTH), STEER_TEXT_SIZE);
	text = kvmalloc(*length + 1, GFP_KERNEL);
	if (text) {
		memcpy_fromio(text, b->steering + STEER_TEXT_DATA, *length);
		text[*length] = '\0';
	}
	mutex_unlock(&b->text_lock);
	return text;
}

static int compare_u64(const void *a, const void *b)
{
	u64 x = *(const u64 *)a, y = *(const u64 *)b;

	return x < y ? -1 : x > y;
}

/*
 * "time-reads N": N reads of REG_MICROSECONDS, each between two
 * CLOCK_REALTIME readings as a driver brackets its reading with them; the
 * median and 99th percentile of what one takes.
 */
int board_time_reads(struct board *b, unsigned int n)
{
	u64 *samples;
	unsigned int i;
	int err = 0;

	if (n == 0 || n > 100000)
		return -EINVAL;
	samples = kvmalloc_array(n, sizeof(*samples), GFP_KERNEL);
	if (!samples)
		return -ENOMEM;
	err = reach(b);
	for (i = 0; !err && i < n; i++) {
		struct timespec64 before, after;

		ktime_get_real_ts64(&before);
		ioread32(b->registers + REG_MICROSECONDS);
		ktime_get_real_ts64(&after);
		samples[i] = timespec64_to_ns(&after) - timespec64_to_ns(&before);
	}
	if (!err) {
		sort(samples, n, sizeof(*samples), compare_u64, NULL);
		b->read_ns_median = samples[n / 2];
		b->read_ns_p99 = samples[(u64)(n - 1) * 99 / 100];
	}
	kvfree(samples);
	return err;
}
