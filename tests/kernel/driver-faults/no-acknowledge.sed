# SPDX-License-Identifier: GPL-2.0-only
# The handler neither acknowledges the periodic interrupt nor claims it: the
# board's line stays up and the kernel meets an interrupt nobody handles.
s/^\t\ttcr7750_update_control(board, 0, 0, CTL_PERIODIC_ACK);$/\t\treturn IRQ_NONE;/
