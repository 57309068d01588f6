// SPDX-License-Identifier: GPL-2.0-only
/*
 * tcr7750_drv: the TCR7750 IRIG-B time code reader as the character device
 * /dev/tcr7750, as a PTP hardware clock (/dev/ptpN) and as read-only status
 * attributes on its PCI device.
 *
 * One board per kernel, all state module-global.  A blocking read returns a
 * 20-byte time record after each board interrupt (periodic or time stamp);
 * ten ioctl commands configure the board.  The clock serves the board's
 * date and time, which follow the time code: it cannot be set or adjusted;
 * its one external time-stamp channel is the board's time-stamp input.
 * Registers are reached with the ioread/iowrite accessors at their own width.
 */
#include <linux/cdev.h>
#include <linux/fs.h>
#include <linux/interrupt.h>
#include <linux/io.h>
#include <linux/kfifo.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/poll.h>
#include <linux/ptp_clock_kernel.h>
#include <linux/rtc.h>
#include <linux/sched.h>
#include <linux/spinlock.h>
#include <linux/time.h>
#include <linux/uaccess.h>
#include <linux/version.h>
#include <linux/wait.h>

#include "tcr7750_regs.h"
#include "tcr7750_ioctl.h"

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("TCR7750 PCI board");
MODULE_VERSION("1.0");

#define TCR7750_MINORS_RESERVED 4
#define TCR7750_MINORS_SERVED   3

/* Only printed: the major number always comes from the kernel. */
static unsigned int tcr7750_major = 85;
module_param(tcr7750_major, uint, 0444);
MODULE_PARM_DESC(tcr7750_major, "Only printed in the load message; the kernel chooses the major number");

/* Below 0: no interrupt; 0: the line from PCI configuration; above 0: this line. */
static int irq;
module_param(irq, int, 0444);
MODULE_PARM_DESC(irq, "Interrupt line: below 0 none, 0 the board's own (default), above 0 this line");

static dev_t First;
static struct cdev cdev;
static struct pci_dev *board_pdev; /* the bound board: the clock's parent, the attributes' home */
static void __iomem *baseAddress;
static void __iomem *statusreg;
static void __iomem *controlreg;
static u16 Ctlreg;     /* level bits of REG_CONTROL; pulse bits never stay here */
static DEFINE_SPINLOCK(control_lock); /* Ctlreg, clock_edge and every write of REG_CONTROL */

/*
 * The edge the clock's time-stamp channel is armed on.  Written under
 * control_lock together with the bits it armed; the handler reads it alone.
 */
enum clock_edge { CLOCK_EDGE_NONE, CLOCK_EDGE_RISING, CLOCK_EDGE_FALLING };
static enum clock_edge clock_edge;
static bool clock_live; /* the clock may arm its channel; under control_lock */
static int irq_num = -1; /* the line taken, -1 when none */

/*
 * The time code carries no year: the board counts from the year it was last
 * given, and holds any year at power-up.  Its year counts only once a set-year
 * command came since the driver found the board; until then the clock serves
 * no time, so no time daemon steps the system clock years away.
 */
static bool year_set;

static u8 Ready;       /* a board interrupt came since the last blocking read */
static unsigned int interrupt_count; /* board interrupts taken; lets every sleeper see its own */
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
static void update_control_locked(u16 clear, u16 set, u16 pulse)
{
	lockdep_assert_held(&control_lock);
	Ctlreg = (Ctlreg & ~clear) | set;
	iowrite16(Ctlreg | pulse, controlreg);
}

static void tcr7750_update_control(u16 clear, u16 set, u16 pulse)
{
	unsigned long flags;

	spin_lock_irqsave(&control_lock, flags);
	update_control_locked(clear, set, pulse);
	spin_unlock_irqrestore(&control_lock, flags);
}

/*
 * A command of the character device that sets the time-stamp bits takes the
 * time-stamp input over: the clock's channel is disarmed in the same step,
 * so it never delivers an edge it did not ask for.
 */
static void take_timestamp_input(u16 clear, u16 set, u16 pulse)
{
	unsigned long flags;

	spin_lock_irqsave(&control_lock, flags);
	WRITE_ONCE(clock_edge, CLOCK_EDGE_NONE);
	update_control_locked(clear, set, pulse);
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

static void read_version(u8 version[REG_VERSION_SIZE])
{
	unsigned int i;

	for (i = 0; i < REG_VERSION_SIZE; i++)
		version[i] = ioread8(baseAddress + REG_VERSION + i);
}

static void read_timestamps(struct tcr7750_timestamps *ts)
{
	ts->rise_seconds = read32(REG_RISE_SECONDS);
	ts->rise_microseconds = read32(REG_RISE_MICROSECONDS);
	ts->fall_seconds = read32(REG_FALL_SECONDS);
	ts->fall_microseconds = read32(REG_FALL_MICROSECONDS);
}

static void tcr7750_clock_edge(u16 status, const struct tcr7750_timestamps *ts);

static irqreturn_t tcr7750_irqtrt(int line, void *cookie)
{
	u16 status = ioread16(statusreg);

	/* All ones: no board answered the read (gone, or memory decoding off). */
	if (PCI_POSSIBLE_ERROR(status) || !(status & ST_BOARD_IRQ))
		return IRQ_NONE; /* another device on the shared line */

	if (status & ST_PERIODIC_IRQ) {
		tcr7750_update_control(0, 0, CTL_PERIODIC_ACK);
		/*
		 * The write is posted: read back so that it reaches the board, and
		 * the board lowers its line, before the end of interrupt; else the
		 * line, still up, brings the handler straight back.
		 */
		ioread16(controlreg);
	} else {
		/* Reading the time stamps is what acknowledges them. */
		struct tcr7750_timestamps ts;

		read_timestamps(&ts);
		spin_lock(&stored_ts_lock);
		StoredTs = ts;
		spin_unlock(&stored_ts_lock);
		tcr7750_clock_edge(status, &ts);
	}
	WRITE_ONCE(interrupt_count, interrupt_count + 1);
	WRITE_ONCE(Ready, 1);
	wake_up_interruptible_all(&tcr7750_rdq);
	return IRQ_HANDLED;
}

static ssize_t tcr7750_read(struct file *file, char __user *buffer, size_t count, loff_t *position)
{
	struct tcr7750_time record; /* each reader its own: no record mixes two readings */
	unsigned int seen;

	/* Never write past the caller's buffer. */
	if (count < sizeof(record))
		return -EINVAL;

	/*
	 * Ready is cleared by whichever reader gets there first; a sleeper
	 * woken after that would sleep on. The count tells each sleeper that an
	 * interrupt came while it slept, so every blocked reader gets a record
	 * after each interrupt however many readers share the device.
	 */
	seen = READ_ONCE(interrupt_count);
	if (!(file->f_flags & O_NONBLOCK) &&
	    wait_event_interruptible(tcr7750_rdq, READ_ONCE(Ready) ||
				     READ_ONCE(interrupt_count) != seen))
		return -ERESTARTSYS;

	/*
	 * Cleared before the record is built: the copy may wait for the
	 * caller's page, and an interrupt in that time sets Ready again for
	 * the next read and for poll().  A copy that fails gives the
	 * interrupt back, as if this read had not been.
	 */
	if (!(file->f_flags & O_NONBLOCK))
		WRITE_ONCE(Ready, 0);
	get_time(&record);
	if (copy_to_user(buffer, &record, sizeof(record))) {
		if (!(file->f_flags & O_NONBLOCK))
			WRITE_ONCE(Ready, 1);
		return -EFAULT;
	}
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
	WRITE_ONCE(year_set, true);
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
	take_timestamp_input(CTL_FALLING_EDGE,
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
	take_timestamp_input(CTL_ENABLE_MASK, 0, CTL_PERIODIC_ACK);
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

	if (takes_nothing(argument))
		return sizeof(version);
	read_version(version);
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

/* The commands that change the board: a handle opened for reading only may not. */
static bool command_writes_board(unsigned int command)
{
	switch (command) {
	case TCR7750_IOC_DISABLE:
	case TCR7750_IOC_SET_YEAR:
	case TCR7750_IOC_SET_PERIOD:
	case TCR7750_IOC_ENABLE_TS:
	case TCR7750_IOC_SET_IRIG_MODE:
		return true;
	default:
		return false;
	}
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
	if (command_writes_board(command) && !(file->f_mode & FMODE_WRITE))
		return -EPERM;
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

/* ---- the PTP hardware clock: reading --------------------------------------- */

#define CLOCK_READ_TRIES 3
#define SECONDS_PER_DAY  86400

static struct ptp_clock *board_clock; /* NULL when not registered */

/* The TD/H0 decoding: the time registers then carry no date and time. */
static bool decoding_has_no_time(void)
{
	return (READ_ONCE(Ctlreg) & CTL_MODE_MASK) == CTL_MODE_TD;
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
 * frame, in the TD/H0 decoding or before the board's year was set since the
 * driver found it: -EBUSY, "no time now", the one error after which
 * linuxptp's phc2sys 4.x skips the sample and goes on (chrony drops the
 * sample on any error).  Eight register reads.
 */
static int read_board_time(struct timespec64 *ts, struct ptp_system_timestamp *sts)
{
	unsigned int attempt;
	u16 status;

	if (!READ_ONCE(year_set))
		return -EBUSY;
	if (decoding_has_no_time())
		return -EBUSY;
	status = ioread16(statusreg);
	if (PCI_POSSIBLE_ERROR(status))
		return -EIO;
	if (!(status & ST_FRAME_OK))
		return -EBUSY;

	for (attempt = 0; attempt < CLOCK_READ_TRIES; attempt++) {
		u8 seconds = (u8)read16(REG_SECONDS);
		u16 day_of_year = read16(REG_DAY_OF_YEAR);
		u16 year = read16(REG_YEAR);
		u8 hours = (u8)read16(REG_HOURS);
		u8 minutes = (u8)read16(REG_MINUTES);
		u32 microseconds;

		ptp_read_system_prets(sts);
		microseconds = read32(REG_MICROSECONDS);
		ptp_read_system_postts(sts);
		if ((u8)read16(REG_SECONDS) != seconds)
			continue;
		/* A switch to TD/H0 during the reading has reached the registers. */
		if (decoding_has_no_time())
			return -EBUSY;
		return board_time_to_timespec(year, day_of_year, hours, minutes, seconds,
					      microseconds, ts);
	}
	return -EAGAIN;
}

static int tcr7750_clock_gettimex(struct ptp_clock_info *info, struct timespec64 *ts,
				  struct ptp_system_timestamp *sts)
{
	return read_board_time(ts, sts);
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

/* An edge the handler took, waiting for its date. */
struct edge_stamp {
	enum clock_edge edge;
	u32 seconds;      /* of the day */
	u32 microseconds;
};

#define EDGE_QUEUE_SIZE 16 /* a power of two */
static DEFINE_KFIFO(edge_queue, struct edge_stamp, EDGE_QUEUE_SIZE);
static DEFINE_SPINLOCK(edge_queue_lock);

/*
 * From the handler, after it read the time stamps: an edge of the armed
 * kind goes to the clock's worker, which adds the date.  No register access
 * and no allocation here; a full queue drops the edge.
 */
static void tcr7750_clock_edge(u16 status, const struct tcr7750_timestamps *ts)
{
	enum clock_edge edge = READ_ONCE(clock_edge);
	struct edge_stamp stamp = { .edge = edge };

	if (edge == CLOCK_EDGE_RISING && (status & ST_RISE_CAPTURED)) {
		stamp.seconds = ts->rise_seconds;
		stamp.microseconds = ts->rise_microseconds;
	} else if (edge == CLOCK_EDGE_FALLING && (status & ST_FALL_CAPTURED)) {
		stamp.seconds = ts->fall_seconds;
		stamp.microseconds = ts->fall_microseconds;
	} else {
		return;
	}
	if (!kfifo_in_spinlocked_noirqsave(&edge_queue, &stamp, 1, &edge_queue_lock))
		pr_warn_ratelimited("tcr7750: edge event lost, queue full\n");
	ptp_schedule_worker(board_clock, 0);
}

/*
 * The edge's full time: its seconds of the day and microseconds joined to
 * the date of a reading taken after it; an edge later in the day than that
 * reading came before midnight, on the day before.
 */
static int edge_time(const struct edge_stamp *stamp, const struct timespec64 *reading, s64 *ns)
{
	time64_t day_start;

	if (stamp->seconds >= SECONDS_PER_DAY || stamp->microseconds >= USEC_PER_SEC)
		return -EIO;
	day_start = reading->tv_sec - reading->tv_sec % SECONDS_PER_DAY;
	*ns = (day_start + stamp->seconds) * NSEC_PER_SEC + stamp->microseconds * NSEC_PER_USEC;
	if (*ns > timespec64_to_ns(reading))
		*ns -= (s64)SECONDS_PER_DAY * NSEC_PER_SEC;
	return 0;
}

/* The clock's worker: dates the queued edges and hands them to the PTP core. */
static long tcr7750_clock_work(struct ptp_clock_info *info)
{
	struct edge_stamp stamp;

	while (kfifo_out_spinlocked(&edge_queue, &stamp, 1, &edge_queue_lock)) {
		struct ptp_clock_event event = { .type = PTP_CLOCK_EXTTS, .index = 0 };
		struct timespec64 reading;
		s64 ns;
		int err;

		if (READ_ONCE(clock_edge) != stamp.edge)
			continue; /* disarmed, or armed on the other edge, since */
		err = read_board_time(&reading, NULL);
		if (!err)
			err = edge_time(&stamp, &reading, &ns);
		if (err) {
			pr_warn_ratelimited("tcr7750: edge at %u.%06u s of the day not dated (%d)\n",
					    stamp.seconds, stamp.microseconds, err);
			continue;
		}
		event.timestamp = ns;
		ptp_clock_event(board_clock, &event);
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

	spin_lock_irqsave(&control_lock, flags);
	if (!clock_live) {
		spin_unlock_irqrestore(&control_lock, flags);
		return -ENODEV;
	}
	if (on)
		update_control_locked(CTL_FALLING_EDGE, CTL_TIMESTAMP_ENABLE |
				      (edge == CLOCK_EDGE_FALLING ? CTL_FALLING_EDGE : 0), 0);
	else if (clock_edge != CLOCK_EDGE_NONE)
		update_control_locked(CTL_TIMESTAMP_ENABLE, 0, 0);
	WRITE_ONCE(clock_edge, edge);
	spin_unlock_irqrestore(&control_lock, flags);
	return 0;
}

static struct ptp_clock_info tcr7750_clock_info = {
	.owner = THIS_MODULE,
	.name = TCR7750_CLOCK_NAME,
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
 * an interrupt.  A module without the clock still serves the device.
 */
static void register_clock(void)
{
	struct ptp_clock *clock;

	tcr7750_clock_info.n_ext_ts = irq_num >= 0 ? 1 : 0;
	clock = ptp_clock_register(&tcr7750_clock_info, &board_pdev->dev);
	if (IS_ERR_OR_NULL(clock)) {
		printk(KERN_NOTICE "tcr7750 no PTP clock [err=%d]\n", PTR_ERR_OR_ZERO(clock));
		return;
	}
	board_clock = clock;
	spin_lock_irq(&control_lock);
	clock_live = true;
	spin_unlock_irq(&control_lock);
	printk(KERN_INFO "tcr7750 PTP clock ptp%d\n", ptp_clock_index(clock));
}

/* No handler hands an edge to the clock once it is gone. */
static void unregister_clock(void)
{
	unsigned long flags;

	if (!board_clock)
		return;
	spin_lock_irqsave(&control_lock, flags);
	clock_live = false;
	WRITE_ONCE(clock_edge, CLOCK_EDGE_NONE);
	spin_unlock_irqrestore(&control_lock, flags);
	if (irq_num >= 0)
		synchronize_irq(irq_num);
	ptp_clock_unregister(board_clock);
	board_clock = NULL;
}

/* ---- status attributes on the PCI device ------------------------------------ */

static u16 board_status(void)
{
	return ioread16(statusreg);
}

static ssize_t frame_ok_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%d\n", (board_status() & ST_FRAME_OK) != 0);
}
static DEVICE_ATTR_RO(frame_ok);

static ssize_t error_code_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%u\n", (board_status() & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT);
}
static DEVICE_ATTR_RO(error_code);

static ssize_t tfom_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%u\n", (board_status() & ST_TFOM) >> ST_TFOM_SHIFT);
}
static DEVICE_ATTR_RO(tfom);

/* The decoding the driver set, from the shadow. */
static ssize_t irig_mode_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	switch (READ_ONCE(Ctlreg) & CTL_MODE_MASK) {
	case CTL_MODE_AFNOR:
		return sysfs_emit(buf, "%s\n", TCR7750_IRIG_MODE_TEXT_AFNOR);
	case CTL_MODE_TD:
		return sysfs_emit(buf, "%s\n", TCR7750_IRIG_MODE_TEXT_TD);
	default:
		return sysfs_emit(buf, "%s\n", TCR7750_IRIG_MODE_TEXT_STANDARD);
	}
}
static DEVICE_ATTR_RO(irig_mode);

/* The two seven-character halves with a blank between; '?' for a byte that is no character. */
static ssize_t version_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	static const unsigned int starts[] = { REG_VERSION_PART1, REG_VERSION_PART2 };
	char text[2 * REG_VERSION_PART_CHARS + 2];
	u8 version[REG_VERSION_SIZE];
	unsigned int part, i, n = 0;

	read_version(version);
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
	return sysfs_emit(buf, "0x%04x\n", board_status());
}
static DEVICE_ATTR_RO(status);

/* As the board reads it back. */
static ssize_t control_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "0x%04x\n", ioread16(controlreg));
}
static DEVICE_ATTR_RO(control);

/* 1 once a set-year command came since the driver found the board. */
static ssize_t year_set_show(struct device *dev, struct device_attribute *attr, char *buf)
{
	return sysfs_emit(buf, "%d\n", READ_ONCE(year_set));
}
static DEVICE_ATTR_RO(year_set);

static struct attribute *tcr7750_attrs[] = {
	&dev_attr_frame_ok.attr,
	&dev_attr_error_code.attr,
	&dev_attr_tfom.attr,
	&dev_attr_irig_mode.attr,
	&dev_attr_version.attr,
	&dev_attr_status.attr,
	&dev_attr_control.attr,
	&dev_attr_year_set.attr,
	NULL,
};
ATTRIBUTE_GROUPS(tcr7750); /* the driver core adds them after probe, removes them before remove */

/* ---- load and unload ----------------------------------------------------- */

/*
 * The line to request, or -1 for none; logs the choice when there is none.
 * The board's line is the one the kernel routed when the device was bound
 * (on an ACPI PC the configuration byte may name another): 0 when none.
 */
static int choose_line(int routed_line)
{
	if (irq < 0 || (irq == 0 && routed_line <= 0)) {
		printk(KERN_DEFAULT "tcr7750 : IRQ not used\n");
		return -1;
	}
	return irq > 0 ? irq : routed_line;
}

static void claim_interrupt(int routed_line)
{
	int line = choose_line(routed_line);

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

static void release_interrupt(void)
{
	if (irq >= 0 && irq_num >= 0)
		free_irq(irq_num, &cdev);
	irq_num = -1;
}

static const struct pci_device_id tcr7750_pci_ids[] = {
	{ PCI_DEVICE(TCR7750_PCI_VENDOR_ID, TCR7750_PCI_DEVICE_ID) },
	{ }
};
MODULE_DEVICE_TABLE(pci, tcr7750_pci_ids);

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
 * The first board: enabled (its memory decoding on, its line routed),
 * its window requested and mapped, its line claimed, its clock registered.
 * The character device is the module's, added once a board is bound.
 */
static int tcr7750_probe(struct pci_dev *pdev, const struct pci_device_id *id)
{
	int err;

	if (board_pdev)
		return -EBUSY; /* one board per kernel */
	board_probed = true;
	WRITE_ONCE(year_set, false); /* a board found anew holds whatever year it holds */
	err = pci_enable_device(pdev);
	if (err) {
		dev_err(&pdev->dev, "cannot enable the board [err=%d]\n", err);
		goto fail;
	}
	err = check_window(pdev);
	if (err)
		goto fail_enabled;
	err = pci_request_region(pdev, TCR7750_PCI_BAR, TCR7750_DEVICE_NAME);
	if (err) {
		dev_err(&pdev->dev, "register window busy [err=%d]\n", err);
		goto fail_enabled;
	}
	printk(KERN_INFO "tcr7750 resources %lX %lX %lX IRQ %d\n",
	       (unsigned long)pci_resource_start(pdev, TCR7750_PCI_BAR),
	       (unsigned long)pci_resource_end(pdev, TCR7750_PCI_BAR),
	       pci_resource_flags(pdev, TCR7750_PCI_BAR), pdev->irq);

	baseAddress = pci_iomap(pdev, TCR7750_PCI_BAR, TCR7750_WINDOW_SIZE);
	if (!baseAddress) {
		printk(KERN_ALERT "tcr7750 register window not mapped\n");
		err = -ENOMEM;
		goto fail_region;
	}
	board_pdev = pdev; /* the clock's parent and the attributes' home */
	statusreg = baseAddress + REG_STATUS;
	controlreg = baseAddress + REG_CONTROL;
	Ready = 0;
	tcr7750_update_control(CTL_LEVEL_MASK, 0, CTL_PERIODIC_ACK);
	claim_interrupt(pdev->irq);
	register_clock();
	return 0;

fail_region:
	pci_release_region(pdev, TCR7750_PCI_BAR);
fail_enabled:
	pci_disable_device(pdev);
fail:
	probe_error = err;
	return err;
}

static void tcr7750_remove(struct pci_dev *pdev)
{
	unregister_clock();
	/*
	 * No interrupt stays enabled once the handler is gone: a level line held
	 * up with no handler would get the shared line disabled for everyone.
	 * Also what undoes a clock client's arming when the load fails late.
	 */
	tcr7750_update_control(CTL_ENABLE_MASK, 0, CTL_PERIODIC_ACK);
	ioread16(controlreg); /* the posted write on the board before the handler goes */
	release_interrupt();
	pci_iounmap(pdev, baseAddress);
	pci_release_region(pdev, TCR7750_PCI_BAR);
	pci_disable_device(pdev);
	board_pdev = NULL;
}

/*
 * Bound for the module's lifetime: no unbinding through sysfs, as open
 * handles of the character device reach the board's window.
 */
static struct pci_driver tcr7750_pci_driver = {
	.name = KBUILD_MODNAME,
	.id_table = tcr7750_pci_ids,
	.probe = tcr7750_probe,
	.remove = tcr7750_remove,
	.dev_groups = tcr7750_groups,
	.driver.suppress_bind_attrs = true,
};

static int __init tcr7750_init(void)
{
	int err;

	err = alloc_chrdev_region(&First, 0, TCR7750_MINORS_RESERVED, TCR7750_DEVICE_NAME);
	if (err) {
		printk(KERN_NOTICE "Error %d registering region tcr7750\n", err);
		return err;
	}

	/* Probing is synchronous: the board is bound, or not, on return. */
	err = pci_register_driver(&tcr7750_pci_driver);
	if (err)
		goto fail_region;
	if (!board_pdev) {
		if (!board_probed)
			printk(KERN_ALERT "tcr7750 pci get device error, [err=%d]\n", 0);
		err = probe_error;
		goto fail_driver;
	}

	/* Visible last: no file operation runs before the board is ready. */
	cdev_init(&cdev, &tcr7750_fops);
	cdev.owner = THIS_MODULE;
	err = cdev_add(&cdev, First, TCR7750_MINORS_SERVED);
	if (err) {
		printk(KERN_NOTICE "Error %d adding tcr7750\n", err);
		goto fail_driver;
	}
	printk(KERN_INFO "tcr7750 registered [%d]\n", tcr7750_major);
	return 0;

fail_driver:
	pci_unregister_driver(&tcr7750_pci_driver);
fail_region:
	unregister_chrdev_region(First, TCR7750_MINORS_RESERVED);
	return err;
}

static void __exit tcr7750_exit(void)
{
	pci_unregister_driver(&tcr7750_pci_driver);
	cdev_del(&cdev);
	unregister_chrdev_region(First, TCR7750_MINORS_RESERVED);
	printk(KERN_INFO "tcr7750 unloaded\n");
}

module_init(tcr7750_init);
module_exit(tcr7750_exit);
