// The reader's seven configuration bytes: set from a buffer or from the
// profile file, and the reader's configuration answer.
#include <stdio.h>

#include "feature.h"
#include "trace.h"

using namespace kestro;

int32_t KESTRO_CALL SetMrStateEx(const unsigned char* state) {
    int32_t now = clock_now();
    trace("\r\n MrSetEx ------------------ %s", time_text(now));
    unsigned char buf[MR_FEATURE_LEN];
    frame_init(buf, MR_CMD_SET_STATE);
    memcpy(buf + 2, state, MR_STATE_LEN);
    trace("\r\n buf[2-8] = %x,%x,%x,%x,%x,%x,%x ", buf[2], buf[3], buf[4], buf[5], buf[6], buf[7],
          buf[8]);
    if (hdc < 1) {
        return 4;
    }
    BOOL ok = FALSE;
    for_each_matched_slot([&](int32_t i) {
        buf[0] = 0x00;
        buf[1] = MR_CMD_SET_STATE;
        buf[9] = 0x00;
        ok = HidD_SetFeature(hd[i], buf, MR_FEATURE_LEN) ? TRUE : FALSE;
        trace("\r\n setf1: hd[%d]=%08X, ok=%d ", i, P(hd[i]), ok);
        if (!ok) {
            // Readers that take only the short form get it as a second try.
            ok = HidD_SetFeature(hd[i], buf, MR_FEATURE_LEN_SHORT) ? TRUE : FALSE;
            trace("\r\n setf2: hd[%d]=%08X, ok=%d ", i, P(hd[i]), ok);
        }
        return true;
    });
    return ok ? 0 : 5;
}

int32_t KESTRO_CALL SetMrStateBuf(const unsigned char* state) {
    int32_t now = clock_now();
    trace("\r\n MrSetBuf -------------------- %s", time_text(now));
    if (hdc < 1) {
        return 1;
    }
    unsigned char copy[MR_STATE_LEN] = {0};
    memcpy(copy, state, MR_STATE_LEN);
    return SetMrStateEx(copy);
}

int32_t KESTRO_CALL SetMrState(void) {
    int32_t now = clock_now();
    trace("\r\n MrSet -------------------- %s", time_text(now));
    if (hdc < 1) {
        return 1;
    }
    FILE* f = fopen("msr.ini", "rb");
    if (f == nullptr) {
        f = fopen("torvanexmsr.ini", "rb");
    }
    if (f == nullptr) {
        return 2;
    }
    // Raw bytes, not text: the first seven are the configuration, missing
    // ones stay zero, the rest is ignored.
    unsigned char block[MR_STATE_LEN] = {0};
    for (int k = 0; k < MR_STATE_LEN; ++k) {
        int c = fgetc(f);
        if (c == EOF) {
            break;
        }
        block[k] = static_cast<unsigned char>(c);
    }
    fclose(f);
    return SetMrStateEx(block);
}

int32_t KESTRO_CALL GetMrState(unsigned char* report) {
    int32_t now = clock_now();
    trace("\r\n MrGet -------------------- %s", time_text(now));
    if (hdc < 1) {
        return 1;
    }
    BOOL ok = FALSE;
    for_each_matched_slot([&](int32_t i) {
        frame_init(report, MR_CMD_GET_STATE);
        ok = HidD_SetFeature(hd[i], report, MR_FEATURE_LEN) ? TRUE : FALSE;
        trace("\r\n setf: hd[%d]=%08X, ok=%d ", i, P(hd[i]), ok);
        if (ok) {
            Sleep(100);
            frame_init(report, MR_CMD_GET_STATE);
            ok = HidD_GetFeature(hd[i], report, MR_FEATURE_LEN) ? TRUE : FALSE;
            trace("\r\n getf: hd[%d]=%08X, ok=%d ", i, P(hd[i]), ok);
            trace("\r\n buf[0-9] = %x,%x,%x,%x,%x,%x,%x,%x,%x,%x ", report[0], report[1], report[2],
                  report[3], report[4], report[5], report[6], report[7], report[8], report[9]);
        }
        return !ok;  // the first reader that answers ends the search
    });
    return ok ? 0 : 3;
}
