// SPDX-License-Identifier: GPL-2.0-only
/*
 * tcr7750_board: a simulated TCR7750 for the kernel test kit.  Test use only.
 *
 * The board the real PCI core finds:
 *  - a synthetic PCI root bus (domain 0x10000) whose configuration accessors
 *    answer for one device, 0x9010:0xCB01, with BAR 0 on the page reserved by
 *    "memmap=4K$0x20000000" and the interrupt-line byte at 0x3C (board_bus.c);
 *  - an interrupt line of its own (a level-triggered line with an end of
 *    interrupt), raised with generic_handle_irq_safe() from a hard
 *    high-resolution timer whenever the model asserts it; besides it a spare line (for "irq=" tests) and a busy one,
 *    held without sharing (a request for it is refused) (board_lines.c);
 *  - the board model of sim/board_model.c behind the registers, fed by
 *    kprobes on the kernel's MMIO accessors (board_registers.c), in virtual
 *    time or following the kernel clock (board_realtime.c).
 *
 * Tests drive the board through debugfs (board_debugfs.c).
 *
 * This file holds the model and its lock and loads and unloads the module.
 */
#include <linux/module.h>

#include "board.h"

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Simulated TCR7750 board for the kernel tests");

struct tcr7750_model board_model;
struct tcr7750_access board_access_log[LOG_CAPACITY];
DEFINE_RAW_SPINLOCK(board_model_lock);

void reset_board(void)
{
	tcr7750_model_init(&board_model);
	tcr7750_model_set_log(&board_model, board_access_log, LOG_CAPACITY);
	tcr7750_model_set_line_handler(&board_model, on_line_change, NULL);
	config_line = first_irq + LINE_BOARD;
	config_line_error = false;
	hold_next_irq_write(0);
	advance_on_read(0, 0, 0);
	refresh_page();
}

static int __init board_init(void)
{
	int err;

	err = map_page();
	if (err)
		return err;
	init_realtime();

	err = setup_lines();
	if (err)
		goto fail_page;
	reset_board();

	err = hook_accessors();
	if (err)
		goto fail_lines;

	err = add_root_bus();
	if (err)
		goto fail_probes;

	create_debugfs();
	pr_info("tcr7750_board: board on irq %d\n", first_irq + LINE_BOARD);
	return 0;

fail_probes:
	unhook_accessors();
fail_lines:
	teardown_lines();
fail_page:
	unmap_page();
	return err;
}

static void __exit board_exit(void)
{
	remove_debugfs();
	remove_root_bus();
	set_realtime(false);
	unhook_accessors();
	teardown_lines();
	unmap_page();
}

module_init(board_init);
module_exit(board_exit);
