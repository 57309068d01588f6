# SPDX-License-Identifier: GPL-2.0-only
# The handler does not read back its acknowledge: the posted write may reach
# the board after the end of interrupt, the line still up.
/^\t\tflush_posted_writes(board);$/d
