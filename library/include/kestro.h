/*
 * kestro.h - the reader access library (kestro.dll, libkestro.so).
 *
 * Eighteen flat functions drive a USB magnetic-stripe card reader: find it
 * among the machine's HID interfaces, fetch each swiped card as an input
 * report, send it feature-report commands, and write an optional trace to
 * "\kestro.log" in the root of the current drive (only when that file
 * exists). Every integer is 32 bits; every function returns a 32-bit status,
 * 0 for success. On 32-bit Windows the functions use the stdcall convention
 * and are exported under their undecorated names.
 *
 * The library keeps one session per process and is not thread-safe: call it
 * from one thread at a time.
 */
#ifndef KESTRO_H
#define KESTRO_H

#include <stdint.h>

#include "kestro_version.h"

#if defined(_WIN32)
#define KESTRO_CALL __stdcall
#define KESTRO_API
#else
#define KESTRO_CALL
#define KESTRO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* USB vendor id of the reader, the same in every mode. */
#define MR_VID 0x3E7A

/* Product ids of the reader's three modes. */
#define MR_PID_KEYBOARD 0x0500 /* "USB/KB": keyboard emulation, no input reports */
#define MR_PID_IDTECH 0x05A0   /* "USB/HID IDTECH": track text from report byte 10 */
#define MR_PID_MAGTEK 0x05B0   /* "USB/HID MAGTEK": track text from report byte 8 */

/* Feature command report: report id 0x00, command code, parameters, zeros. */
#define MR_FEATURE_LEN 25
#define MR_FEATURE_LEN_SHORT 10 /* short set-configuration form, a fallback */

/* Card reads: bytes requested per read, and the caller's buffer size. */
#define MR_READ_LEN 538
#define MR_READ_BUF_LEN 1024

/* A card in the caller's buffer after a read. Indices are buffer indices:
 * the report length (2 bytes, low first), then the input report from its
 * report id. Both HID modes put the track statuses and lengths at the same
 * places; only the track text range differs. The text range is one run of
 * single-byte characters: zero bytes are skipped, a carriage return ends a
 * line and a line feed is dropped. A card was read when the three lengths
 * add up to more than 0; they do not cut the text into tracks. */
#define MR_CARD_COUNT_AT 0  /* bytes read, 2 bytes, low byte first */
#define MR_CARD_REPORT_AT 2 /* the input report, report id first */
#define MR_CARD_STATUS_AT 3 /* 3 bytes: tracks 1 to 3, 0 = read well */
#define MR_CARD_LENGTH_AT 6 /* 3 bytes: tracks 1 to 3 */
#define MR_CARD_TRACKS 3
#define MR_CARD_TEXT_FIRST_IDTECH 12 /* text range in "USB/HID IDTECH" mode, */
#define MR_CARD_TEXT_LAST_IDTECH 539 /* first and last index inclusive */
#define MR_CARD_TEXT_FIRST_MAGTEK 10 /* text range in "USB/HID MAGTEK" mode */
#define MR_CARD_TEXT_LAST_MAGTEK 339

/* Seven configuration bytes, opaque to the library. */
#define MR_STATE_LEN 7

/* Command codes (byte 1 of the feature report). */
#define MR_CMD_SET_STATE 0xB2
#define MR_CMD_GET_STATE 0xB3
#define MR_CMD_CHANGE_MODE 0xBE
#define MR_CMD_FLUSH_COUNTER 0xBF
#define MR_CMD_RESET_STATISTICS 0xC0
#define MR_CMD_RETRIEVE_STATISTICS 0xD0
#define MR_CMD_UPDATE_STATISTICS 0xE0
#define MR_CMD_RESET 0xFF
#define MR_RESET_MARK 0xAA /* byte 2 of the reset command */

/* Most slots a session holds. A matching interface beyond the 256th is not
 * admitted: it is closed at once and counted like any skipped interface. */
#define MR_MAX_SLOTS 256

/* Statistics: record indices 1 to 15; the update report carries at most 21
 * data bytes and a retrieve answer at most 23. */
#define MR_STAT_MAX_INDEX 15
#define MR_STAT_UPDATE_MAX 21
#define MR_STAT_ANSWER_MAX 23

/* Result codes, numbered per function: KESTRO_<FUNCTION>_<MEANING>. Every
 * function returns 0 for success; CloseUSB, CloseKestro and SetID always do.
 * OpenUSB's codes are also OpenKestro's. */
#define KESTRO_OPEN_USB_OK 0
#define KESTRO_OPEN_USB_ALREADY_OPEN 1 /* nothing done */
#define KESTRO_OPEN_USB_NO_READER 2
#define KESTRO_READ_DATA_OK 0 /* a report read, or a read already under way */
#define KESTRO_READ_DATA_NO_SESSION 1
#define KESTRO_READ_DATA_NO_READ_HANDLE 2
#define KESTRO_READ_DATA_NO_CARD 3 /* nothing in time, or the read failed */
#define KESTRO_READ_DATA1_OK 0
#define KESTRO_READ_DATA1_NO_SESSION 1
#define KESTRO_READ_DATA1_FAILED 2 /* no slot for the product id, or the read failed */
#define KESTRO_SET_MR_STATE_EX_OK 0
#define KESTRO_SET_MR_STATE_EX_NO_SESSION 4
#define KESTRO_SET_MR_STATE_EX_REJECTED 5 /* or no matching reader */
#define KESTRO_SET_MR_STATE_BUF_OK 0
#define KESTRO_SET_MR_STATE_BUF_NO_SESSION 1
#define KESTRO_SET_MR_STATE_BUF_REJECTED 5
#define KESTRO_SET_MR_STATE_OK 0
#define KESTRO_SET_MR_STATE_NO_SESSION 1
#define KESTRO_SET_MR_STATE_NO_PROFILE 2 /* neither msr.ini nor torvanexmsr.ini */
#define KESTRO_SET_MR_STATE_REJECTED 5
#define KESTRO_GET_MR_STATE_OK 0
#define KESTRO_GET_MR_STATE_NO_SESSION 1
#define KESTRO_GET_MR_STATE_NO_ANSWER 3
#define KESTRO_RESET_DEVICE_OK 0
#define KESTRO_RESET_DEVICE_NO_SESSION 3
#define KESTRO_RESET_DEVICE_REJECTED 4
#define KESTRO_CHANGE_MODE_OK 0
#define KESTRO_CHANGE_MODE_NO_SESSION 5
#define KESTRO_CHANGE_MODE_REJECTED 6
#define KESTRO_FLUSH_COUNTER_OK 0
#define KESTRO_FLUSH_COUNTER_REJECTED 1 /* also without a session */
#define KESTRO_RETRIEVE_STATISTICS_OK 0
#define KESTRO_RETRIEVE_STATISTICS_NO_ANSWER 1
#define KESTRO_RETRIEVE_STATISTICS_SHORT_BUFFER 2 /* len < 4 */
#define KESTRO_RETRIEVE_STATISTICS_MORE_DATA 3    /* pbuf got the first len bytes */
#define KESTRO_RESET_STATISTICS_OK 0
#define KESTRO_RESET_STATISTICS_REJECTED 1
#define KESTRO_RESET_STATISTICS_BAD_INDEX 2
#define KESTRO_RESET_STATISTICS_TOO_EARLY 4
#define KESTRO_RESET_STATISTICS_TOO_LATE 5
#define KESTRO_UPDATE_STATISTICS_OK 0
#define KESTRO_UPDATE_STATISTICS_REJECTED 1
#define KESTRO_UPDATE_STATISTICS_BAD_ARGUMENT 3 /* idx or len out of range */
#define KESTRO_UPDATE_STATISTICS_TOO_EARLY 4
#define KESTRO_UPDATE_STATISTICS_TOO_LATE 5

/* --- Session ------------------------------------------------------------
 * OpenUSB / OpenKestro: find every HID interface with MR_VID and the product
 * id chosen by SetID, and open it. 0 opened; 1 a session is already open
 * (nothing done); 2 no reader found.
 * CloseUSB / CloseKestro: close the session and clear the library's copy of
 * the last card read; always 0.
 * SetID: choose the product id for the next open (default MR_PID_KEYBOARD);
 * 0 leaves it unchanged. Always 0.
 * gtime: the library's clock, seconds since 1970-01-01 00:00:00 UTC. */
KESTRO_API int32_t KESTRO_CALL OpenUSB(void);
KESTRO_API int32_t KESTRO_CALL OpenKestro(void);
KESTRO_API int32_t KESTRO_CALL CloseUSB(void);
KESTRO_API int32_t KESTRO_CALL CloseKestro(void);
KESTRO_API int32_t KESTRO_CALL SetID(int32_t new_pid);
KESTRO_API int32_t KESTRO_CALL gtime(void);

/* --- Card data ----------------------------------------------------------
 * pbuf must hold MR_READ_BUF_LEN bytes. On success it holds the report length
 * n (2 bytes, low first), the input report (report id first), then zeros.
 * ReadData: wait up to `timeout` ms (0 polls). 0 read (or another read is
 * already under way); 1 no session; 2 no usable read handle for the product
 * id; 3 nothing arrived in time, or the read failed (buffer all zero).
 * ReadData1: block until a report arrives. 0 read; 1 no session; 2 no slot
 * for the product id, or the read failed.
 *
 * A reader that leaves (unplugged, reset, a mode change) does not come back
 * into the open session: from then on ReadData returns 3 and every command
 * fails. A read under way when it leaves ends with 3 before its timeout;
 * a read started later waits its whole timeout. So when ReadData returns 3
 * early, or a command such as GetMrState fails (it answers only while the
 * reader is there), call CloseUSB and then SetID and OpenUSB for each mode
 * until one returns 0: OpenUSB returns 2 until the reader is back, maybe
 * in another mode. Reports sent while no session is open are lost. */
KESTRO_API int32_t KESTRO_CALL ReadData(unsigned char* pbuf, int32_t timeout, int32_t tag);
KESTRO_API int32_t KESTRO_CALL ReadData1(unsigned char* pbuf);

/* --- Configuration --------------------------------------------------------
 * SetMrStateEx: send 7 bytes. 0 accepted; 4 no session; 5 rejected or no
 * matching reader. SetMrStateBuf: 1 no session, else as SetMrStateEx.
 * SetMrState: the 7 bytes from "msr.ini", else "torvanexmsr.ini", in the
 * current directory (raw bytes). 1 no session; 2 no file; else as
 * SetMrStateEx. GetMrState: `report` (25 bytes) receives the reader's
 * answer. 0 answered; 1 no session; 3 no reader answered. */
KESTRO_API int32_t KESTRO_CALL SetMrStateEx(const unsigned char* state);
KESTRO_API int32_t KESTRO_CALL SetMrStateBuf(const unsigned char* state);
KESTRO_API int32_t KESTRO_CALL SetMrState(void);
KESTRO_API int32_t KESTRO_CALL GetMrState(unsigned char* report);

/* --- Commands -------------------------------------------------------------
 * ResetDevice: 0 accepted (after 1000 ms); 3 no session; 4 rejected.
 * ChangeMode: mode 1 keyboard, 2 IDTECH, 3 MAGTEK; 0 accepted (after 100 ms);
 * 5 no session; 6 rejected. FlushCounter: 0 accepted; 1 otherwise. */
KESTRO_API int32_t KESTRO_CALL ResetDevice(int32_t mode);
KESTRO_API int32_t KESTRO_CALL ChangeMode(int32_t mode);
KESTRO_API int32_t KESTRO_CALL FlushCounter(void);

/* --- Statistics -----------------------------------------------------------
 * RetrieveStatistics: read record idx into pbuf (len bytes). 0 read; 1 no
 * reader answered; 2 len < 4; 3 the record holds more than len bytes (pbuf
 * gets the first len). An answer claiming more than 23 bytes gives at most
 * the 23 the report holds.
 * ResetStatistics / UpdateStatistics: pw1 - pw2 + idx must equal gtime()
 * taken at most 3 s before the call: else 4 (too early) or 5 (too late).
 * ResetStatistics: 2 idx outside 1..15; UpdateStatistics: 3 idx outside
 * 1..15 or len outside 0..21 (nothing sent). Both: 1 rejected or no reader. */
KESTRO_API int32_t KESTRO_CALL RetrieveStatistics(int32_t idx, unsigned char* pbuf, int32_t len);
KESTRO_API int32_t KESTRO_CALL ResetStatistics(int32_t idx, int32_t pw1, int32_t pw2);
KESTRO_API int32_t KESTRO_CALL UpdateStatistics(int32_t idx, const unsigned char* data, int32_t len,
                                                int32_t pw1, int32_t pw2);

#ifdef __cplusplus
}
#endif

#endif /* KESTRO_H */
