/* SPDX-License-Identifier: GPL-2.0-only */
/*
 * The guest side of the test board, the QEMU device tcr7750 (sim/qemu/):
 *   board_main.c      finds the boards (a PCI bus notifier), the spare and
 *                     busy interrupt lines, module load and unload
 *   board_steering.c  the device's steering window (BAR 2): commands, text,
 *                     the device's clock on the guest's clocks
 *   board_debugfs.c   the command, state and log files of each board
 */
#ifndef TCR7750_TEST_BOARD_H
#define TCR7750_TEST_BOARD_H

#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/types.h>

struct board {
	struct list_head node;
	struct pci_dev *pdev;
	unsigned int index;        /* 0: tcr7750_board/, N: tcr7750_board.N/ */
	struct dentry *dir;
	/*
	 * One command, and one text, at a time; apart, so that a command whose
	 * interrupt is held at the board (on the CPU that sent it) does not
	 * hold up the state read by another CPU.
	 */
	struct mutex command_lock, text_lock;
	struct mutex map_lock;     /* the mappings, made at first use */
	void __iomem *steering;    /* BAR 2 */
	void __iomem *registers;   /* BAR 0, for "time-reads" */
	u64 last_raise_ns;         /* CLOCK_MONOTONIC at the command that last raised the line */
	u64 read_ns_median, read_ns_p99;
};

/* board_main.c */
extern int spare_irq, busy_irq;

/* board_steering.c */
int board_command(struct board *b, const char *line);    /* 0, -EINVAL (refused), -ENODEV */
int board_follow_realtime(struct board *b, s64 offset_ns); /* "realtime-offset" */
int board_time_reads(struct board *b, unsigned int n);    /* "time-reads" */
char *board_text(struct board *b, bool log, size_t *length); /* kvfree() it */
s64 board_microseconds_read_real_ns(struct board *b);
void board_unmap(struct board *b);

/* board_debugfs.c */
void board_add_files(struct board *b);

#endif /* TCR7750_TEST_BOARD_H */
