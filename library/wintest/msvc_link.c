/*
 * Built by scripts/windows.sh with clang for the MSVC ABI and linked by
 * lld-link against the installed kestro.lib, with the linker's default
 * settings (/SAFESEH on i686) and no C run-time library: every export must
 * resolve through that import library. Run under Wine, it exits with 0
 * when the DLL answers through those imports.
 */
#include "kestro.h"

static unsigned char buf[MR_READ_BUF_LEN];
static const unsigned char state[MR_STATE_LEN];

int main(void) {
    volatile int never = 0;
    if (never) { /* referenced, never called */
        OpenUSB();
        OpenKestro();
        CloseKestro();
        ReadData(buf, 0, 0);
        ReadData1(buf);
        SetMrStateEx(state);
        SetMrStateBuf(state);
        SetMrState();
        GetMrState(buf);
        ResetDevice(0);
        ChangeMode(0);
        FlushCounter();
        RetrieveStatistics(1, buf, 4);
        ResetStatistics(1, 0, 0);
        UpdateStatistics(1, state, 0, 0, 0);
    }
    /* Without a session: SetID and CloseUSB succeed, the clock runs. */
    return SetID(0) == 0 && CloseUSB() == 0 && gtime() > 0 ? 0 : 1;
}
