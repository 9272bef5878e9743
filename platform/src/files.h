#pragma once

#include "handles.h"

namespace kp {

class File : public Object {
  public:
    explicit File(int fd) : fd(fd) {}
    ~File() override;
    const int fd;
};

// Opens "\\name" in the drive root (OPEN_EXISTING only).
HANDLE open_drive_file(LPCSTR name, DWORD access, DWORD disposition);

}  // namespace kp
