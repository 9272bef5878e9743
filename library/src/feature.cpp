#include "feature.h"

#include "trace.h"

namespace kestro {

BOOL send_to_matched_slots(const unsigned char frame[MR_FEATURE_LEN], const char* entry) {
    BOOL ok = FALSE;
    for_each_matched_slot([&](int32_t i) {
        unsigned char report[MR_FEATURE_LEN];
        memcpy(report, frame, MR_FEATURE_LEN);
        ok = HidD_SetFeature(hd[i], report, MR_FEATURE_LEN) ? TRUE : FALSE;
        trace(entry, i, P(hd[i]), ok);
        return true;
    });
    return ok;
}

int32_t access_check(int32_t now, int32_t idx, int32_t pw1, int32_t pw2) {
    uint32_t v = static_cast<uint32_t>(now) + static_cast<uint32_t>(pw2) -
                 static_cast<uint32_t>(idx) - static_cast<uint32_t>(pw1);
    int32_t sv = static_cast<int32_t>(v);
    if (sv < 0) {
        return 4;
    }
    return sv > 3 ? 5 : 0;
}

}  // namespace kestro
