// SPDX-License-Identifier: GPL-2.0-only
/*
 * tcr7750_drv: the TCR7750 IRIG-B time code reader as a character device, as
 * a PTP hardware clock (/dev/ptpN) and as read-only status attributes on its
 * PCI device, for every board in the machine.
 *
 * Each bound board has its own state, struct tcr7750_board, made in probe.
 * Its character device, clock, attributes and interrupt go in remove; the
 * structure itself lives on until the last handle of its character device
 * is closed, and those handles answer -ENODEV once the board is gone.  The
 * first board is /dev/tcr7750 (minors 0 to 2); board N after it is
 * /dev/tcr7750.N (minor 4N).
 *
 * A blocking read returns a 20-byte time record after each board interrupt
 * (periodic or time stamp); ten ioctl commands configure the board.  The
 * clock serves the board's date and time, which follow the time code: it
 * cannot be set or adjusted; its one external time-stamp channel is the
 * board's time-stamp input.  Registers are reached with the ioread/iowrite
 * accessors at their own width.
 */
#include <linux/capability.h>
#include <linux/cdev.h>
#include <linux/debugfs.h>
#include <linux/device.h>
#include <linux/fs.h>
#include <linux/idr.h>
#include <linux/interrupt.h>
#include <linux/io.h>
#include <linux/kfifo.h>
#include <linux/math64.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/pm.h>
#include <linux/poll.h>
#include <linux/ptp_clock_kernel.h>
#include <linux/rtc.h>
#include <linux/rwsem.h>
#include <linux/sched.h>
#include <linux/seq_file.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/time.h>
#include <linux/uaccess.h>
#include <linux/version.h>
#include <linux/wait.h>
#include <linux/workqueue.h>

#include "tcr7750_regs.h"
#include "tcr7750_ioctl.h"

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("TCR7750 PCI board");
MODULE_VERSION("1.0");

#define TCR7750_MINORS_RESERVED 4  /* per board: board N has minors 4N to 4N + 3 */
#define TCR7750_MINORS_SERVED   3  /* by the first board; each further board serves one */
#define TCR7750_MAX_BOARDS      16

/* Only printed: the major number always comes from the kernel. */
static unsigned int tcr7750_major = 85;
module_param(tcr7750_major, uint, 0444);
MODULE_PARM_DESC(tcr7750_major, "Only printed in the load message; the kernel chooses the major number");

/* Below 0: no interrupt; 0: the board's own line; above 0: this line, for every board. */
static int irq;
module_param(irq, int, 0444);
MODULE_PARM_DESC(irq, "Interrupt line: below 0 none, 0 the board's own (default), above 0 this line");

/* How often each board's time code is looked at; 0: never. */
static unsigned int watch_ms = 1000;
module_param(watch_ms, uint, 0444);
MODULE_PARM_DESC(watch_ms, "Interval of the time-code watch in ms (default 1000); 0: no watch");

/*
 * The edge the clock's time-stamp channel is armed on.  Written under
 * control_lock together with the bits it armed; the handler reads it under
 * edge_queue_lock.
 */
enum clock_edge { CLOCK_EDGE_NONE, CLOCK_EDGE_RISING, CLOCK_EDGE_FALLING };

/* An edge the handler took, waiting for its date. */
struct edge_stamp {
	u32 seconds;      /* of the day */
	u32 microseconds;
};

#define EDGE_QUEUE_SIZE 16 /* a power of two */

/*
 * The once-a-second look at the time code: what it saw last, and the
 * losses of the frame since the board appeared.  Under lock, but for work.
 */
struct board_watch {
	struct delayed_work work;
	struct mutex lock;     /* the fields below, between the work and the readers */
	bool lost;             /* the frame was bad at the last look */
	bool gave_day;         /* the frame was good, with a day-of-year decoding */
	time64_t lost_since;   /* UTC, while lost */
	u64 lost_since_ns;     /* CLOCK_MONOTONIC, while lost */
	unsigned int losses;   /* since the board appeared */
	u64 lost_ns;           /* the losses that ended */
	struct dentry *debug_dir;
};

struct tcr7750_board {
	/* The character device's; its release frees the board. */
	struct device dev;
	struct cdev cdev;
	struct pci_dev *pdev;
	int index;   /* 0 for the first board */
	dev_t First; /* its first device number */

	/*
	 * The register window.  A file operation reaches it only while it
	 * holds window_lock for reading and the board is not removed; remove
	 * sets removed under the lock for writing.
	 */
	void __iomem *baseAddress;
	void __iomem *statusreg;
	void __iomem *controlreg;
	struct rw_semaphore window_lock;
	bool removed;

	u16 Ctlreg;   /* level bits of REG_CONTROL; pulse bits never stay here */
	u16 period;   /* the last period written, given back at resume; 0: none */
	spinlock_t control_lock; /* Ctlreg, clock_edge, clock_live and every write of REG_CONTROL */
	enum clock_edge clock_edge;
	bool clock_live; /* the clock may arm its channel */
	int irq_num;     /* the line taken, -1 when none */

	/*
	 * The time code carries no year: the board counts from the year it
	 * was last given, and holds any year at power-up.  year_set: a set-year
	 * command came since the driver found the board (or it last resumed).
	 * year_confirmed: the year the board counts was written by a caller
	 * entitled to set the system's time (CAP_SYS_TIME) while the frame was
	 * good and the decoding gave a day of the year.  The clock serves time
	 * only with a confirmed year, so neither a year guessed from a bad
	 * frame or a time difference nor one written by any member of the
	 * device's group can make a time daemon step the system clock years
	 * away.
	 */
	bool year_set;
	bool year_confirmed;

	struct board_watch watch;

	u8 Ready;                      /* a board interrupt no blocking read has delivered yet */
	unsigned int interrupt_count;  /* board interrupts taken; each reader counts its own */
	struct tcr7750_timestamps StoredTs; /* latched by the last time-stamp interrupt */
	spinlock_t capture_lock;       /* Ready, interrupt_count and StoredTs */
	wait_queue_head_t tcr7750_rdq;

	/* One command at a time; never held across a copy from or to the caller. */
	struct mutex command_lock;

	struct ptp_clock_info clock_info;
	struct ptp_clock *board_clock; /* NULL when not registered */
	DECLARE_KFIFO(edge_queue, struct edge_stamp, EDGE_QUEUE_SIZE);
	spinlock_t edge_queue_lock; /* the queue, and clock_edge as the handler reads it */
};

static dev_t first_number; /* of the region all boards share */
static struct class tcr7750_class = { .name = TCR7750_DEVICE_NAME };

/* The boards by number; NULL while one is being set up. */
static DEFINE_IDR(boards);
static DEFINE_MUTEX(boards_lock);

/*
 * The driver's log lines, each format with its level as printk takes it:
 * the first board's as the driver has always written them, a further
 * board's after its PCI device's name, as dev_printk() writes it.
 * dev_printk() itself knows no KERN_DEFAULT (it would log at a level of
 * its own making), hence the level given here as a number.
 */
static __printf(2, 3) void board_log(const struct tcr7750_board *board, const char *fmt, ...)
{
	const struct device *dev = &board->pdev->dev;
	int level = printk_get_level(fmt);
	struct va_format vaf;
	va_list args;

	va_start(args, fmt);
	if (board->index == 0) {
		vprintk(fmt, args);
	} else {
		vaf.fmt = printk_skip_level(fmt);
		vaf.va = &args;
		dev_printk_emit(level >= '0' && level <= '7' ? level - '0' : LOGLEVEL_DEFAULT, dev,
				"%s %s: %pV", dev_driver_string(dev), dev_name(dev), &vaf);
	}
	va_end(args);
}

/*
 * The one way to write REG_CONTROL: clear, then set, level bits in the shadow
 * and write it whole with this write's pulse bits.  Under control_lock, also
 * from the interrupt handler, so a writer on another CPU never writes a
 * shadow older than the one already on the board.
 */
static void update_control_locked(struct tcr7750_board *board, u16 clear, u16 set, u16 pulse)
{
	lockdep_assert_held(&board->control_lock);
	board->Ctlreg = (board->Ctlreg & ~clear) | set;
	iowrite16(board->Ctlreg | pulse, board->controlreg);
}

static void tcr7750_update_control(struct tcr7750_board *board, u16 clear, u16 set, u16 pulse)
{
	unsigned long flags;

	spin_lock_irqsave(&board->control_lock, flags);
	update_control_locked(board, clear, set, pulse);
	spin_unlock_irqrestore(&board->control_lock, flags);
}

/*
 * Every change of the clock's arming empties the edge queue: an edge taken
 * under the arming before is never delivered under the next one.
 */
static void set_clock_edge_locked(struct tcr7750_board *board, enum clock_edge edge)
{
	lockdep_assert_held(&board->control_lock);
	WRITE_ONCE(board->clock_edge, edge);
	spin_lock(&board->edge_queue_lock);
	kfifo_reset(&board->edge_queue);
	spin_unlock(&board->edge_queue_lock);
}

/*
 * A command of the character device that sets the time-stamp bits takes the
 * time-stamp input over: the clock's channel is disarmed in the same step,
 * so it never delivers an edge it did not ask for.
 */
static void take_timestamp_input(struct tcr7750_board *board, u16 clear, u16 set, u16 pulse)
{
	unsigned long flags;

	spin_lock_irqsave(&board->control_lock, flags);
	set_clock_edge_locked(board, CLOCK_EDGE_NONE);
	update_control_locked(board, clear, set, pulse);
	spin_unlock_irqrestore(&board->control_lock, flags);
}

/*
 * PCI writes are posted: a write has reached the board only once a read
 * from it has returned.  The handler's acknowledge must land before the end
 * of interrupt, and a disable before the line is freed.
 */
static void flush_posted_writes(struct tcr7750_board *board)
{
	ioread16(board->controlreg);
}

/* No interrupt enabled, none pending, the clock's channel disarmed. */
static void quiet_board(struct tcr7750_board *board)
{
	take_timestamp_input(board, CTL_ENABLE_MASK, 0, CTL_PERIODIC_ACK);
	flush_posted_writes(board);
}

static u16 read16(struct tcr7750_board *board, unsigned int offset)
{
	return ioread16(board->baseAddress + offset);
}

static u32 read32(struct tcr7750_board *board, unsigned int offset)
{
	return ioread32(board->baseAddress + offset);
}

/*
 * A file operation's hold on the board's window: false, and nothing held,
 * once the board is removed.
 */
static bool window_get(struct tcr7750_board *board)
{
	down_read(&board->window_lock);
	if (!board->removed)
		return true;
	up_read(&board->window_lock);
	return false;
}

static void window_put(struct tcr7750_board *board)
{
	up_read(&board->window_lock);
}

/* ---- data path ----------------------------------------------------------- */

/* The time record from the running board, in the documented read order. */
static void get_time(struct tcr7750_board *board, struct tcr7750_time *record)
{
	u16 status = ioread16(board->statusreg);

	memset(record, 0, sizeof(*record));
	record->status = status;
	record->sign_negative = (status & ST_SIGN_NEGATIVE) != 0;
	record->state_s = (status & ST_STATE_S) != 0;
	record->day_of_year = read16(board, REG_DAY_OF_YEAR);
	record->year = read16(board, REG_YEAR);
	record->month = ioread8(board->baseAddress + REG_MONTH);
	record->day = (u8)read16(board, REG_DAY);
	record->weekday = (u8)read16(board, REG_DAY_OF_WEEK);
	record->hour = (u8)read16(board, REG_HOURS);
	record->minute = (u8)read16(board, REG_MINUTES);
	record->second = (u8)read16(board, REG_SECONDS);
	record->microsecond = read32(board, REG_MICROSECONDS);
}

static void read_version(struct tcr7750_board *board, u8 version[REG_VERSION_SIZE])
{
	unsigned int i;

	for (i = 0; i < REG_VERSION_SIZE; i++)
		version[i] = ioread8(board->baseAddress + REG_VERSION + i);
}

static void read_timestamps(struct tcr7750_board *board, struct tcr7750_timestamps *ts)
{
	ts->rise_seconds = read32(board, REG_RISE_SECONDS);
	ts->rise_microseconds = read32(board, REG_RISE_MICROSECONDS);
	ts->fall_seconds = read32(board, REG_FALL_SECONDS);
	ts->fall_microseconds = read32(board, REG_FALL_MICROSECONDS);
}

static void tcr7750_clock_edge(struct tcr7750_board *board, u16 status,
			       const struct tcr7750_timestamps *ts);

/* What the handler found, for readers, pollers and the stored-time-stamp command. */
static void record_interrupt(struct tcr7750_board *board, const struct tcr7750_timestamps *latched)
{
	spin_lock(&board->capture_lock);
	if (latched)
		board->StoredTs = *latched;
	board->interrupt_count++;
	board->Ready = 1;
	spin_unlock(&board->capture_lock);
	wake_up_interruptible_all(&board->tcr7750_rdq);
}

static irqreturn_t tcr7750_irqtrt(int line, void *cookie)
{
	struct tcr7750_board *board = cookie;
	u16 status = ioread16(board->statusreg);
	struct tcr7750_timestamps ts;

	/* All ones: no board answered the read (gone, or memory decoding off). */
	if (PCI_POSSIBLE_ERROR(status) || !(status & ST_BOARD_IRQ))
		return IRQ_NONE; /* another device on the shared line */

	if (status & ST_PERIODIC_IRQ) {
		tcr7750_update_control(board, 0, 0, CTL_PERIODIC_ACK);
		flush_posted_writes(board);
		record_interrupt(board, NULL);
	} else {
		/* Reading the time stamps is what acknowledges them. */
		read_timestamps(board, &ts);
		tcr7750_clock_edge(board, status, &ts);
		record_interrupt(board, &ts);
	}
	return IRQ_HANDLED;
}

static ssize_t tcr7750_read(struct file *file, char __user *buffer, size_t count, loff_t *position)
{
	struct tcr7750_board *board = file->private_data;
	struct tcr7750_time record; /* each reader its own: no record mixes two readings */
	bool blocking = !(file->f_flags & O_NONBLOCK);
	unsigned int seen, taken;

	/* Never write past the caller's buffer. */
	if (count < sizeof(record))
		return -EINVAL;

	/*
	 * Ready is cleared by whichever reader delivers first; a sleeper woken
	 * after that would sleep on.  The count tells each sleeper that an
	 * interrupt came while it slept, so every blocked reader gets a record
	 * after each interrupt however many readers share the device.
	 */
	seen = READ_ONCE(board->interrupt_count);
	if (blocking &&
	    wait_event_interruptible(board->tcr7750_rdq,
				     READ_ONCE(board->Ready) || READ_ONCE(board->removed) ||
				     READ_ONCE(board->interrupt_count) != seen))
		return -ERESTARTSYS;

	taken = READ_ONCE(board->interrupt_count); /* the interrupts this record answers */
	if (!window_get(board))
		return -ENODEV;
	get_time(board, &record);
	window_put(board);
	if (copy_to_user(buffer, &record, sizeof(record)))
		return -EFAULT; /* delivered nothing: readiness stays as it is */

	/*
	 * Delivered: Ready goes unless an interrupt came after the ones this
	 * record answers (while its copy waited for the caller's page, say).
	 */
	if (blocking) {
		spin_lock_irq(&board->capture_lock);
		if (board->interrupt_count == taken)
			board->Ready = 0;
		spin_unlock_irq(&board->capture_lock);
	}
	return sizeof(record);
}

static __poll_t tcr7750_poll(struct file *file, poll_table *wait)
{
	struct tcr7750_board *board = file->private_data;

	poll_wait(file, &board->tcr7750_rdq, wait);
	if (READ_ONCE(board->removed))
		return EPOLLERR | EPOLLHUP;
	return READ_ONCE(board->Ready) ? EPOLLIN | EPOLLRDNORM : 0;
}

/* ---- control commands ---------------------------------------------------- */

/* What a command takes from the caller or gives back. */
union command_data {
	u8 byte;
	u16 word;
	u32 status;
	struct tcr7750_timestamps ts;
	u8 version[REG_VERSION_SIZE];
	u32 window[TCR7750_WINDOW_SIZE / sizeof(u32)];
};

static bool decoding_has_no_time(struct tcr7750_board *board);

/* The frame is good and the decoding gives a day of the year: a year can be checked against it. */
static bool board_gives_day(struct tcr7750_board *board, u16 status)
{
	return !PCI_POSSIBLE_ERROR(status) && (status & ST_FRAME_OK) &&
	       !decoding_has_no_time(board);
}

/*
 * Whether the year written now is one the clock may serve: written by a
 * caller entitled to set the system's time while the board gave a day of
 * the year, or the very year the board already counts with a confirmed
 * year (rewriting it changes nothing).  Membership of the device's group
 * alone never makes the clock serve a year.
 */
static bool year_confirmed_by(struct tcr7750_board *board, u16 year)
{
	if (ns_capable_noaudit(&init_user_ns, CAP_SYS_TIME) &&
	    board_gives_day(board, ioread16(board->statusreg)))
		return true;
	return READ_ONCE(board->year_confirmed) && !decoding_has_no_time(board) &&
	       read16(board, REG_YEAR) == year;
}

static long set_year(struct tcr7750_board *board, union command_data *data)
{
	bool confirmed = year_confirmed_by(board, data->word);

	iowrite16(data->word, board->baseAddress + REG_INITIAL_YEAR);
	board_log(board, KERN_DEFAULT "Set initial year %d %08X\n", data->word,
		  (u32)(uintptr_t)(board->baseAddress + REG_INITIAL_YEAR));
	tcr7750_update_control(board, 0, 0, CTL_LOAD_YEAR);
	WRITE_ONCE(board->year_set, true);
	WRITE_ONCE(board->year_confirmed, confirmed);
	return 0;
}

static long set_period(struct tcr7750_board *board, union command_data *data)
{
	iowrite16(data->word, board->baseAddress + REG_PERIOD);
	board->period = data->word;
	board_log(board, KERN_DEFAULT "Period interrupt set %d\n", data->word);
	tcr7750_update_control(board, 0, CTL_PERIODIC_ENABLE, CTL_PERIODIC_ACK);
	return 0;
}

static long enable_timestamp(struct tcr7750_board *board, union command_data *data)
{
	take_timestamp_input(board, CTL_FALLING_EDGE,
			     CTL_TIMESTAMP_ENABLE | (data->byte ? CTL_FALLING_EDGE : 0), 0);
	return 0;
}

static long set_irig_mode(struct tcr7750_board *board, union command_data *data)
{
	u16 field;

	switch (data->byte) {
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
		tcr7750_update_control(board, 0, 0, 0);
		return 0;
	}
	tcr7750_update_control(board, CTL_MODE_MASK, field, 0);
	return 0;
}

static long disable_interrupts(struct tcr7750_board *board, union command_data *data)
{
	take_timestamp_input(board, CTL_ENABLE_MASK, 0, CTL_PERIODIC_ACK);
	return 0;
}

static long get_status(struct tcr7750_board *board, union command_data *data)
{
	u32 control = ioread16(board->controlreg);

	data->status = control << 16 | ioread16(board->statusreg);
	return 0;
}

static long get_live_timestamps(struct tcr7750_board *board, union command_data *data)
{
	read_timestamps(board, &data->ts);
	return 0;
}

static long get_stored_timestamps(struct tcr7750_board *board, union command_data *data)
{
	/* A copy never mixes the words of two time stamps. */
	spin_lock_irq(&board->capture_lock);
	data->ts = board->StoredTs;
	spin_unlock_irq(&board->capture_lock);
	return 0;
}

static long get_version(struct tcr7750_board *board, union command_data *data)
{
	read_version(board, data->version);
	return 0;
}

static long dump_window(struct tcr7750_board *board, union command_data *data)
{
	unsigned int i;

	for (i = 0; i < ARRAY_SIZE(data->window); i++)
		data->window[i] = read32(board, i * sizeof(u32));
	return 0;
}

struct tcr7750_command {
	unsigned int number;
	unsigned int in_size;  /* bytes taken from the caller before the command runs */
	unsigned int out_size; /* bytes given back after it ran */
	bool block;            /* answers the bytes left uncopied, not -EFAULT */
	/*
	 * Not for a handle opened for reading only: the commands that write
	 * the board, and those that read the time-stamp registers, which
	 * acknowledges the board's time-stamp interrupt before the handler
	 * has seen it.
	 */
	bool changes_board;
	long (*run)(struct tcr7750_board *board, union command_data *data);
};

static const struct tcr7750_command tcr7750_commands[] = {
	{ TCR7750_IOC_DISABLE, 0, 0, false, true, disable_interrupts },
	{ TCR7750_IOC_SET_YEAR, sizeof(u16), 0, false, true, set_year },
	{ TCR7750_IOC_GET_STATUS, 0, sizeof(u32), false, false, get_status },
	{ TCR7750_IOC_SET_PERIOD, sizeof(u16), 0, false, true, set_period },
	{ TCR7750_IOC_ENABLE_TS, sizeof(u8), 0, false, true, enable_timestamp },
	{ TCR7750_IOC_GET_TS, 0, sizeof(struct tcr7750_timestamps), true, true,
	  get_live_timestamps },
	{ TCR7750_IOC_GET_STORED_TS, 0, sizeof(struct tcr7750_timestamps), true, false,
	  get_stored_timestamps },
	{ TCR7750_IOC_SET_IRIG_MODE, sizeof(u8), 0, false, true, set_irig_mode },
	{ TCR7750_IOC_GET_VERSION, 0, REG_VERSION_SIZE, true, false, get_version },
	{ TCR7750_IOC_DUMP, 0, TCR7750_WINDOW_SIZE, true, true, dump_window },
};

static const struct tcr7750_command *find_command(unsigned int number)
{
	unsigned int i;

	for (i = 0; i < ARRAY_SIZE(tcr7750_commands); i++)
		if (tcr7750_commands[i].number == number)
			return &tcr7750_commands[i];
	return NULL;
}

/*
 * The caller's memory is read before the command runs and written after it,
 * outside the command lock: a caller whose memory is slow to come (a page
 * served by userfaultfd or FUSE) holds up no other user of the board.  A bad
 * address never reaches the board: the answer's place is tried before any
 * register is read, as reads have effects on the board (reading the
 * time-stamp registers acknowledges them).  A block copy whose first byte
 * cannot be written answers its whole size, the bytes left uncopied.
 */
static long tcr7750_ioctl(struct file *file, unsigned int number, unsigned long argument)
{
	struct tcr7750_board *board = file->private_data;
	const struct tcr7750_command *command = find_command(number);
	void __user *address = (void __user *)argument;
	union command_data data;
	long result;

	if (_IOC_TYPE(number) != TCR7750_IOC_TYPE || _IOC_NR(number) > TCR7750_IOC_MAXNR)
		return -ENOTTY;
	if (command && command->changes_board && !(file->f_mode & FMODE_WRITE))
		return -EPERM;
	/* The range is checked before the command is looked up. */
	if (_IOC_DIR(number) != _IOC_NONE && !access_ok(address, _IOC_SIZE(number)))
		return -EFAULT;
	if (!command)
		return -ENOTTY;

	memset(&data, 0, sizeof(data));
	if (copy_from_user(&data, address, command->in_size))
		return -EFAULT;
	if (command->block && clear_user(address, 1))
		return command->out_size;
	if (!command->block && clear_user(address, command->out_size))
		return -EFAULT;

	if (mutex_lock_interruptible(&board->command_lock))
		return -ERESTARTSYS;
	result = -ENODEV;
	if (window_get(board)) {
		result = command->run(board, &data);
		window_put(board);
	}
	mutex_unlock(&board->command_lock);
	if (result)
		return result;

	if (command->block)
		return copy_to_user(address, &data, command->out_size);
	if (copy_to_user(address, &data, command->out_size))
		return -EFAULT;
	return 0;
}

/*
 * The board is looked up by number at each open: a node whose inode still
 * names a removed board's character device reaches the board bound since.
 */
static int tcr7750_open(struct inode *inode, struct file *file)
{
	struct tcr7750_board *board;

	mutex_lock(&boards_lock);
	board = idr_find(&boards, iminor(inode) / TCR7750_MINORS_RESERVED);
	if (board && !READ_ONCE(board->removed))
		get_device(&board->dev);
	else
		board = NULL;
	mutex_unlock(&boards_lock);
	if (!board)
		return -ENODEV;
	file->private_data = board;
	return 0;
}

static int tcr7750_release(struct inode *inode, struct file *file)
{
	struct tcr7750_board *board = file->private_data;

	put_device(&board->dev);
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

/* ---- the PTP hardware clock: reading --------------------------------------- */

#define CLOCK_READ_TRIES 3
#define SECONDS_PER_DAY  86400

static struct tcr7750_board *clock_board(struct ptp_clock_info *info)
{
	return container_of(info, struct tcr7750_board, clock_info);
}

/* The TD/H0 decoding: the time registers then carry no date and time. */
static bool decoding_has_no_time(struct tcr7750_board *board)
{
	return (READ_ONCE(board->Ctlreg) & CTL_MODE_MASK) == CTL_MODE_TD;
}

/*
 * The board's registers as UTC.  Nonsense never becomes a time: -EIO.  A
 * leap second (seconds 60) has no time of its own in the kernel's count:
 * -EBUSY, as for a bad frame.
 */
static int board_time_to_timespec(unsigned int year, unsigned int day_of_year, unsigned int hours,
				  unsigned int minutes, unsigned int seconds, u32 microseconds,
				  struct timespec64 *ts)
{
	unsigned int days_in_year = is_leap_year(year) ? 366 : 365;

	if (year < 1970 || day_of_year < 1 || day_of_year > days_in_year || hours > 23 ||
	    minutes > 59 || seconds > 60 || microseconds >= USEC_PER_SEC)
		return -EIO;
	if (seconds == 60)
		return -EBUSY;
	ts->tv_sec = mktime64(year, 1, 1, hours, minutes, seconds) +
		     (time64_t)(day_of_year - 1) * SECONDS_PER_DAY;
	ts->tv_nsec = microseconds * NSEC_PER_USEC;
	return 0;
}

/*
 * One reading of the board's date and time, with the system time taken
 * right before and after the microsecond read (sts may be NULL).  The
 * registers run live: seconds read before the microsecond counter wrapped
 * would give a time almost a second behind.  So the seconds are read first
 * and again last; when they differ a second boundary fell inside the
 * reading (and with it any minute, day or year carry) and it starts again,
 * CLOCK_READ_TRIES times at most (-EAGAIN).  No time is served from a bad
 * frame, in the TD/H0 decoding or without a confirmed year (see year_set):
 * -EBUSY, "no time now", the one error after which
 * linuxptp's phc2sys 4.x skips the sample and goes on (chrony drops the
 * sample on any error).  Eight register reads.
 */
static int read_board_time(struct tcr7750_board *board, struct timespec64 *ts,
			   struct ptp_system_timestamp *sts)
{
	unsigned int attempt;
	u16 status;

	if (!READ_ONCE(board->year_confirmed))
		return -EBUSY;
	if (decoding_has_no_time(board))
		return -EBUSY;
	status = ioread16(board->statusreg);
	if (PCI_POSSIBLE_ERROR(status))
		return -EIO;
	if (!(status & ST_FRAME_OK))
		return -EBUSY;

	for (attempt = 0; attempt < CLOCK_READ_TRIES; attempt++) {
		u8 seconds = (u8)read16(board, REG_SECONDS);
		u16 day_of_year = read16(board, REG_DAY_OF_YEAR);
		u16 year = read16(board, REG_YEAR);
		u8 hours = (u8)read16(board, REG_HOURS);
		u8 minutes = (u8)read16(board, REG_MINUTES);
		u32 microseconds;

		ptp_read_system_prets(sts);
		microseconds = read32(board, REG_MICROSECONDS);
		ptp_read_system_postts(sts);
		if ((u8)read16(board, REG_SECONDS) != seconds)
			continue;
		/* A switch to TD/H0 during the reading has reached the registers. */
		if (decoding_has_no_time(board))
			return -EBUSY;
		return board_time_to_timespec(year, day_of_year, hours, minutes, seconds,
					      microseconds, ts);
	}
	return -EAGAIN;
}

static int tcr7750_clock_gettimex(struct ptp_clock_info *info, struct timespec64 *ts,
				  struct ptp_system_timestamp *sts)
{
	return read_board_time(clock_board(info), ts, sts);
}

/* The clock follows the time code: nothing sets, steps or steers it. */
static int tcr7750_clock_settime(struct ptp_clock_info *info, const struct timespec64 *ts)
{
	return -EOPNOTSUPP;
}

static int tcr7750_clock_adjtime(struct ptp_clock_info *info, s64 delta)
{
	return -EOPNOTSUPP;
}

static int tcr7750_clock_adjfine(struct ptp_clock_info *info, long scaled_ppm)
{
	return -EOPNOTSUPP;
}

/* ---- the PTP hardware clock: edge events ----------------------------------- */

/*
 * From the handler, after it read the time stamps: an edge of the armed
 * kind goes to the clock's worker, which adds the date.  No register access
 * and no allocation here; a full queue drops the edge.
 */
static void tcr7750_clock_edge(struct tcr7750_board *board, u16 status,
			       const struct tcr7750_timestamps *ts)
{
	struct edge_stamp stamp;
	enum clock_edge edge;
	bool queued;

	spin_lock(&board->edge_queue_lock);
	edge = READ_ONCE(board->clock_edge);
	if (edge == CLOCK_EDGE_RISING && (status & ST_RISE_CAPTURED)) {
		stamp.seconds = ts->rise_seconds;
		stamp.microseconds = ts->rise_microseconds;
	} else if (edge == CLOCK_EDGE_FALLING && (status & ST_FALL_CAPTURED)) {
		stamp.seconds = ts->fall_seconds;
		stamp.microseconds = ts->fall_microseconds;
	} else {
		spin_unlock(&board->edge_queue_lock);
		return;
	}
	queued = kfifo_put(&board->edge_queue, stamp);
	spin_unlock(&board->edge_queue_lock);
	if (!queued)
		pr_warn_ratelimited("tcr7750: edge event lost, queue full\n");
	ptp_schedule_worker(board->board_clock, 0);
}

/*
 * The edge's full time: its seconds of the day and microseconds joined to
 * the date of a reading taken after it; an edge later in the day than that
 * reading came before midnight, on the day before.
 */
static int edge_time(const struct edge_stamp *stamp, const struct timespec64 *reading, s64 *ns)
{
	time64_t day_start;
	s32 second_of_day;

	if (stamp->seconds >= SECONDS_PER_DAY || stamp->microseconds >= USEC_PER_SEC)
		return -EIO;
	/* A 32-bit kernel has no 64-bit division of its own: no "%" here. */
	div_s64_rem(reading->tv_sec, SECONDS_PER_DAY, &second_of_day);
	day_start = reading->tv_sec - second_of_day;
	*ns = (day_start + stamp->seconds) * NSEC_PER_SEC + stamp->microseconds * NSEC_PER_USEC;
	if (*ns > timespec64_to_ns(reading))
		*ns -= (s64)SECONDS_PER_DAY * NSEC_PER_SEC;
	return 0;
}

/* The clock's worker: dates the queued edges and hands them to the PTP core. */
static long tcr7750_clock_work(struct ptp_clock_info *info)
{
	struct tcr7750_board *board = clock_board(info);
	struct edge_stamp stamp;

	while (kfifo_out_spinlocked(&board->edge_queue, &stamp, 1, &board->edge_queue_lock)) {
		struct ptp_clock_event event = { .type = PTP_CLOCK_EXTTS, .index = 0 };
		struct timespec64 reading;
		s64 ns;
		int err;

		err = read_board_time(board, &reading, NULL);
		if (!err)
			err = edge_time(&stamp, &reading, &ns);
		if (err) {
			pr_warn_ratelimited("tcr7750: edge at %u.%06u s of the day not dated (%d)\n",
					    stamp.seconds, stamp.microseconds, err);
			continue;
		}
		event.timestamp = ns;
		ptp_clock_event(board->board_clock, &event);
	}
	return -1; /* runs again when the handler queues an edge */
}

/*
 * The one external time-stamp channel: the board's time-stamp interrupt, on
 * one edge at a time.  No edge flag means the rising edge, the board's
 * default.  Arming takes the input from the character device (the last
 * writer of the shared control shadow wins); disarming changes the board
 * only while this channel holds the input.
 *
 * Any other flag (an offset of the input, or a bit newer than this code) is
 * refused with -EINVAL, the answer a 6.1 core gives to a flag it does not
 * know, so a caller sees the same on every kernel.
 */
#define CHANNEL_FLAGS (PTP_ENABLE_FEATURE | PTP_EXTTS_EDGES | PTP_STRICT_FLAGS)

static int tcr7750_clock_enable(struct ptp_clock_info *info, struct ptp_clock_request *request,
				int on)
{
	struct tcr7750_board *board = clock_board(info);
	enum clock_edge edge = CLOCK_EDGE_NONE;
	unsigned long flags;

	if (request->type != PTP_CLK_REQ_EXTTS || request->extts.index != 0)
		return -EOPNOTSUPP;
	if (request->extts.flags & ~CHANNEL_FLAGS)
		return -EINVAL;
	if (on) {
		if ((request->extts.flags & PTP_EXTTS_EDGES) == PTP_EXTTS_EDGES)
			return -EOPNOTSUPP;
		edge = request->extts.flags & PTP_FALLING_EDGE ? CLOCK_EDGE_FALLING
							       : CLOCK_EDGE_RISING;
	}

	spin_lock_irqsave(&board->control_lock, flags);
	if (!board->clock_live) {
		spin_unlock_irqrestore(&board->control_lock, flags);
		return -ENODEV;
	}
	if (on)
		update_control_locked(board, CTL_FALLING_EDGE, CTL_TIMESTAMP_ENABLE |
				      (edge == CLOCK_EDGE_FALLING ? CTL_FALLING_EDGE : 0), 0);
	else if (board->clock_edge != CLOCK_EDGE_NONE)
		update_control_locked(board, CTL_TIMESTAMP_ENABLE, 0, 0);
	set_clock_edge_locked(board, edge);
	spin_unlock_irqrestore(&board->control_lock, flags);
	return 0;
}

static const struct ptp_clock_info tcr7750_clock_template = {
	.owner = THIS_MODULE,
	.max_adj = 0,
	.gettimex64 = tcr7750_clock_gettimex,
	.settime64 = tcr7750_clock_settime,
	.adjtime = tcr7750_clock_adjtime,
	.adjfine = tcr7750_clock_adjfine,
	.enable = tcr7750_clock_enable,
	.do_aux_work = tcr7750_clock_work,
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 16, 0)
	/* From 6.16 the core refuses every flag a driver does not declare. */
	.supported_extts_flags = PTP_EXTTS_EDGES | PTP_STRICT_FLAGS,
#endif
};

/*
 * After the interrupt is claimed: the time-stamp channel exists only with
 * an interrupt.  A board without the clock still serves its device.  The
 * clock is named as the board's node: "tcr7750", "tcr7750.1", ...
 */
static void register_clock(struct tcr7750_board *board)
{
	struct ptp_clock *clock;

	board->clock_info = tcr7750_clock_template;
	strscpy(board->clock_info.name, dev_name(&board->dev), sizeof(board->clock_info.name));
	board->clock_info.n_ext_ts = board->irq_num >= 0 ? 1 : 0;
	clock = ptp_clock_register(&board->clock_info, &board->pdev->dev);
	if (IS_ERR_OR_NULL(clock)) {
		board_log(board, KERN_NOTICE "tcr7750 no PTP clock [err=%d]\n",
			  PTR_ERR_OR_ZERO(clock));
		return;
	}
	board->board_clock = clock;
	spin_lock_irq(&board->control_lock);
	board->clock_live = true;
	spin_unlock_irq(&board->control_lock);
	board_log(board, KERN_INFO "tcr7750 PTP clock ptp%d\n", ptp_clock_index(clock));
}

/* No handler hands an edge to the clock once it is gone. */
static void unregister_clock(struct tcr7750_board *board)
{
	unsigned long flags;

	if (!board->board_clock)
		return;
	spin_lock_irqsave(&board->control_lock, flags);
	board->clock_live = false;
	set_clock_edge_locked(board, CLOCK_EDGE_NONE);
	spin_unlock_irqrestore(&board->control_lock, flags);
	if (board->irq_num >= 0)
		synchronize_irq(board->irq_num);
	ptp_clock_unregister(board->board_clock);
	board->board_clock = NULL;
}

/* ---- the time-code watch and the summary ------------------------------------ */

static struct dentry *debug_root; /* tcr7750_drv/ in debugfs */

/* The decoding the driver set, from the shadow. */
static const char *irig_mode_text(struct tcr7750_board *board)
{
	return tcr7750_irig_mode_text(READ_ONCE(board->Ctlreg));
}

/* "2026-01-01 00:00:05" */
static int format_utc(char *buf, size_t size, time64_t seconds)
{
	struct tm t;

	time64_to_tm(seconds, 0, &t);
	return scnprintf(buf, size, "%04ld-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900L,
			 t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

/* "12.345": seconds with milliseconds (no 64-bit division of a 32-bit kernel's own). */
static int format_seconds(char *buf, size_t size, u64 ns)
{
	u32 ms;
	u64 seconds = div_u64_rem(div_u64(ns, NSEC_PER_MSEC), MSEC_PER_SEC, &ms);

	return scnprintf(buf, size, "%llu.%03u", seconds, ms);
}

/*
 * One look at the time code: REG_STATUS alone (it has no side effect; the
 * time-stamp registers, which acknowledge, are never read here).  One log
 * line when the frame goes bad and one when it is good again, never one
 * per look.  When the board gives a day of the year again (the frame good,
 * the decoding back from TD/H0) and the year is not confirmed, a change
 * event lets the packaged udev rule give the year now (tcr7750year): the
 * driver never guesses a year itself.
 */
static void watch_time_code(struct tcr7750_board *board)
{
	struct board_watch *watch = &board->watch;
	u16 status = ioread16(board->statusreg);
	bool good = !PCI_POSSIBLE_ERROR(status) && (status & ST_FRAME_OK);
	bool gives_day = board_gives_day(board, status);
	const char *name = dev_name(&board->dev);
	struct device *pci = &board->pdev->dev;
	u64 now = ktime_get_ns();
	char lost_for[24];
	bool day_back;

	mutex_lock(&watch->lock);
	if (!good && !watch->lost) {
		watch->lost = true;
		watch->lost_since = ktime_get_real_seconds();
		watch->lost_since_ns = now;
		watch->losses++;
		if (PCI_POSSIBLE_ERROR(status))
			dev_warn(pci, "%s: time code lost: the board does not answer\n", name);
		else
			dev_warn(pci, "%s: time code lost, error code %u\n", name,
				 (status & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT);
	} else if (good && watch->lost) {
		watch->lost = false;
		watch->lost_ns += now - watch->lost_since_ns;
		format_seconds(lost_for, sizeof(lost_for), now - watch->lost_since_ns);
		dev_info(pci, "%s: time code good again after %s s\n", name, lost_for);
	}
	day_back = gives_day && !watch->gave_day;
	watch->gave_day = gives_day;
	mutex_unlock(&watch->lock);

	if (day_back && !READ_ONCE(board->year_confirmed))
		kobject_uevent(&board->dev.kobj, KOBJ_CHANGE);
}

static void watch_work(struct work_struct *work)
{
	struct board_watch *watch = container_of(to_delayed_work(work), struct board_watch, work);

	watch_time_code(container_of(watch, struct tcr7750_board, watch));
	schedule_delayed_work(&watch->work, msecs_to_jiffies(watch_ms));
}

/*
 * At probe and resume.  The add or resume event has just asked udev for
 * the year, so the first look sends none for the board as it is now.
 */
static void watch_start(struct tcr7750_board *board)
{
	if (!watch_ms)
		return;
	board->watch.gave_day = true;
	schedule_delayed_work(&board->watch.work, 0);
}

/* At remove, suspend and shutdown: no look reaches the board after this. */
static void watch_stop(struct tcr7750_board *board)
{
	cancel_delayed_work_sync(&board->watch.work);
}

/* The total time lost, the loss going on included. */
static u64 watch_lost_ns(struct board_watch *watch)
{
	return watch->lost_ns + (watch->lost ? ktime_get_ns() - watch->lost_since_ns : 0);
}

static void summary_time(struct seq_file *s, const char *label, const struct timespec64 *ts)
{
	char text[24];

	format_utc(text, sizeof(text), ts->tv_sec);
	seq_printf(s, "%-14s%s.%09ld UTC\n", label, text, ts->tv_nsec);
}

/* The board at a glance, as ptp_ocp's summary: only reads without side effect. */
static int summary_show(struct seq_file *s, void *unused)
{
	struct tcr7750_board *board = s->private;
	struct board_watch *watch = &board->watch;
	struct ptp_system_timestamp sts = {};
	struct timespec64 board_time, system_time;
	u16 status, year;
	char since[24], lost[24];
	int err;

	if (!window_get(board))
		return -ENODEV;
	status = ioread16(board->statusreg);
	year = read16(board, REG_YEAR);
	err = read_board_time(board, &board_time, &sts);
	window_put(board);

	seq_printf(s, "%-14s%s, %s\n", "board:", dev_name(&board->dev), pci_name(board->pdev));
	if (err) {
		seq_printf(s, "%-14snone (%d)\n", "board time:", err);
	} else {
		system_time = ns_to_timespec64(timespec64_to_ns(&sts.pre_ts) +
					       ((timespec64_to_ns(&sts.post_ts) -
						 timespec64_to_ns(&sts.pre_ts)) >> 1));
		summary_time(s, "board time:", &board_time);
		summary_time(s, "system time:", &system_time);
		seq_printf(s, "%-14s%lld ns\n", "offset:",
			   timespec64_to_ns(&board_time) - timespec64_to_ns(&system_time));
		seq_printf(s, "%-14s%lld ns\n", "window:",
			   timespec64_to_ns(&sts.post_ts) - timespec64_to_ns(&sts.pre_ts));
	}
	seq_printf(s, "%-14s%s, error code %u\n", "frame:", status & ST_FRAME_OK ? "good" : "bad",
		   (status & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT);
	seq_printf(s, "%-14s%u\n", "tfom:", (status & ST_TFOM) >> ST_TFOM_SHIFT);
	seq_printf(s, "%-14s%s\n", "decoding:", irig_mode_text(board));
	seq_printf(s, "%-14s%u, set %d, confirmed %d\n", "year:", year,
		   READ_ONCE(board->year_set), READ_ONCE(board->year_confirmed));
	seq_printf(s, "%-14s%u\n", "interrupts:", READ_ONCE(board->interrupt_count));
	mutex_lock(&watch->lock);
	format_utc(since, sizeof(since), watch->lost_since);
	format_seconds(lost, sizeof(lost), watch_lost_ns(watch));
	seq_printf(s, "%-14s%s%s%s, %u losses, %s s lost\n", "watch:",
		   !watch_ms ? "off" : watch->lost ? "lost since " : "good",
		   watch_ms && watch->lost ? since : "", watch_ms && watch->lost ? " UTC" : "",
		   watch->losses, lost);
	mutex_unlock(&watch->lock);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(summary);

/* After the board's device is added: its watch and its summary. */
static void board_health_add(struct tcr7750_board *board)
{
	board->watch.debug_dir = debugfs_create_dir(dev_name(&board->dev), debug_root);
	debugfs_create_file("summary", 0444, board->watch.debug_dir, board, &summary_fops);
	watch_start(board);
}

/* First thing in the remove: debugfs_remove() waits for a summary being read. */
static void board_health_remove(struct tcr7750_board *board)
{
	watch_stop(board);
	debugfs_remove(board->watch.debug_dir);
}

/* ---- status attributes on the PCI device ------------------------------------ */

/* The driver core adds them after probe and removes them before remove. */
static struct tcr7750_board *attribute_board(struct device *dev)
{
	return dev_get_drvdata(dev);
}

static u16 board_status(struct device *dev)
{
	return ioread16(attribute_board(dev)->statusreg);
}

static ssize_t frame_ok_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%d\n", (board_status(dev) & ST_FRAME_OK) != 0);
}
static DEVICE_ATTR_RO(frame_ok);

static ssize_t error_code_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%u\n", (board_status(dev) & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT);
}
static DEVICE_ATTR_RO(error_code);

static ssize_t tfom_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%u\n", (board_status(dev) & ST_TFOM) >> ST_TFOM_SHIFT);
}
static DEVICE_ATTR_RO(tfom);

static ssize_t irig_mode_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%s\n", irig_mode_text(attribute_board(dev)));
}
static DEVICE_ATTR_RO(irig_mode);

/* The two seven-character halves with a blank between; '?' for a byte that is no character. */
static ssize_t version_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	static const unsigned int starts[] = { REG_VERSION_PART1, REG_VERSION_PART2 };
	char text[2 * REG_VERSION_PART_CHARS + 2];
	u8 version[REG_VERSION_SIZE];
	unsigned int part, i, n = 0;

	read_version(attribute_board(dev), version);
	for (part = 0; part < ARRAY_SIZE(starts); part++) {
		if (part)
			text[n++] = ' ';
		for (i = 0; i < REG_VERSION_PART_CHARS; i++) {
			u8 c = version[starts[part] - REG_VERSION + i];

			text[n++] = c >= 0x20 && c < 0x7F ? c : '?';
		}
	}
	text[n] = '\0';
	return sysfs_emit(buf, "%s\n", text);
}
static DEVICE_ATTR_RO(version);

static ssize_t status_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "0x%04x\n", board_status(dev));
}
static DEVICE_ATTR_RO(status);

/* As the board reads it back. */
static ssize_t control_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "0x%04x\n", ioread16(attribute_board(dev)->controlreg));
}
static DEVICE_ATTR_RO(control);

/* 1 once a set-year command came since the driver found the board or it resumed. */
static ssize_t year_set_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%d\n", READ_ONCE(attribute_board(dev)->year_set));
}
static DEVICE_ATTR_RO(year_set);

/* 1 while the clock may serve the board's year (see struct tcr7750_board). */
static ssize_t year_confirmed_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%d\n", READ_ONCE(attribute_board(dev)->year_confirmed));
}
static DEVICE_ATTR_RO(year_confirmed);

/* What the watch saw last: "good", "lost since <UTC>", or "off" without a watch. */
static ssize_t frame_state_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	struct board_watch *watch = &attribute_board(dev)->watch;
	char since[24];
	ssize_t n;

	mutex_lock(&watch->lock);
	format_utc(since, sizeof(since), watch->lost_since);
	n = !watch_ms ? sysfs_emit(buf, "off\n")
	    : watch->lost ? sysfs_emit(buf, "lost since %s UTC\n", since)
	    : sysfs_emit(buf, "good\n");
	mutex_unlock(&watch->lock);
	return n;
}
static DEVICE_ATTR_RO(frame_state);

static ssize_t frame_losses_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%u\n", READ_ONCE(attribute_board(dev)->watch.losses));
}
static DEVICE_ATTR_RO(frame_losses);

static ssize_t frame_lost_seconds_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	struct board_watch *watch = &attribute_board(dev)->watch;
	char lost[24];

	mutex_lock(&watch->lock);
	format_seconds(lost, sizeof(lost), watch_lost_ns(watch));
	mutex_unlock(&watch->lock);
	return sysfs_emit(buf, "%s\n", lost);
}
static DEVICE_ATTR_RO(frame_lost_seconds);

static struct attribute *tcr7750_attrs[] = {
	&dev_attr_frame_ok.attr,
	&dev_attr_error_code.attr,
	&dev_attr_tfom.attr,
	&dev_attr_irig_mode.attr,
	&dev_attr_version.attr,
	&dev_attr_status.attr,
	&dev_attr_control.attr,
	&dev_attr_year_set.attr,
	&dev_attr_year_confirmed.attr,
	&dev_attr_frame_state.attr,
	&dev_attr_frame_losses.attr,
	&dev_attr_frame_lost_seconds.attr,
	NULL,
};
ATTRIBUTE_GROUPS(tcr7750);

/* ---- probe and remove ------------------------------------------------------- */

/*
 * The line to request, or -1 for none; logs the choice when there is none.
 * The board's line is the one the kernel routed when the device was bound
 * (on an ACPI PC the configuration byte may name another): 0 when none.
 */
static int choose_line(struct tcr7750_board *board, int routed_line)
{
	if (irq < 0 || (irq == 0 && routed_line <= 0)) {
		board_log(board, KERN_DEFAULT "tcr7750 : IRQ not used\n");
		return -1;
	}
	return irq > 0 ? irq : routed_line;
}

/* Named as the board's node in /proc/interrupts: "tcr7750", "tcr7750.1", ... */
static void claim_interrupt(struct tcr7750_board *board, int routed_line)
{
	int line = choose_line(board, routed_line);

	board->irq_num = -1;
	if (line < 0)
		return;
	if (request_irq(line, tcr7750_irqtrt, IRQF_SHARED, dev_name(&board->dev), board))
		board_log(board, KERN_INFO "tcr7750 - impossible to assign IRQ %i\n", line);
	else
		board->irq_num = line;
	board_log(board, KERN_DEFAULT "tcr7750 : irq activation %d\n", board->irq_num);
}

static void release_interrupt(struct tcr7750_board *board)
{
	if (board->irq_num >= 0)
		free_irq(board->irq_num, board);
	board->irq_num = -1;
}

static void tcr7750_board_release(struct device *dev)
{
	kfree(container_of(dev, struct tcr7750_board, dev));
}

/* Its number free for the next board; the last user frees the rest. */
static void forget_board(struct tcr7750_board *board)
{
	mutex_lock(&boards_lock);
	idr_remove(&boards, board->index);
	mutex_unlock(&boards_lock);
	put_device(&board->dev);
}

/*
 * The board's state with a number of its own (the lowest free one): its
 * device, named as its node, owns it from here on.
 */
static struct tcr7750_board *new_board(struct pci_dev *pdev)
{
	struct tcr7750_board *board;
	int index;

	board = kzalloc(sizeof(*board), GFP_KERNEL);
	if (!board)
		return ERR_PTR(-ENOMEM);
	mutex_lock(&boards_lock);
	index = idr_alloc(&boards, NULL, 0, TCR7750_MAX_BOARDS, GFP_KERNEL);
	mutex_unlock(&boards_lock);
	if (index < 0) {
		kfree(board);
		return ERR_PTR(index);
	}
	board->pdev = pdev;
	board->index = index;
	board->First = MKDEV(MAJOR(first_number), index * TCR7750_MINORS_RESERVED);
	board->irq_num = -1;
	init_rwsem(&board->window_lock);
	spin_lock_init(&board->control_lock);
	spin_lock_init(&board->capture_lock);
	init_waitqueue_head(&board->tcr7750_rdq);
	mutex_init(&board->command_lock);
	INIT_KFIFO(board->edge_queue);
	spin_lock_init(&board->edge_queue_lock);
	INIT_DELAYED_WORK(&board->watch.work, watch_work);
	mutex_init(&board->watch.lock);

	device_initialize(&board->dev);
	board->dev.class = &tcr7750_class;
	board->dev.parent = &pdev->dev;
	board->dev.devt = board->First;
	board->dev.release = tcr7750_board_release;
	cdev_init(&board->cdev, &tcr7750_fops);
	board->cdev.owner = THIS_MODULE;
	if (index == 0 ? dev_set_name(&board->dev, "%s", TCR7750_DEVICE_NAME)
		       : dev_set_name(&board->dev, "%s.%d", TCR7750_DEVICE_NAME, index)) {
		forget_board(board);
		return ERR_PTR(-ENOMEM);
	}
	return board;
}

/*
 * The character device, its lifetime tied to the board's device: the board
 * is freed only once no handle holds the character device.  As
 * cdev_device_add(), which serves one minor; the first board serves three.
 */
static int add_character_device(struct tcr7750_board *board)
{
	int err;

	cdev_set_parent(&board->cdev, &board->dev.kobj);
	err = cdev_add(&board->cdev, board->First, board->index ? 1 : TCR7750_MINORS_SERVED);
	if (err)
		return err;
	err = device_add(&board->dev);
	if (err)
		cdev_del(&board->cdev);
	return err;
}

/*
 * No clock, no file operation on the window and no interrupt any more; the
 * board left with no interrupt enabled (a level line held up with no
 * handler would get the shared line disabled for everyone); blocked readers
 * and pollers woken to find the board gone.
 */
static void take_board_down(struct tcr7750_board *board)
{
	unregister_clock(board);
	down_write(&board->window_lock);
	WRITE_ONCE(board->removed, true);
	up_write(&board->window_lock);
	quiet_board(board);
	release_interrupt(board);
	wake_up_interruptible_all(&board->tcr7750_rdq);
}

static bool board_probed;         /* probe ran for a board */
static int probe_error = -ENODEV; /* why it left the board unbound */

/* BAR 0 must be the register window: memory space, all 256 bytes. */
static int check_window(struct pci_dev *pdev)
{
	if (!(pci_resource_flags(pdev, TCR7750_PCI_BAR) & IORESOURCE_MEM) ||
	    pci_resource_len(pdev, TCR7750_PCI_BAR) < TCR7750_WINDOW_SIZE) {
		dev_err(&pdev->dev, "BAR %d is no memory window of %u bytes: %pR\n",
			TCR7750_PCI_BAR, TCR7750_WINDOW_SIZE, &pdev->resource[TCR7750_PCI_BAR]);
		return -ENODEV;
	}
	return 0;
}

/*
 * A board: enabled (its memory decoding on, its line routed), its window
 * requested and mapped, its line claimed, its clock registered, then its
 * character device, visible last, so that no file operation runs before the
 * board is ready.
 */
static int tcr7750_probe(struct pci_dev *pdev, const struct pci_device_id *id)
{
	struct tcr7750_board *board;
	int err;

	board_probed = true;
	board = new_board(pdev);
	if (IS_ERR(board)) {
		err = PTR_ERR(board);
		goto fail;
	}
	err = pci_enable_device(pdev);
	if (err) {
		dev_err(&pdev->dev, "cannot enable the board [err=%d]\n", err);
		goto fail_board;
	}
	err = check_window(pdev);
	if (err)
		goto fail_enabled;
	err = pci_request_region(pdev, TCR7750_PCI_BAR, TCR7750_DEVICE_NAME);
	if (err) {
		dev_err(&pdev->dev, "register window busy [err=%d]\n", err);
		goto fail_enabled;
	}
	board_log(board, KERN_INFO "tcr7750 resources %lX %lX %lX IRQ %d\n",
		  (unsigned long)pci_resource_start(pdev, TCR7750_PCI_BAR),
		  (unsigned long)pci_resource_end(pdev, TCR7750_PCI_BAR),
		  pci_resource_flags(pdev, TCR7750_PCI_BAR), pdev->irq);

	board->baseAddress = pci_iomap(pdev, TCR7750_PCI_BAR, TCR7750_WINDOW_SIZE);
	if (!board->baseAddress) {
		board_log(board, KERN_ALERT "tcr7750 register window not mapped\n");
		err = -ENOMEM;
		goto fail_region;
	}
	board->statusreg = board->baseAddress + REG_STATUS;
	board->controlreg = board->baseAddress + REG_CONTROL;
	pci_set_drvdata(pdev, board);
	tcr7750_update_control(board, CTL_LEVEL_MASK, 0, CTL_PERIODIC_ACK);
	claim_interrupt(board, pdev->irq);
	register_clock(board);

	err = add_character_device(board);
	if (err) {
		board_log(board, KERN_NOTICE "Error %d adding tcr7750\n", err);
		goto fail_live;
	}
	mutex_lock(&boards_lock);
	idr_replace(&boards, board, board->index);
	mutex_unlock(&boards_lock);
	board_log(board, KERN_INFO "tcr7750 registered [%d]\n", tcr7750_major);
	board_health_add(board);
	return 0;

fail_live:
	take_board_down(board);
	pci_iounmap(pdev, board->baseAddress);
fail_region:
	pci_release_region(pdev, TCR7750_PCI_BAR);
fail_enabled:
	pci_disable_device(pdev);
fail_board:
	forget_board(board);
fail:
	probe_error = err;
	return err;
}

/*
 * Through an unload, an unbind, the PCI device's "remove" file, hot-unplug
 * or error recovery.  Handles still open answer -ENODEV from here on.
 */
static void tcr7750_remove(struct pci_dev *pdev)
{
	struct tcr7750_board *board = pci_get_drvdata(pdev);

	board_health_remove(board);
	cdev_device_del(&board->cdev, &board->dev);
	take_board_down(board);
	pci_iounmap(pdev, board->baseAddress);
	pci_release_region(pdev, TCR7750_PCI_BAR);
	pci_disable_device(pdev);
	forget_board(board);
}

/* Before a reboot or a kexec: the next kernel finds the board quiet. */
static void tcr7750_shutdown(struct pci_dev *pdev)
{
	watch_stop(pci_get_drvdata(pdev));
	quiet_board(pci_get_drvdata(pdev));
}

/* ---- power ------------------------------------------------------------------ */

/* No interrupt from a board on its way down; the shadow stays for resume. */
static int tcr7750_suspend(struct device *dev)
{
	struct tcr7750_board *board = dev_get_drvdata(dev);
	unsigned long flags;

	watch_stop(board);
	spin_lock_irqsave(&board->control_lock, flags);
	iowrite16((board->Ctlreg & ~CTL_ENABLE_MASK) | CTL_PERIODIC_ACK, board->controlreg);
	spin_unlock_irqrestore(&board->control_lock, flags);
	flush_posted_writes(board);
	return 0;
}

/*
 * The board comes back at its power-up state: it gets its period and
 * control register back, but its year is whatever it holds now, so the
 * clock serves no time until the year is set again.  The change event lets
 * the packaged udev rule set it (tcr7750year).
 */
static int tcr7750_resume(struct device *dev)
{
	struct tcr7750_board *board = dev_get_drvdata(dev);

	WRITE_ONCE(board->year_set, false);
	WRITE_ONCE(board->year_confirmed, false);
	mutex_lock(&board->command_lock);
	if (board->period)
		iowrite16(board->period, board->baseAddress + REG_PERIOD);
	tcr7750_update_control(board, 0, 0, 0);
	mutex_unlock(&board->command_lock);
	kobject_uevent(&board->dev.kobj, KOBJ_CHANGE);
	watch_start(board);
	return 0;
}

static DEFINE_SIMPLE_DEV_PM_OPS(tcr7750_pm_ops, tcr7750_suspend, tcr7750_resume);

/* ---- load and unload -------------------------------------------------------- */

static const struct pci_device_id tcr7750_pci_ids[] = {
	{ PCI_DEVICE(TCR7750_PCI_VENDOR_ID, TCR7750_PCI_DEVICE_ID) },
	{ }
};
MODULE_DEVICE_TABLE(pci, tcr7750_pci_ids);

/*
 * Probing stays synchronous, also when asynchronous probing is asked for
 * (async_probe=1, driver_async_probe=): the load tells whether a board was
 * found.
 */
static struct pci_driver tcr7750_pci_driver = {
	.name = KBUILD_MODNAME,
	.id_table = tcr7750_pci_ids,
	.probe = tcr7750_probe,
	.remove = tcr7750_remove,
	.shutdown = tcr7750_shutdown,
	.dev_groups = tcr7750_groups,
	.driver.pm = pm_sleep_ptr(&tcr7750_pm_ops),
	.driver.probe_type = PROBE_FORCE_SYNCHRONOUS,
};

static bool any_board_bound(void)
{
	bool bound;

	mutex_lock(&boards_lock);
	bound = !idr_is_empty(&boards);
	mutex_unlock(&boards_lock);
	return bound;
}

static int __init tcr7750_init(void)
{
	int err;

	err = alloc_chrdev_region(&first_number, 0, TCR7750_MINORS_RESERVED * TCR7750_MAX_BOARDS,
				  TCR7750_DEVICE_NAME);
	if (err) {
		pr_notice("Error %d registering region tcr7750\n", err);
		return err;
	}
	err = class_register(&tcr7750_class);
	if (err)
		goto fail_region;
	debug_root = debugfs_create_dir(KBUILD_MODNAME, NULL);
	err = pci_register_driver(&tcr7750_pci_driver);
	if (err)
		goto fail_class;
	if (!any_board_bound()) {
		if (!board_probed)
			pr_alert("tcr7750 pci get device error, [err=%d]\n", 0);
		err = probe_error;
		goto fail_driver;
	}
	return 0;

fail_driver:
	pci_unregister_driver(&tcr7750_pci_driver);
fail_class:
	debugfs_remove(debug_root);
	class_unregister(&tcr7750_class);
fail_region:
	unregister_chrdev_region(first_number, TCR7750_MINORS_RESERVED * TCR7750_MAX_BOARDS);
	return err;
}

static void __exit tcr7750_exit(void)
{
	pci_unregister_driver(&tcr7750_pci_driver);
	debugfs_remove(debug_root);
	class_unregister(&tcr7750_class);
	unregister_chrdev_region(first_number, TCR7750_MINORS_RESERVED * TCR7750_MAX_BOARDS);
	idr_destroy(&boards);
	pr_info("tcr7750 unloaded\n");
}

module_init(tcr7750_init);
module_exit(tcr7750_exit);
