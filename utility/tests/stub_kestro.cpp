// A small stand-in for the reader library with some of its exports, to test
// the run-time binding. ChangeMode is missing on purpose.
#include <cstdint>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

STUB_EXPORT int32_t SetID(int32_t pid) {
    return pid + 1;
}

STUB_EXPORT int32_t OpenKestro() {
    return 2;
}

STUB_EXPORT int32_t CloseKestro() {
    return 0;
}

STUB_EXPORT int32_t ReadData(unsigned char* buffer, int32_t timeout, int32_t tag) {
    buffer[0] = static_cast<unsigned char>(timeout);
    buffer[1] = static_cast<unsigned char>(tag);
    buffer[2] = 0xA5;
    return 3;
}

STUB_EXPORT int32_t ResetDevice(int32_t mode) {
    return mode == 255 ? 0 : 4;
}
