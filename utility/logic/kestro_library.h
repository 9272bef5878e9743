// The reader library functions the utility calls. Every call may raise
// RunTimeError when the library or the function cannot be bound.
#ifndef KESTRO_UTILITY_LOGIC_KESTRO_LIBRARY_H
#define KESTRO_UTILITY_LOGIC_KESTRO_LIBRARY_H

#include <cstdint>

namespace kestro {

class KestroLibrary {
  public:
    virtual ~KestroLibrary() = default;

    virtual int32_t SetID(int32_t pid) = 0;
    virtual int32_t OpenKestro() = 0;
    virtual int32_t CloseKestro() = 0;
    // buffer holds at least 1024 bytes.
    virtual int32_t ReadData(unsigned char* buffer, int32_t timeout, int32_t tag) = 0;
    virtual int32_t ChangeMode(int32_t mode) = 0;
    virtual int32_t ResetDevice(int32_t mode) = 0;
    // The platform's sleep, in milliseconds.
    virtual void Sleep(int32_t milliseconds) = 0;
};

}  // namespace kestro

#endif
