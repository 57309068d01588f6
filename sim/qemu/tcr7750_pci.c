// SPDX-License-Identifier: GPL-2.0-only
/*
 * The TCR7750 board as a PCI device of QEMU, for the kernel test kit: the
 * board model of sim/board_model.c behind a real PCI function, so that the
 * guest's driver meets the board as it meets hardware.
 *
 *   -device tcr7750[,id=ID][,addr=SLOT]
 *
 * The function: 0x9010:0xCB01, a signal processing controller (rev 1).
 *  - BAR 0, 256 bytes of memory: the registers.  Every access calls the
 *    model at its own offset and width.  Writes are posted: queued, and
 *    taken by the model before the next read of the device is answered or
 *    after POSTED_DELAY_NS, whichever comes first, so a driver that does not
 *    read back what must have landed (an acknowledge before its handler
 *    returns) meets its interrupt again.
 *  - INTx A, level: up while the model's line is (a pending bit of an
 *    enabled interrupt), through QEMU's PCI core, which honours the command
 *    register's INTx-disable and keeps the status register's interrupt bit.
 *  - A power-management capability: D3hot to D0 (a function reset by power
 *    management) resets the function; so does a system reset.  Reset means
 *    the model at power-up.
 *  - Real-time mode follows QEMU's virtual clock, which never goes back and
 *    from which the guest's HPET counts; otherwise time moves only when a
 *    test says so.
 *  - BAR 2, test only: the steering window (tcr7750_steering.h) through
 *    which the kit's guest module passes the tests' commands and reads the
 *    board's state and access log.  Every access to it first lands the
 *    posted writes, as a read of the device would.
 * Hot-pluggable on the pc machine's bus (device_add, device_del).
 */
#include "qemu/osdep.h"
#include "qemu/main-loop.h"
#include "qemu/module.h"
#include "qemu/timer.h"
#include "hw/pci/pci.h"
#include "qom/object.h"

#include "board_model.h"
#include "tcr7750_steering.h"

#define TYPE_TCR7750 "tcr7750"
OBJECT_DECLARE_SIMPLE_TYPE(Tcr7750State, TCR7750)

#define CLASS_SIGNAL_PROCESSING_OTHER 0x1180
#define REVISION          1
#define PM_CAP_OFFSET     0x40
#define LOG_CAPACITY      4096
#define POSTED_MAX        32
#define POSTED_DELAY_NS   (1000 * 1000)
#define HOLD_MAX_MS       1000

struct posted_write {
    uint8_t offset;
    uint8_t width;
    uint32_t value;
};

struct Tcr7750State {
    PCIDevice pdev;
    MemoryRegion registers;
    MemoryRegion steering;

    struct tcr7750_model model;
    struct tcr7750_access log[LOG_CAPACITY];
    bool intx;           /* the level the function drives */
    bool pulse;          /* "irq": up until the next status read */
    uint64_t raises;     /* INTx 0 -> 1 */
    uint64_t microseconds_read_ns;
    QEMUTimer *tick;     /* real time: the next periodic interrupt */

    struct posted_write posted[POSTED_MAX];
    unsigned posted_count;
    QEMUTimer *posted_timer;
    uint32_t control_writes_posted;
    QemuCond control_posted;

    uint64_t advance_left;        /* of an "advance", waiting for an acknowledge */
    unsigned read_advance_offset; /* "advance-on-read" */
    uint64_t read_advance_ns;
    unsigned read_advances;
    unsigned hold_ms;             /* "hold-irq-write" */
    bool write_held;
    unsigned writes_held;
    bool line_error;              /* "line-error" */
    int line_saved;               /* the interrupt-line byte before "line"; -1: unchanged */

    char command[STEER_COMMAND_SIZE + 1];
    uint32_t result;
    GString *text;
};

/* ---- the line ------------------------------------------------------------ */

static void update_intx(Tcr7750State *s)
{
    bool level = tcr7750_model_line(&s->model) || s->pulse;

    if (level == s->intx) {
        return;
    }
    s->intx = level;
    if (level) {
        s->raises++;
    }
    pci_set_irq(&s->pdev, level);
}

static void on_line_change(void *context, int asserted)
{
    update_intx(context);
}

/* ---- time ---------------------------------------------------------------- */

static uint64_t virtual_clock(void *context)
{
    return qemu_clock_get_ns(QEMU_CLOCK_VIRTUAL);
}

/* Real time: wake at the next periodic interrupt. */
static void schedule_tick(Tcr7750State *s)
{
    struct tcr7750_model *m = &s->model;

    if (!m->clock || m->next_periodic_ns == 0) {
        timer_del(s->tick);
        return;
    }
    timer_mod(s->tick, m->clock_last_ns + (m->next_periodic_ns - m->elapsed_ns));
}

/*
 * An advance stops at each periodic interrupt that raises the line and goes
 * on once it is down again, so the driver serves every one of them.
 */
static void continue_advance(Tcr7750State *s)
{
    struct tcr7750_model *m = &s->model;

    while (s->advance_left && !tcr7750_model_line(m)) {
        uint64_t step = s->advance_left;

        if (m->next_periodic_ns && m->next_periodic_ns - m->elapsed_ns < step) {
            step = m->next_periodic_ns - m->elapsed_ns;
        }
        s->advance_left -= step;
        tcr7750_model_advance(m, step);
    }
}

/* After anything that may have moved the model. */
static void settle(Tcr7750State *s)
{
    continue_advance(s);
    update_intx(s);
    schedule_tick(s);
}

static void tick(void *opaque)
{
    Tcr7750State *s = opaque;

    tcr7750_model_sync(&s->model);
    settle(s);
}

/* ---- the registers (BAR 0) ----------------------------------------------- */

static void land_posted_writes(Tcr7750State *s)
{
    unsigned i;

    for (i = 0; i < s->posted_count; i++) {
        tcr7750_model_write(&s->model, s->posted[i].offset, s->posted[i].width, s->posted[i].value);
    }
    s->posted_count = 0;
    timer_del(s->posted_timer);
    settle(s);
}

static void posted_delay_over(void *opaque)
{
    land_posted_writes(opaque);
}

static uint64_t registers_read(void *opaque, hwaddr offset, unsigned width)
{
    Tcr7750State *s = opaque;
    uint32_t value;

    land_posted_writes(s);
    if (s->read_advances && offset == s->read_advance_offset) {
        s->read_advances--;
        tcr7750_model_advance(&s->model, s->read_advance_ns);
    }
    if (offset == REG_MICROSECONDS) {
        s->microseconds_read_ns = qemu_clock_get_ns(QEMU_CLOCK_VIRTUAL);
    }
    value = tcr7750_model_read(&s->model, offset, width);
    if (offset == REG_STATUS) {
        s->pulse = false; /* the line's handlers have looked */
    }
    settle(s);
    return value;
}

static bool touches_control(hwaddr offset, unsigned width)
{
    return offset < REG_CONTROL + 2 && REG_CONTROL < offset + width;
}

/*
 * "hold-irq-write": a control write made while the line is up (a handler's
 * acknowledge) stays in the writing CPU until another control write has been
 * posted or the time is over.  The lock is let go meanwhile, so the guest's
 * other CPUs run on (with a host thread each).
 */
static void hold_write(Tcr7750State *s)
{
    uint32_t seen = s->control_writes_posted;
    int64_t until = qemu_clock_get_ms(QEMU_CLOCK_REALTIME) + s->hold_ms;
    int64_t left;

    s->hold_ms = 0;
    s->write_held = true;
    while (s->control_writes_posted == seen &&
           (left = until - qemu_clock_get_ms(QEMU_CLOCK_REALTIME)) > 0) {
        qemu_cond_timedwait_iothread(&s->control_posted, left);
    }
    s->write_held = false;
    s->writes_held++;
}

static void registers_write(void *opaque, hwaddr offset, uint64_t value, unsigned width)
{
    Tcr7750State *s = opaque;

    if (touches_control(offset, width)) {
        if (s->hold_ms && s->intx) {
            hold_write(s);
        }
        s->control_writes_posted++;
        qemu_cond_broadcast(&s->control_posted);
    }
    if (s->posted_count == POSTED_MAX) {
        land_posted_writes(s);
    }
    s->posted[s->posted_count++] = (struct posted_write){ offset, width, value };
    if (!timer_pending(s->posted_timer)) {
        timer_mod(s->posted_timer, qemu_clock_get_ns(QEMU_CLOCK_VIRTUAL) + POSTED_DELAY_NS);
    }
}

static const MemoryRegionOps registers_ops = {
    .read = registers_read,
    .write = registers_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
    .valid = { .min_access_size = 1, .max_access_size = 4 },
    .impl = { .min_access_size = 1, .max_access_size = 4 },
};

/* ---- power-up ------------------------------------------------------------ */

static void power_up(Tcr7750State *s)
{
    tcr7750_model_init(&s->model);
    tcr7750_model_set_log(&s->model, s->log, LOG_CAPACITY);
    tcr7750_model_set_line_handler(&s->model, on_line_change, s);
    s->posted_count = 0;
    timer_del(s->posted_timer);
    timer_del(s->tick);
    s->pulse = false;
    s->advance_left = 0;
    s->read_advances = 0;
    s->hold_ms = 0;
    s->line_error = false;
    if (s->line_saved >= 0) {
        s->pdev.config[PCI_INTERRUPT_LINE] = s->line_saved;
        s->line_saved = -1;
    }
    update_intx(s);
}

static void tcr7750_reset(DeviceState *dev)
{
    power_up(TCR7750(dev));
}

/* ---- configuration space ------------------------------------------------- */

static uint32_t tcr7750_config_read(PCIDevice *pdev, uint32_t address, int length)
{
    Tcr7750State *s = TCR7750(pdev);
    uint32_t value = pci_default_read_config(pdev, address, length);

    /* "line-error": the interrupt-line byte reads as no line at all. */
    if (s->line_error && address <= PCI_INTERRUPT_LINE && PCI_INTERRUPT_LINE < address + length) {
        value |= 0xFFu << (8 * (PCI_INTERRUPT_LINE - address));
    }
    return value;
}

static unsigned power_state(PCIDevice *pdev)
{
    return pci_get_word(pdev->config + PM_CAP_OFFSET + PCI_PM_CTRL) & PCI_PM_CTRL_STATE_MASK;
}

static void tcr7750_config_write(PCIDevice *pdev, uint32_t address, uint32_t value, int length)
{
    unsigned was = power_state(pdev);

    pci_default_write_config(pdev, address, value, length);
    /* D3hot to D0 without No_Soft_Reset: the function comes back reset. */
    if (was == 3 && power_state(pdev) == 0) {
        pci_device_reset(pdev);
    }
}

/* ---- the steering window (BAR 2) ----------------------------------------- */

static void add_state(Tcr7750State *s)
{
    const struct tcr7750_model *m = &s->model;

    g_string_append_printf(s->text,
        "control 0x%04x\nlast_control_write 0x%04x\ncontrol_writes %u\ninitial_year %u\n"
        "period %u\nstatus 0x%04x\nline %d\nperiodic_raised %u\nraises %" PRIu64 "\n"
        "elapsed_ns %" PRIu64 "\nirq_write_held %d\nirq_writes_held %u\n",
        m->control, m->last_control_write, m->control_writes, m->initial_year, m->period,
        m->status | m->pending, m->line, m->periodic_raised, s->raises, m->elapsed_ns,
        s->write_held, s->writes_held);
}

static void add_log(Tcr7750State *s)
{
    size_t count = MIN(s->model.log_count, (size_t)LOG_CAPACITY), i;

    for (i = 0; i < count; i++) {
        const struct tcr7750_access *a = &s->log[i];

        g_string_append_printf(s->text, "%c %02x %u %x%s\n", a->direction == TCR7750_WRITE ? 'W' : 'R',
                               a->offset, a->width, a->value, a->wrong_width ? " wrong-width" : "");
    }
}

/* The board follows the virtual clock, showing unix_ns at virtual_ns. */
static void follow_clock(Tcr7750State *s, uint64_t virtual_ns, int64_t unix_ns)
{
    int64_t at_clock;

    tcr7750_model_set_clock(&s->model, virtual_clock, NULL);
    at_clock = unix_ns + (int64_t)(s->model.clock_last_ns - virtual_ns);
    tcr7750_model_set_unix_time(&s->model, at_clock / (int64_t)TCR7750_NS_PER_SEC,
                                at_clock % (int64_t)TCR7750_NS_PER_SEC);
}

/*
 * One command line; false when refused.  The words and what they do are
 * listed in tests/kernel/board/board_debugfs.c, where tests write them.
 */
static bool run_command(Tcr7750State *s, const char *line)
{
    struct tcr7750_model *m = &s->model;
    struct tcr7750_datetime t = { 0 };
    unsigned value, count;
    uint64_t ns, virtual_ns;
    int64_t unix_ns;
    char word[8];

    /* A new command ends an advance that nobody served. */
    if (s->advance_left) {
        tcr7750_model_advance(m, s->advance_left);
        s->advance_left = 0;
    }
    if (sscanf(line, "time %hu %hhu %hhu %hhu %hhu %hhu %u", &t.year, &t.month, &t.day, &t.hour,
               &t.minute, &t.second, &t.microsecond) == 7) {
        tcr7750_model_set_datetime(m, &t);
    } else if (sscanf(line, "status %i", &value) == 1) {
        tcr7750_model_set_status(m, value);
    } else if (sscanf(line, "advance %" SCNu64, &ns) == 1) {
        s->advance_left = ns;
    } else if (sscanf(line, "edge %7s", word) == 1 && (!strcmp(word, "rise") || !strcmp(word, "fall"))) {
        tcr7750_model_edge(m, word[0] == 'r' ? TCR7750_EDGE_RISING : TCR7750_EDGE_FALLING);
    } else if (sscanf(line, "irq %i", &value) == 1) {
        tcr7750_model_set_status(m, value);
        tcr7750_model_raise_pending(m, value & ST_BOARD_IRQ);
        s->pulse = true; /* also when the status shows nothing of the board's */
    } else if (sscanf(line, "line-error %i", &value) == 1) {
        s->line_error = value;
    } else if (sscanf(line, "line %i", &value) == 1) {
        if (s->line_saved < 0) {
            s->line_saved = s->pdev.config[PCI_INTERRUPT_LINE];
        }
        s->pdev.config[PCI_INTERRUPT_LINE] = value;
    } else if (sscanf(line, "realtime-at %" SCNu64 " %" SCNd64, &virtual_ns, &unix_ns) == 2) {
        follow_clock(s, virtual_ns, unix_ns);
    } else if (sscanf(line, "realtime %i", &value) == 1) {
        tcr7750_model_set_clock(m, value ? virtual_clock : NULL, NULL);
    } else if (sscanf(line, "advance-on-read %i %" SCNu64 " %u", &value, &ns, &count) == 3) {
        s->read_advance_offset = value;
        s->read_advance_ns = ns;
        s->read_advances = count;
    } else if (sscanf(line, "hold-irq-write %i", &value) == 1) {
        s->hold_ms = MIN(value, HOLD_MAX_MS);
    } else if (!strncmp(line, "clear-log", 9)) {
        tcr7750_model_clear_log(m);
    } else if (!strncmp(line, "reset", 5)) {
        power_up(s);
    } else {
        return false;
    }
    settle(s);
    return true;
}

static uint64_t steering_read(void *opaque, hwaddr offset, unsigned width)
{
    Tcr7750State *s = opaque;

    land_posted_writes(s);
    if (offset >= STEER_TEXT_DATA) {
        uint64_t value = 0;
        hwaddr at = offset - STEER_TEXT_DATA;

        if (at < s->text->len) {
            memcpy(&value, s->text->str + at, MIN((hwaddr)width, s->text->len - at));
        }
        return le64_to_cpu(value);
    }
    switch (offset) {
    case STEER_RESULT:
        return s->result;
    case STEER_BUSY:
        return s->advance_left || s->intx;
    case STEER_TEXT_LENGTH:
        return s->text->len;
    case STEER_CLOCK:
        return qemu_clock_get_ns(QEMU_CLOCK_VIRTUAL);
    case STEER_MICROSECONDS_READ:
        return s->microseconds_read_ns;
    case STEER_RAISES:
        return s->raises;
    default:
        return 0;
    }
}

static void steering_write(void *opaque, hwaddr offset, uint64_t value, unsigned width)
{
    Tcr7750State *s = opaque;

    land_posted_writes(s);
    if (offset < STEER_COMMAND + STEER_COMMAND_SIZE) {
        uint64_t bytes = cpu_to_le64(value);

        memcpy(s->command + offset, &bytes, MIN((hwaddr)width, STEER_COMMAND_SIZE - offset));
        return;
    }
    switch (offset) {
    case STEER_EXECUTE:
        s->command[MIN(value, STEER_COMMAND_SIZE)] = '\0';
        s->result = !run_command(s, s->command);
        break;
    case STEER_FINISH:
        /* Nobody serves the line: what waited for a handler goes on without. */
        tcr7750_model_advance(&s->model, s->advance_left);
        s->advance_left = 0;
        s->pulse = false;
        settle(s);
        break;
    case STEER_TEXT:
        g_string_truncate(s->text, 0);
        if (value == STEER_TEXT_STATE) {
            add_state(s);
        } else if (value == STEER_TEXT_LOG) {
            add_log(s);
        }
        g_string_truncate(s->text, MIN(s->text->len, STEER_TEXT_SIZE));
        break;
    }
}

static const MemoryRegionOps steering_ops = {
    .read = steering_read,
    .write = steering_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
    .valid = { .min_access_size = 1, .max_access_size = 8 },
    .impl = { .min_access_size = 1, .max_access_size = 8 },
};

/* ---- the device ---------------------------------------------------------- */

static void tcr7750_realize(PCIDevice *pdev, Error **errp)
{
    Tcr7750State *s = TCR7750(pdev);

    if (pci_add_capability(pdev, PCI_CAP_ID_PM, PM_CAP_OFFSET, PCI_PM_SIZEOF, errp) < 0) {
        return;
    }
    pci_set_word(pdev->config + PM_CAP_OFFSET + PCI_PM_PMC, 3); /* version 1.2, D0 and D3hot */
    pci_set_word(pdev->wmask + PM_CAP_OFFSET + PCI_PM_CTRL, PCI_PM_CTRL_STATE_MASK);
    pdev->config[PCI_INTERRUPT_PIN] = 1; /* INTA */

    memory_region_init_io(&s->registers, OBJECT(s), &registers_ops, s, "tcr7750-registers",
                          TCR7750_WINDOW_SIZE);
    pci_register_bar(pdev, 0, PCI_BASE_ADDRESS_SPACE_MEMORY, &s->registers);
    memory_region_init_io(&s->steering, OBJECT(s), &steering_ops, s, "tcr7750-steering", STEER_SIZE);
    pci_register_bar(pdev, STEER_BAR, PCI_BASE_ADDRESS_SPACE_MEMORY, &s->steering);
    /*
     * While one CPU's write is held, the other CPUs reach the board; QEMU's
     * guard would take that for the device re-entering itself.  The board
     * makes no access of its own, and all its state is under the big lock.
     */
    s->registers.disable_reentrancy_guard = true;
    s->steering.disable_reentrancy_guard = true;

    s->tick = timer_new_ns(QEMU_CLOCK_VIRTUAL, tick, s);
    s->posted_timer = timer_new_ns(QEMU_CLOCK_VIRTUAL, posted_delay_over, s);
    qemu_cond_init(&s->control_posted);
    s->text = g_string_new(NULL);
    s->line_saved = -1;
    power_up(s);
}

static void tcr7750_exit(PCIDevice *pdev)
{
    Tcr7750State *s = TCR7750(pdev);

    timer_free(s->tick);
    timer_free(s->posted_timer);
    qemu_cond_destroy(&s->control_posted);
    g_string_free(s->text, true);
}

static void tcr7750_class_init(ObjectClass *klass, void *data)
{
    DeviceClass *dc = DEVICE_CLASS(klass);
    PCIDeviceClass *k = PCI_DEVICE_CLASS(klass);

    k->realize = tcr7750_realize;
    k->exit = tcr7750_exit;
    k->config_read = tcr7750_config_read;
    k->config_write = tcr7750_config_write;
    k->vendor_id = TCR7750_PCI_VENDOR_ID;
    k->device_id = TCR7750_PCI_DEVICE_ID;
    k->subsystem_vendor_id = TCR7750_PCI_VENDOR_ID;
    k->subsystem_id = TCR7750_PCI_DEVICE_ID;
    k->revision = REVISION;
    k->class_id = CLASS_SIGNAL_PROCESSING_OTHER;
    dc->desc = "TCR7750 IRIG-B time-code board (board model)";
    dc->reset = tcr7750_reset;
    set_bit(DEVICE_CATEGORY_MISC, dc->categories);
}

static const TypeInfo tcr7750_info = {
    .name = TYPE_TCR7750,
    .parent = TYPE_PCI_DEVICE,
    .instance_size = sizeof(Tcr7750State),
    .class_init = tcr7750_class_init,
    .interfaces = (InterfaceInfo[]) {
        { INTERFACE_CONVENTIONAL_PCI_DEVICE },
        { },
    },
};

static void tcr7750_register_types(void)
{
    type_register_static(&tcr7750_info);
}

type_init(tcr7750_register_types)
