// The reader library bound at run time: each function by file name and
// export name at its first call, then kept.
#ifndef KESTRO_UTILITY_BINDING_KESTRO_BINDING_H
#define KESTRO_UTILITY_BINDING_KESTRO_BINDING_H

#include <string>
#include <vector>

#include "../logic/kestro_library.h"
#include "dynamic_library.h"

namespace kestro {

// The library's file name on this system.
const char* KestroFileName();

// Where the program looks for the library: next to the program, then in
// ../lib beside it (the installed layout), then the system's search path.
std::vector<std::string> KestroCandidates(const std::string& program_directory);

class KestroBinding : public KestroLibrary {
  public:
    KestroBinding();
    // For tests: a library of another name and place.
    KestroBinding(std::string file_name, std::vector<std::string> candidates);

    int32_t SetID(int32_t pid) override;
    int32_t OpenKestro() override;
    int32_t CloseKestro() override;
    int32_t ReadData(unsigned char* buffer, int32_t timeout, int32_t tag) override;
    int32_t ChangeMode(int32_t mode) override;
    int32_t ResetDevice(int32_t mode) override;
    void Sleep(int32_t milliseconds) override;

  private:
    DynamicLibrary kestro_;
#ifdef _WIN32
    DynamicLibrary kernel_;
#endif
    ProcAddress set_id_ = nullptr;
    ProcAddress open_ = nullptr;
    ProcAddress close_ = nullptr;
    ProcAddress read_data_ = nullptr;
    ProcAddress change_mode_ = nullptr;
    ProcAddress reset_device_ = nullptr;
    ProcAddress sleep_ = nullptr;
};

}  // namespace kestro

#endif
