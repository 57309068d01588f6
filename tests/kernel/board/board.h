/* SPDX-License-Identifier: GPL-2.0-only */
/*
 * The parts of the simulated board, one file each:
 *   board_main.c       the model and its lock, power-on state, module load and unload
 *   board_bus.c        the synthetic PCI root bus and the device's configuration space
 *   board_lines.c      the interrupt lines and the timer that raises the board's line
 *   board_registers.c  the kprobes on the MMIO accessors that feed the model
 *   board_realtime.c   the real-time mode: the model follows the kernel clock
 *   board_debugfs.c    the command, state and log files in debugfs
 */
#ifndef TCR7750_TEST_BOARD_H
#define TCR7750_TEST_BOARD_H

#include <linux/spinlock.h>
#include <linux/types.h>

#include "board_model.h"

#define BOARD_PHYS        0x20000000UL /* the page reserved with memmap= */
#define LOG_CAPACITY      4096

enum { LINE_BOARD, LINE_SPARE, LINES };

/* board_main.c: the model, its access log and the lock every user takes. */
extern struct tcr7750_model board_model;
extern struct tcr7750_access board_access_log[LOG_CAPACITY];
extern raw_spinlock_t board_model_lock; /* also taken in kprobe handlers and hard timers */
void reset_board(void); /* power-on state; under board_model_lock */

/* board_bus.c */
extern u8 config_line;         /* the interrupt-line byte in configuration space */
extern bool config_line_error; /* configuration reads of it fail */
bool board_memory_decoding(void); /* PCI_COMMAND_MEMORY: off, the board is deaf and quiet */
void set_pci_command(u16 value);  /* "pci-command" */
int add_root_bus(void);
void remove_root_bus(void);

/* board_lines.c */
extern int first_irq; /* the board's line, then a spare one */
extern int busy_irq;
extern u64 raise_count;
extern u64 last_raise_ns;
extern int raising_cpu; /* the CPU running the line's hard handlers, or -1 */
int setup_lines(void);
void teardown_lines(void);
void request_raise(void);
void on_line_change(void *context, int asserted);
void wait_for_raises(void); /* until the raises asked for so far are handled */
u64 raises_handled_count(void);
bool in_line_handler(void);

/* board_registers.c */
int map_page(void);
void unmap_page(void);
void refresh_page(void); /* under board_model_lock */
int hook_accessors(void);
void unhook_accessors(void);
void hold_next_irq_write(unsigned int ms); /* "hold-irq-write"; 0 cancels */
void advance_on_read(unsigned int offset, u64 ns, unsigned int reads); /* under board_model_lock */
extern u64 microseconds_read_real_ns;
int time_register_reads(unsigned int n); /* "time-reads"; not under the lock */
extern u64 read_ns_median, read_ns_p99;
unsigned long accessor_probes_missed(void);
extern bool irq_write_held;
extern unsigned int irq_writes_held;

/* board_realtime.c */
void init_realtime(void);
void schedule_tick(void); /* under board_model_lock */
void set_realtime(bool on);
void follow_realtime(s64 offset_ns);

/* board_debugfs.c */
void create_debugfs(void);
void remove_debugfs(void);

#endif /* TCR7750_TEST_BOARD_H */
