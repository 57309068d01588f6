/* SPDX-License-Identifier: MIT */
// Everything a program unit needs from the window toolkit.
#pragma once

#include "forms/classes.h"
#include "forms/controls.h"
#include "forms/forms.h"
#include "forms/menus.h"
#include "forms/os.h"
#include "forms/registry.h"
#include "forms/sysutils.h"
#include "forms/thread.h"
#include "forms/timer.h"
