/* SPDX-License-Identifier: MIT */
/*
 * TCR7750 board access library: the sixteen exports and their records.
 *
 * Every export is a plain cdecl C function returning a signed 32-bit code:
 * 0 done, -1 refused (no open connection, a driver request that failed, a
 * null output pointer).  The two waits return 0 for an interrupt, 1 when
 * the wait ended because the interrupts were disarmed (or were never armed),
 * and -1 when the wait could not reach the driver; they accept null stamps.
 *
 * Records belong to the caller and are filled in place; the library
 * allocates nothing for its callers.  Windows import names carry a leading
 * underscore (_OpenBoard ... _DisableBoardInterrupts, ordinals 1 to 16).
 */
#ifndef TCR7750_H
#define TCR7750_H

#include <stddef.h>
#include <stdint.h>

#include "systemtime.h"
#include "tcr7750_static_assert.h"

#ifdef _WIN32
#define TCR7750_CALL __cdecl
#else
#define TCR7750_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A TD reading: the time difference decoded by the board. */
typedef struct TdRecord {
    char State;            /* 'S' or 'R' */
    char Sign;             /* '+' or '-' */
    uint8_t Hours;
    uint8_t Minutes;
    uint8_t Seconds;
    uint8_t Unused[3];     /* never written by the library */
    int32_t Microseconds;
} TdRecord;

/* An H0 reading. */
typedef struct H0Record {
    char State;            /* 'S' or 'R' */
    uint8_t Hours;
    uint8_t Minutes;
    uint8_t Seconds;
    uint16_t DayOfYear;
} H0Record;

/* The time stamp of one edge of the time-stamp input, raw from the board. */
typedef struct EdgeStamp {
    int32_t Seconds;
    int32_t Microseconds;
} EdgeStamp;

/* The decoding modes SetIrigMode takes; any other value selects standard IRIG B. */
#define TCR7750_DECODE_STANDARD 0  /* standard IRIG B */
#define TCR7750_DECODE_AFNOR    1  /* AFNOR, which also decodes IEEE 1344 frames */
#define TCR7750_DECODE_TD       2  /* the TD reading */
#define TCR7750_DECODE_H0       3  /* the H0 reading: the same decoding as TD */

/* Size of the buffer GetBoardVersion fills: 15 characters and a zero. */
#define TCR7750_VERSION_TEXT_SIZE 16

/* ---- connection ---- */
int32_t TCR7750_CALL OpenBoard(void);
int32_t TCR7750_CALL CloseBoard(void);

/* ---- readings ---- */
int32_t TCR7750_CALL GetBoardStatus(uint16_t *status, uint16_t *control);
int32_t TCR7750_CALL GetBoardDateTime(SYSTEMTIME *dateTime, uint16_t *dayOfYear,
                                      uint32_t *microseconds, uint16_t *status);
int32_t TCR7750_CALL GetTD(TdRecord *td, uint16_t *status);
int32_t TCR7750_CALL GetTDEx(TdRecord *td, uint16_t *status);
int32_t TCR7750_CALL GetH0(H0Record *h0, uint16_t *status);
int32_t TCR7750_CALL GetBoardVersion(char *versionText);
int32_t TCR7750_CALL GetBoardTimestamp(EdgeStamp *rising, EdgeStamp *falling);

/* ---- configuration ---- */
int32_t TCR7750_CALL SetBoardInitialYear(int32_t year);
int32_t TCR7750_CALL SetIrigMode(uint32_t mode);

/* ---- interrupts ---- */
int32_t TCR7750_CALL EnableTimestampInterrupt(int32_t fallingEdge);
int32_t TCR7750_CALL EnablePeriodicInterrupt(int32_t period);
int32_t TCR7750_CALL WaitForTimestampInterrupt(EdgeStamp *rising, EdgeStamp *falling);
int32_t TCR7750_CALL WaitForPeriodicInterrupt(void);
int32_t TCR7750_CALL DisableBoardInterrupts(void);

#ifdef __cplusplus
}
#endif

TCR7750_STATIC_ASSERT(sizeof(TdRecord) == 12, "TdRecord is 12 bytes");
TCR7750_STATIC_ASSERT(offsetof(TdRecord, Sign) == 1, "TdRecord.Sign at 1");
TCR7750_STATIC_ASSERT(offsetof(TdRecord, Hours) == 2, "TdRecord.Hours at 2");
TCR7750_STATIC_ASSERT(offsetof(TdRecord, Seconds) == 4, "TdRecord.Seconds at 4");
TCR7750_STATIC_ASSERT(offsetof(TdRecord, Microseconds) == 8, "TdRecord.Microseconds at 8");
TCR7750_STATIC_ASSERT(sizeof(H0Record) == 6, "H0Record is 6 bytes");
TCR7750_STATIC_ASSERT(offsetof(H0Record, Seconds) == 3, "H0Record.Seconds at 3");
TCR7750_STATIC_ASSERT(offsetof(H0Record, DayOfYear) == 4, "H0Record.DayOfYear at 4");
TCR7750_STATIC_ASSERT(sizeof(EdgeStamp) == 8, "EdgeStamp is 8 bytes");
TCR7750_STATIC_ASSERT(offsetof(EdgeStamp, Microseconds) == 4, "EdgeStamp.Microseconds at 4");

#endif /* TCR7750_H */
