// SPDX-License-Identifier: GPL-2.0-only
/*
 * The synthetic PCI root bus of the simulated board: its configuration
 * accessors answer for one device, 0x9010:0xCB01, with BAR 0 on the reserved
 * page and the interrupt-line byte that tests may change or make unreadable.
 * Its command register is honoured as a real board's: until memory decoding
 * is on, the window answers all ones and the line stays quiet.
 */
#include <linux/pci.h>

#include "board.h"

#define BOARD_DOMAIN      0x10000
#define BOARD_CLASS_REV   0x11800001u  /* signal processing controller, other; rev 1 */

u8 config_line;
bool config_line_error;
static u32 bar0 = BOARD_PHYS;
static u16 pci_command; /* off at power-on, as a board the firmware left alone */

static struct pci_sysdata sysdata = { .domain = BOARD_DOMAIN, .node = NUMA_NO_NODE };
static struct pci_bus *root_bus;
static struct resource bus_window = {
	.name = "tcr7750 board window", .start = BOARD_PHYS, .end = BOARD_PHYS + PAGE_SIZE - 1,
	.flags = IORESOURCE_MEM,
};
static struct resource bus_numbers = {
	.name = "tcr7750 board bus", .start = 0, .end = 0, .flags = IORESOURCE_BUS,
};

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
		WRITE_ONCE(pci_command, value & 0xFFFF);
	return PCIBIOS_SUCCESSFUL;
}

bool board_memory_decoding(void)
{
	return READ_ONCE(pci_command) & PCI_COMMAND_MEMORY;
}

void set_pci_command(u16 value)
{
	WRITE_ONCE(pci_command, value);
}

static struct pci_ops config_ops = { .read = config_read, .write = config_write };

int add_root_bus(void)
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

void remove_root_bus(void)
{
	pci_stop_root_bus(root_bus);
	pci_remove_root_bus(root_bus);
}
