/* SPDX-License-Identifier: GPL-2.0-only OR MIT */
/*
 * TCR7750_STATIC_ASSERT(condition, message): a compile-time check that C,
 * C++ and the Linux kernel all accept, for the layouts the shared headers fix.
 */
#ifndef TCR7750_STATIC_ASSERT_H
#define TCR7750_STATIC_ASSERT_H

#ifdef __cplusplus
#define TCR7750_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define TCR7750_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

#endif /* TCR7750_STATIC_ASSERT_H */
