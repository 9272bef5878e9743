#include "kp/winapi.h"

#include <cstdlib>
#include <cstring>

#include "kp/wipe.h"

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    void* p = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                      : std::malloc(bytes ? bytes : 1);
    if (p == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return p;
}

HLOCAL LocalFree(HLOCAL mem) {
    std::free(mem);
    return nullptr;
}

PVOID SecureZeroMemory(PVOID ptr, SIZE_T cnt) {
    kp::secure_wipe(ptr, cnt);
    return ptr;
}
