/*
 * Compiled as C by scripts/windows.sh against the installed kestro.h and
 * linked with the installed import library: the header must compile as C
 * (included twice), declare every export with the stdcall pointer type that
 * a caller binding by name uses, and every declared function must resolve
 * through the import library. Never run.
 */
#include "kestro.h"
#include "kestro.h"

typedef int32_t(__stdcall* fn_void)(void);
typedef int32_t(__stdcall* fn_int)(int32_t);
typedef int32_t(__stdcall* fn_buf)(unsigned char*);
typedef int32_t(__stdcall* fn_cbuf)(const unsigned char*);
typedef int32_t(__stdcall* fn_read)(unsigned char*, int32_t, int32_t);
typedef int32_t(__stdcall* fn_retrieve)(int32_t, unsigned char*, int32_t);
typedef int32_t(__stdcall* fn_reset_stat)(int32_t, int32_t, int32_t);
typedef int32_t(__stdcall* fn_update_stat)(int32_t, const unsigned char*, int32_t, int32_t,
                                           int32_t);

/* The sizes a caller relies on. */
typedef char read_buffer_is_1024[MR_READ_BUF_LEN == 1024 ? 1 : -1];
typedef char report_is_25[MR_FEATURE_LEN == 25 ? 1 : -1];
typedef char results_are_32_bit[sizeof(int32_t) == 4 ? 1 : -1];

int main(void) {
    fn_void voids[] = {OpenUSB, OpenKestro, CloseUSB, CloseKestro, gtime, SetMrState, FlushCounter};
    fn_int ints[] = {SetID, ResetDevice, ChangeMode};
    fn_buf bufs[] = {ReadData1, GetMrState};
    fn_cbuf cbufs[] = {SetMrStateEx, SetMrStateBuf};
    fn_read read = ReadData;
    fn_retrieve retrieve = RetrieveStatistics;
    fn_reset_stat reset_stat = ResetStatistics;
    fn_update_stat update_stat = UpdateStatistics;
    return voids[0] != 0 && ints[0] != 0 && bufs[0] != 0 && cbufs[0] != 0 && read != 0 &&
           retrieve != 0 && reset_stat != 0 && update_stat != 0;
}
