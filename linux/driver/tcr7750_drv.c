// SPDX-License-Identifier: GPL-2.0
/*
 * tcr7750_drv: the TCR7750 IRIG-B time code reader as the character device
 * /dev/tcr7750.
 *
 * One board per kernel, all state module-global.  A blocking read returns a
 * 20-byte time record after each board interrupt (periodic or time stamp);
 * ten ioctl commands configure the board.  Registers are reached with the
 * ioread/iowrite accessors at their own width.
 */
#include <linux/cdev.h>
#include <linux/fs.h>
#include <linux/interrupt.h>
#include <linux/io.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/poll.h>
#include <linux/sched.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#include "tcr7750_regs.h"
#include "tcr7750_ioctl.h"

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("TCR7750 PCI board");

#define TCR7750_MINORS_RESERVED 4
#define TCR7750_MINORS_SERVED   3

/* Only printed: the major number always comes from the kernel. */
static unsigned int tcr7750_major = 85;
module_param(tcr7750_major, uint, 0444);

/* Below 0: no interrupt; 0: the line from PCI configuration; above 0: this line. */
static int irq;
module_param(irq, int, 0444);

static dev_t First;
static struct cdev cdev;
static void __iomem *baseAddress;
static void __iomem *statusreg;
static void __iomem *controlreg;
static u16 Ctlreg;     /* level bits of REG_CONTROL; pulse bits never stay here */
static DEFINE_SPINLOCK(control_lock); /* Ctlreg and every write of REG_CONTROL */
static s16 irq_num = -1; /* the line taken, -1 when none */

static u8 Ready;       /* a board interrupt came since the last blocking read */
static DECLARE_WAIT_QUEUE_HEAD(tcr7750_rdq);
static struct tcr7750_timestamps StoredTs; /* latched by the last time-stamp interrupt */
static DEFINE_SPINLOCK(stored_ts_lock);

/* Stands in for the old kernel-wide ioctl lock: one command at a time. */
static DEFINE_MUTEX(command_lock);

/*
 * The one way to write REG_CONTROL: clear, then set, level bits in the shadow
 * and write it whole with this write's pulse bits.  Under control_lock, also
 * from the interrupt handler, so a writer on another CPU never writes a
 * shadow older than the one already on the board.
 */
static void tcr7750_update_control(u16 clear, u16 set, u16 pulse)
{
	unsigned long flags;

	spin_lock_irqsave(&control_lock, flags);
	Ctlreg = (Ctlreg & ~clear) | set;
	iowrite16(Ctlreg | pulse, controlreg);
	spin_unlock_irqrestore(&control_lock, flags);
}

static u16 read16(unsigned int offset)
{
	return ioread16(baseAddress + offset);
}

static u32 read32(unsigned int offset)
{
	return ioread32(baseAddress + offset);
}

/* ---- data path ----------------------------------------------------------- */

/* The time record from the running board, in the documented read order. */
static void get_time(struct tcr7750_time *record)
{
	u16 status = ioread16(statusreg);

	memset(record, 0, sizeof(*record));
	record->status = status;
	record->sign_negative = (status & ST_SIGN_NEGATIVE) != 0;
	record->state_s = (status & ST_STATE_S) != 0;
	record->day_of_year = read16(REG_DAY_OF_YEAR);
	record->year = read16(REG_YEAR);
	record->month = ioread8(baseAddress + REG_MONTH);
	record->day = (u8)read16(REG_DAY);
	record->weekday = (u8)read16(REG_DAY_OF_WEEK);
	record->hour = (u8)read16(REG_HOURS);
	record->minute = (u8)read16(REG_MINUTES);
	record->second = (u8)read16(REG_SECONDS);
	record->microsecond = read32(REG_MICROSECONDS);
}

static void read_timestamps(struct tcr7750_timestamps *ts)
{
	ts->rise_seconds = read32(REG_RISE_SECONDS);
	ts->rise_microseconds = read32(REG_RISE_MICROSECONDS);
	ts->fall_seconds = read32(REG_FALL_SECONDS);
	ts->fall_microseconds = read32(REG_FALL_MICROSECONDS);
}

static irqreturn_t tcr7750_irqtrt(int line, void *cookie)
{
	u16 status = ioread16(statusreg);

	/* All ones: no board answered the read (gone, or memory decoding off). */
	if (PCI_POSSIBLE_ERROR(status) || !(status & ST_BOARD_IRQ))
		return IRQ_NONE; /* another device on the shared line */

	if (status & ST_PERIODIC_IRQ) {
		tcr7750_update_control(0, 0, CTL_PERIODIC_ACK);
	} else {
		/* Reading the time stamps is what acknowledges them. */
		struct tcr7750_timestamps ts;

		read_timestamps(&ts);
		spin_lock(&stored_ts_lock);
		StoredTs = ts;
		spin_unlock(&stored_ts_lock);
	}
	WRITE_ONCE(Ready, 1);
	wake_up_interruptible_all(&tcr7750_rdq);
	return IRQ_HANDLED;
}

static ssize_t tcr7750_read(struct file *file, char __user *buffer, size_t count, loff_t *position)
{
	struct tcr7750_time record; /* each reader its own: no record mixes two readings */

	/* Never write past the caller's buffer. */
	if (count < sizeof(record))
		return -EINVAL;

	if (!(file->f_flags & O_NONBLOCK) &&
	    wait_event_interruptible(tcr7750_rdq, READ_ONCE(Ready)))
		return -ERESTARTSYS;

	get_time(&record);
	if (copy_to_user(buffer, &record, sizeof(record)))
		return -EFAULT;
	if (!(file->f_flags & O_NONBLOCK))
		WRITE_ONCE(Ready, 0);
	return sizeof(record);
}

static __poll_t tcr7750_poll(struct file *file, poll_table *wait)
{
	poll_wait(file, &tcr7750_rdq, wait);
	return READ_ONCE(Ready) ? EPOLLIN | EPOLLRDNORM : 0;
}

/* ---- control commands ---------------------------------------------------- */

static long set_year(u16 __user *argument)
{
	u16 year;

	if (get_user(year, argument))
		return -EFAULT;
	iowrite16(year, baseAddress + REG_INITIAL_YEAR);
	printk(KERN_DEFAULT "Set initial year %d %08X\n", year,
	       (u32)(uintptr_t)(baseAddress + REG_INITIAL_YEAR));
	tcr7750_update_control(0, 0, CTL_LOAD_YEAR);
	return 0;
}

static long set_period(u16 __user *argument)
{
	u16 period;

	if (get_user(period, argument))
		return -EFAULT;
	iowrite16(period, baseAddress + REG_PERIOD);
	printk(KERN_DEFAULT "Period interrupt set %d\n", period);
	tcr7750_update_control(0, CTL_PERIODIC_ENABLE, CTL_PERIODIC_ACK);
	return 0;
}

static long enable_timestamp(u8 __user *argument)
{
	u8 falling;

	if (get_user(falling, argument))
		return -EFAULT;
	tcr7750_update_control(CTL_FALLING_EDGE,
			       CTL_TIMESTAMP_ENABLE | (falling ? CTL_FALLING_EDGE : 0), 0);
	return 0;
}

static long set_irig_mode(u8 __user *argument)
{
	u8 mode;
	u16 field;

	if (get_user(mode, argument))
		return -EFAULT;
	switch (mode) {
	case TCR7750_IRIG_MODE_STANDARD:
		field = CTL_MODE_STANDARD;
		break;
	case TCR7750_IRIG_MODE_AFNOR:
		field = CTL_MODE_AFNOR;
		break;
	case TCR7750_IRIG_MODE_TD:
		field = CTL_MODE_TD;
		break;
	default: /* no mode: the field stays, the register is still written */
		tcr7750_update_control(0, 0, 0);
		return 0;
	}
	tcr7750_update_control(CTL_MODE_MASK, field, 0);
	return 0;
}

static long disable_interrupts(void)
{
	tcr7750_update_control(CTL_ENABLE_MASK, 0, CTL_PERIODIC_ACK);
	return 0;
}

/*
 * Answers are tried on the caller's memory before any register is read, as
 * reads have effects on the board (reading the time-stamp registers
 * acknowledges them).  A block copy takes nothing when its first byte
 * cannot be written.
 */
static bool takes_nothing(void __user *argument)
{
	return put_user(0, (u8 __user *)argument) != 0;
}

static long get_status(u32 __user *argument)
{
	u32 control, status;

	if (put_user(0, argument))
		return -EFAULT;
	control = ioread16(controlreg);
	status = ioread16(statusreg);
	return put_user(control << 16 | status, argument);
}

/* Block copies answer with the count of bytes left uncopied. */
static long copy_block(void __user *argument, const void *block, unsigned long size)
{
	return copy_to_user(argument, block, size);
}

static long get_live_timestamps(void __user *argument)
{
	struct tcr7750_timestamps ts;

	if (takes_nothing(argument))
		return sizeof(ts);
	read_timestamps(&ts);
	return copy_block(argument, &ts, sizeof(ts));
}

static long get_stored_timestamps(void __user *argument)
{
	struct tcr7750_timestamps ts;

	/* A copy never mixes the words of two time stamps. */
	spin_lock_irq(&stored_ts_lock);
	ts = StoredTs;
	spin_unlock_irq(&stored_ts_lock);
	return copy_block(argument, &ts, sizeof(ts));
}

static long get_version(void __user *argument)
{
	u8 version[REG_VERSION_SIZE];
	unsigned int i;

	if (takes_nothing(argument))
		return sizeof(version);
	for (i = 0; i < sizeof(version); i++)
		version[i] = ioread8(baseAddress + REG_VERSION + i);
	return copy_block(argument, version, sizeof(version));
}

static long dump_window(void __user *argument)
{
	u32 window[TCR7750_WINDOW_SIZE / sizeof(u32)];
	unsigned int i;

	if (takes_nothing(argument))
		return sizeof(window);
	for (i = 0; i < ARRAY_SIZE(window); i++)
		window[i] = read32(i * sizeof(u32));
	return copy_block(argument, window, sizeof(window));
}

static long run_command(unsigned int command, void __user *argument)
{
	switch (command) {
	case TCR7750_IOC_DISABLE:
		return disable_interrupts();
	case TCR7750_IOC_SET_YEAR:
		return set_year(argument);
	case TCR7750_IOC_GET_STATUS:
		return get_status(argument);
	case TCR7750_IOC_SET_PERIOD:
		return set_period(argument);
	case TCR7750_IOC_ENABLE_TS:
		return enable_timestamp(argument);
	case TCR7750_IOC_GET_TS:
		return get_live_timestamps(argument);
	case TCR7750_IOC_GET_STORED_TS:
		return get_stored_timestamps(argument);
	case TCR7750_IOC_SET_IRIG_MODE:
		return set_irig_mode(argument);
	case TCR7750_IOC_GET_VERSION:
		return get_version(argument);
	case TCR7750_IOC_DUMP:
		return dump_window(argument);
	default:
		return -ENOTTY;
	}
}

static long tcr7750_ioctl(struct file *file, unsigned int command, unsigned long argument)
{
	void __user *address = (void __user *)argument;
	long result;

	if (_IOC_TYPE(command) != TCR7750_IOC_TYPE || _IOC_NR(command) > TCR7750_IOC_MAXNR)
		return -ENOTTY;
	/* The range is checked before the command is looked up. */
	if (_IOC_DIR(command) != _IOC_NONE && !access_ok(address, _IOC_SIZE(command)))
		return -EFAULT;

	/* A command's user copy can sleep as long as its memory takes to come. */
	if (mutex_lock_interruptible(&command_lock))
		return -ERESTARTSYS;
	result = run_command(command, address);
	mutex_unlock(&command_lock);
	return result;
}

static int tcr7750_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int tcr7750_release(struct inode *inode, struct file *file)
{
	return 0;
}

static const struct file_operations tcr7750_fops = {
	.owner = THIS_MODULE,
	.read = tcr7750_read,
	.poll = tcr7750_poll,
	.unlocked_ioctl = tcr7750_ioctl,
	.compat_ioctl = compat_ptr_ioctl, /* same numbers and records for 32-bit callers */
	.open = tcr7750_open,
	.release = tcr7750_release,
};

/* ---- load and unload ----------------------------------------------------- */

/* The line to request, or -1 for none; logs the choice when there is none. */
static int choose_line(int config_line)
{
	if (irq < 0 || (irq == 0 && config_line < 0)) {
		printk(KERN_DEFAULT "tcr7750 : IRQ not used\n");
		return -1;
	}
	return irq > 0 ? irq : config_line;
}

static void claim_interrupt(int config_line)
{
	int line = choose_line(config_line);

	if (line < 0)
		return;
	if (request_irq(line, tcr7750_irqtrt, IRQF_SHARED, TCR7750_DEVICE_NAME, &cdev)) {
		printk(KERN_INFO "tcr7750 - impossible to assign IRQ %i\n", line);
		irq_num = -1;
	} else {
		irq_num = line;
	}
	printk(KERN_DEFAULT "tcr7750 : irq activation %d\n", irq_num);
}

/*
 * Only an alias for module autoloading (udev loads the module when the board
 * appears); the board itself is found by pci_get_device() below.
 */
static const struct pci_device_id tcr7750_pci_ids[] = {
	{ PCI_DEVICE(TCR7750_PCI_VENDOR_ID, TCR7750_PCI_DEVICE_ID) },
	{ }
};
MODULE_DEVICE_TABLE(pci, tcr7750_pci_ids);

/*
 * Finds the board and maps its window.  Returns the interrupt-line byte in
 * *config_line, or -1 when it could not be read.
 */
static int map_board(int *config_line)
{
	struct pci_dev *dev = pci_get_device(TCR7750_PCI_VENDOR_ID, TCR7750_PCI_DEVICE_ID, NULL);
	resource_size_t start, end;
	unsigned long flags;
	u8 line = 0;
	int err;

	if (!dev) {
		printk(KERN_ALERT "tcr7750 pci get device error, [err=%d]\n", 0);
		return -ENODEV;
	}
	start = pci_resource_start(dev, TCR7750_PCI_BAR);
	end = pci_resource_end(dev, TCR7750_PCI_BAR);
	flags = pci_resource_flags(dev, TCR7750_PCI_BAR);
	err = pci_bus_read_config_byte(dev->bus, dev->devfn, PCI_INTERRUPT_LINE, &line);
	if (err) {
		printk(KERN_ALERT "tcr7750 interrupt line error, [err=%d]\n", err);
		line = 0;
	}
	*config_line = err ? -1 : line;
	printk(KERN_INFO "tcr7750 resources %lX %lX %lX IRQ %d\n",
	       (unsigned long)start, (unsigned long)end, flags, line);
	pci_dev_put(dev);

	baseAddress = ioremap(start, TCR7750_WINDOW_SIZE);
	if (!baseAddress) {
		printk(KERN_ALERT "tcr7750 register window not mapped\n");
		return -ENOMEM;
	}
	statusreg = baseAddress + REG_STATUS;
	controlreg = baseAddress + REG_CONTROL;
	Ready = 0;
	tcr7750_update_control(CTL_LEVEL_MASK, 0, CTL_PERIODIC_ACK);
	return 0;
}

static void release_interrupt(void)
{
	if (irq >= 0 && irq_num >= 0)
		free_irq(irq_num, &cdev);
	irq_num = -1;
}

static int __init tcr7750_init(void)
{
	int config_line;
	int err;

	err = alloc_chrdev_region(&First, 0, TCR7750_MINORS_RESERVED, TCR7750_DEVICE_NAME);
	if (err) {
		printk(KERN_NOTICE "Error %d registering region tcr7750\n", err);
		return err;
	}

	err = map_board(&config_line);
	if (err)
		goto fail_region;
	claim_interrupt(config_line);

	/* Visible last: no file operation runs before the board is ready. */
	cdev_init(&cdev, &tcr7750_fops);
	cdev.owner = THIS_MODULE;
	err = cdev_add(&cdev, First, TCR7750_MINORS_SERVED);
	if (err) {
		printk(KERN_NOTICE "Error %d adding tcr7750\n", err);
		goto fail_mapped;
	}
	printk(KERN_INFO "tcr7750 registered [%d]\n", tcr7750_major);
	return 0;

fail_mapped:
	release_interrupt();
	iounmap(baseAddress);
fail_region:
	unregister_chrdev_region(First, TCR7750_MINORS_RESERVED);
	return err;
}

static void __exit tcr7750_exit(void)
{
	/*
	 * No interrupt stays enabled once the handler is gone: a level line held
	 * up with no handler would get the shared line disabled for everyone.
	 */
	tcr7750_update_control(CTL_ENABLE_MASK, 0, CTL_PERIODIC_ACK);
	release_interrupt();
	iounmap(baseAddress);
	cdev_del(&cdev);
	unregister_chrdev_region(First, TCR7750_MINORS_RESERVED);
	printk(KERN_INFO "tcr7750 unloaded\n");
}

module_init(tcr7750_init);
module_exit(tcr7750_exit);
