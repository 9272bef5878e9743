// The reader's numbered statistics records: read, clear and write, the two
// writes guarded by the clock-based access check.
#include "feature.h"
#include "trace.h"

using namespace kestro;

int32_t KESTRO_CALL RetrieveStatistics(int32_t idx, unsigned char* pbuf, int32_t len) {
    int32_t now = clock_now();
    trace("\r\n Retrieve: idx=%d, pbuf=%08X, len=%d ------ %s", idx, P(pbuf), len, time_text(now));
    if (len < 4) {
        return 2;
    }
    BOOL ok = FALSE;
    int32_t n = 0;
    for_each_matched_slot([&](int32_t i) {
        unsigned char buf[MR_FEATURE_LEN];
        frame_init(buf, MR_CMD_RETRIEVE_STATISTICS);
        buf[2] = static_cast<unsigned char>(static_cast<uint32_t>(idx) & 0xFFu);
        unsigned char request[MR_FEATURE_LEN];
        memcpy(request, buf, sizeof request);
        ok = HidD_SetFeature(hd[i], buf, MR_FEATURE_LEN) ? TRUE : FALSE;
        trace(" setf: hd[%d]=%08X, good_f=%d \r\n", i, P(hd[i]), ok);
        if (!ok) {
            return true;
        }
        Sleep(100);
        memcpy(buf, request, sizeof buf);
        ok = HidD_GetFeature(hd[i], buf, MR_FEATURE_LEN) ? TRUE : FALSE;
        trace(" getf: hd[%d]=%08X, buf[1]=%u, good_f=%d \r\n", i, P(hd[i]),
              static_cast<unsigned>(buf[1]), ok);
        if (!ok) {
            return true;
        }
        n = buf[1];
        // The answer holds at most 23 data bytes, whatever its count says.
        int32_t take = n < len ? n : len;
        if (take > MR_STAT_ANSWER_MAX) {
            take = MR_STAT_ANSWER_MAX;
        }
        memcpy(pbuf, buf + 2, static_cast<size_t>(take));
        return false;
    });
    if (!ok) {
        return 1;
    }
    return len < n ? 3 : 0;
}

int32_t KESTRO_CALL ResetStatistics(int32_t idx, int32_t pw1, int32_t pw2) {
    int32_t now = clock_now();
    trace("\r\n Reset: idx=%d, pw1=%d, pw2=%d ------ %s", idx, pw1, pw2, time_text(now));
    if (int32_t denied = access_check(now, idx, pw1, pw2)) {
        return denied;
    }
    if (idx < 1 || idx > MR_STAT_MAX_INDEX) {
        return 2;
    }
    unsigned char frame[MR_FEATURE_LEN];
    frame_init(frame, MR_CMD_RESET_STATISTICS);
    frame[2] = static_cast<unsigned char>(idx);
    return send_to_matched_slots(frame, " setf: hd[%d]=%08X, good_f=%d \r\n") ? 0 : 1;
}

int32_t KESTRO_CALL UpdateStatistics(int32_t idx, const unsigned char* data, int32_t len,
                                     int32_t pw1, int32_t pw2) {
    int32_t now = clock_now();
    trace("\r\n Update: idx=%d, len=%d, pw1=%d, pw2=%d ------ %s", idx, len, pw1, pw2,
          time_text(now));
    if (int32_t denied = access_check(now, idx, pw1, pw2)) {
        return denied;
    }
    // A length the report cannot carry is refused like a bad index: nothing
    // is sent and nothing is read past the 21 bytes that fit.
    if (idx < 1 || idx > MR_STAT_MAX_INDEX || len < 0 || len > MR_STAT_UPDATE_MAX) {
        return 3;
    }
    unsigned char frame[MR_FEATURE_LEN];
    frame_init(frame, MR_CMD_UPDATE_STATISTICS);
    frame[2] = static_cast<unsigned char>(idx);
    frame[3] = static_cast<unsigned char>(len);
    if (len > 0) {
        memcpy(frame + 4, data, static_cast<size_t>(len));
    }
    return send_to_matched_slots(frame, " setf: hd[%d]=%08X, good_f=%d \r\n") ? 0 : 1;
}
