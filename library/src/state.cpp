#include "state.h"

namespace kestro {

int32_t Vid = MR_VID;
int32_t Pid = MR_PID_KEYBOARD;
uint32_t nod = 0;
RecordTable myHidDevices = {};
int32_t hdc = 0;
int32_t hxc = 0;
int32_t vpc = 0;
HANDLE hd[MR_MAX_SLOTS] = {};
int32_t hdi[MR_MAX_SLOTS] = {};
HANDLE hdr[MR_MAX_SLOTS] = {};
HidRecord* hdx[MR_MAX_SLOTS] = {};
PSP_DEVICE_INTERFACE_DETAIL_DATA_A vp[MR_MAX_SLOTS] = {};
OVERLAPPED hov = {};
int32_t rd_f = 0;
HANDLE rd_pending = nullptr;
unsigned char rbuf[MR_READ_BUF_LEN] = {};

}  // namespace kestro
