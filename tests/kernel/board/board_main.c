// SPDX-License-Identifier: GPL-2.0-only
/*
 * The guest side of the kit's test board.  The board itself is a PCI device
 * of the emulator (sim/qemu/tcr7750_pci.c) that the driver binds as any
 * card; this module binds nothing.  It finds every board through a PCI bus
 * notifier, gives each one its debugfs files (board_debugfs.c) and passes
 * the tests' commands to the device's steering window (board_steering.c).
 * A board's files go when its device goes (sysfs remove, the emulator's
 * device_del) and come back with it (rescan, device_add): the first board
 * found takes tcr7750_board/, the next ones tcr7750_board.1/, .2/ ..., each
 * the lowest number free.
 *
 * It also holds two interrupt lines for the driver's "irq=" tests: a spare
 * one nobody raises, and a busy one held without sharing, so that
 * requesting it is refused.
 */
#include <linux/debugfs.h>
#include <linux/interrupt.h>
#include <linux/irq.h>
#include <linux/module.h>
#include <linux/slab.h>

#include "board.h"
#include "tcr7750_regs.h"

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Steering of the emulator's TCR7750 boards for the kernel tests");

#define MAX_BOARDS 16

int spare_irq = -1, busy_irq = -1;

static LIST_HEAD(boards);
static DEFINE_MUTEX(boards_lock);

static bool is_board(struct pci_dev *pdev)
{
	return pdev->vendor == TCR7750_PCI_VENDOR_ID && pdev->device == TCR7750_PCI_DEVICE_ID;
}

static struct board *find_board(struct pci_dev *pdev)
{
	struct board *b;

	list_for_each_entry(b, &boards, node)
		if (b->pdev == pdev)
			return b;
	return NULL;
}

static unsigned int free_index(void)
{
	DECLARE_BITMAP(used, MAX_BOARDS) = { 0 };
	struct board *b;

	list_for_each_entry(b, &boards, node)
		__set_bit(b->index, used);
	return find_first_zero_bit(used, MAX_BOARDS);
}

static void add_board(struct pci_dev *pdev)
{
	struct board *b;
	unsigned int index;

	mutex_lock(&boards_lock);
	index = free_index();
	if (find_board(pdev) || index >= MAX_BOARDS)
		goto out;
	b = kzalloc(sizeof(*b), GFP_KERNEL);
	if (!b)
		goto out;
	b->pdev = pci_dev_get(pdev);
	b->index = index;
	mutex_init(&b->command_lock);
	mutex_init(&b->text_lock);
	mutex_init(&b->map_lock);
	board_add_files(b);
	list_add_tail(&b->node, &boards);
	dev_info(&pdev->dev, "tcr7750_board: steering in %pd\n", b->dir);
out:
	mutex_unlock(&boards_lock);
}

static void remove_board(struct board *b)
{
	list_del(&b->node);
	debugfs_remove_recursive(b->dir); /* waits for the files' readers and writers */
	board_unmap(b);
	pci_dev_put(b->pdev);
	kfree(b);
}

static int on_pci_event(struct notifier_block *nb, unsigned long action, void *data)
{
	struct pci_dev *pdev = to_pci_dev(data);
	struct board *b;

	if (!is_board(pdev))
		return NOTIFY_DONE;
	if (action == BUS_NOTIFY_ADD_DEVICE) {
		add_board(pdev);
	} else if (action == BUS_NOTIFY_DEL_DEVICE) {
		mutex_lock(&boards_lock);
		b = find_board(pdev);
		if (b)
			remove_board(b);
		mutex_unlock(&boards_lock);
	}
	return NOTIFY_OK;
}

static struct notifier_block pci_events = { .notifier_call = on_pci_event };

static irqreturn_t busy_line_handler(int line, void *cookie)
{
	return IRQ_NONE;
}

static int setup_lines(void)
{
	int err;

	/* Owned by this module: a driver holding it keeps the module loaded. */
	spare_irq = irq_alloc_descs(-1, 0, 1, NUMA_NO_NODE);
	if (spare_irq < 0)
		return spare_irq;
	/* Owned by no module: this module holds it itself and stays removable. */
	busy_irq = __irq_alloc_descs(-1, 0, 1, NUMA_NO_NODE, NULL, NULL);
	if (busy_irq < 0) {
		irq_free_descs(spare_irq, 1);
		return busy_irq;
	}
	irq_set_chip_and_handler(spare_irq, &dummy_irq_chip, handle_simple_irq);
	irq_set_chip_and_handler(busy_irq, &dummy_irq_chip, handle_simple_irq);
	err = request_irq(busy_irq, busy_line_handler, 0, "tcr7750_board busy", &boards);
	if (err) {
		irq_free_descs(busy_irq, 1);
		irq_free_descs(spare_irq, 1);
	}
	return err;
}

static void teardown_lines(void)
{
	free_irq(busy_irq, &boards);
	irq_free_descs(busy_irq, 1);
	irq_free_descs(spare_irq, 1);
}

static int __init board_init(void)
{
	struct pci_dev *pdev = NULL;
	int err;

	err = setup_lines();
	if (err)
		return err;
	err = bus_register_notifier(&pci_bus_type, &pci_events);
	if (err) {
		teardown_lines();
		return err;
	}
	while ((pdev = pci_get_device(TCR7750_PCI_VENDOR_ID, TCR7750_PCI_DEVICE_ID, pdev)))
		add_board(pdev);
	return 0;
}

static void __exit board_exit(void)
{
	struct board *b, *next;

	bus_unregister_notifier(&pci_bus_type, &pci_events);
	mutex_lock(&boards_lock);
	list_for_each_entry_safe(b, next, &boards, node)
		remove_board(b);
	mutex_unlock(&boards_lock);
	teardown_lines();
}

module_init(board_init);
module_exit(board_exit);
