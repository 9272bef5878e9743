// The library's process-wide state. There is no session object: a session
// exists between a successful OpenUSB and the next CloseUSB, and every export
// works on these variables. They are zero at load except Vid, Pid and fdd.
#pragma once

#include "kestro.h"
#include "records.h"
#include "win.h"

namespace kestro {

extern int32_t Vid;                   // vendor id an interface must carry (constant)
extern int32_t Pid;                   // product id an interface must carry (SetID)
extern uint32_t nod;                  // interfaces enumerated by the last open; non-zero = session
extern RecordTable myHidDevices;      // one record per enumerated interface
extern int32_t hdc;                   // number of slots
extern int32_t hxc;                   // slots with record and read handle (= hdc)
extern int32_t vpc;                   // device paths kept (= hdc)
extern HANDLE hd[MR_MAX_SLOTS];       // per slot: synchronous handle
extern int32_t hdi[MR_MAX_SLOTS];     // per slot: product id
extern HANDLE hdr[MR_MAX_SLOTS];      // per slot: overlapped read handle or invalid
extern HidRecord* hdx[MR_MAX_SLOTS];  // per slot: its interface record
extern PSP_DEVICE_INTERFACE_DETAIL_DATA_A vp[MR_MAX_SLOTS];  // per slot: device path
extern OVERLAPPED hov;     // the one overlapped record of every read
extern int32_t rd_f;       // 1 while ReadData has a read under way
extern HANDLE rd_pending;  // read handle whose cancelled read has not finished
// The receive buffer: reads go here, never into the caller's buffer, and it
// stays valid after a call returns, which a cancelled read may still need.
// It holds the last card until the next read or CloseUSB wipes it
// (SecureZeroMemory: a wipe the compiler keeps).
extern unsigned char rbuf[MR_READ_BUF_LEN];

// Slot i is matched when it has a handle and the product id selected now.
inline bool matched_slot(int32_t i) {
    return hd[i] != nullptr && hdi[i] == Pid;
}

}  // namespace kestro
