// SPDX-License-Identifier: GPL-2.0-only
/* The board model of sim/, compiled into the test board module as it is. */
#include "board_model.c"
