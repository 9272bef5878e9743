// One-way commands: mode change, reset and counter flush.
#include "feature.h"
#include "trace.h"

using namespace kestro;

int32_t KESTRO_CALL ChangeMode(int32_t mode) {
    int32_t now = clock_now();
    trace("\r\n MrChangeMode ------------------ %s", time_text(now));
    trace("\r\n mode=%d ", mode);
    if (hdc < 1) {
        return 5;
    }
    unsigned char frame[MR_FEATURE_LEN];
    frame_init(frame, MR_CMD_CHANGE_MODE);
    frame[2] = static_cast<unsigned char>((static_cast<uint32_t>(mode) + 0x30u) & 0xFFu);
    if (!send_to_matched_slots(frame, "\r\n ChangeMode: hd[%d]=%08X, ok=%d ")) {
        return 6;
    }
    Sleep(100);
    return 0;
}

int32_t KESTRO_CALL ResetDevice(int32_t mode) {
    int32_t now = clock_now();
    trace("\r\n MrReset ------------------ %s", time_text(now));
    trace("\r\n mode=%d ", mode);
    if (hdc < 1) {
        return 3;
    }
    unsigned char frame[MR_FEATURE_LEN];
    frame_init(frame, MR_CMD_RESET);
    frame[2] = MR_RESET_MARK;
    frame[3] = static_cast<unsigned char>(static_cast<uint32_t>(mode) & 0xFFu);
    if (!send_to_matched_slots(frame, "\r\n reset: hd[%d]=%08X, ok=%d ")) {
        return 4;
    }
    Sleep(1000);
    return 0;
}

int32_t KESTRO_CALL FlushCounter(void) {
    int32_t now = clock_now();
    trace("\r\n Flush: ------ %s", time_text(now));
    unsigned char frame[MR_FEATURE_LEN];
    frame_init(frame, MR_CMD_FLUSH_COUNTER);
    return send_to_matched_slots(frame, " setf: hd[%d]=%08X, good_f=%d \r\n") ? 0 : 1;
}
