// The handle table: every kernel object the platform hands out (device,
// file, event, device set) lives here. Handle values are small multiples of
// 4, as on Windows, and the lowest free value is reused first.
#pragma once

#include <memory>

#include "kp/winapi.h"

namespace kp {

class Object {
  public:
    virtual ~Object() = default;
};

HANDLE handle_insert(std::unique_ptr<Object> object);
Object* handle_object(HANDLE h);
template <typename T>
T* handle_as(HANDLE h) {
    return dynamic_cast<T*>(handle_object(h));
}
// Destroys the object; false when `h` is not an open handle.
bool handle_erase(HANDLE h);

}  // namespace kp
