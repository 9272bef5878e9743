// A shared library opened by file name at run time, and its exports looked
// up by name.
#ifndef KESTRO_UTILITY_BINDING_DYNAMIC_LIBRARY_H
#define KESTRO_UTILITY_BINDING_DYNAMIC_LIBRARY_H

#include <string>
#include <vector>

namespace kestro {

// Any function pointer; converted to the real type by the caller.
using ProcAddress = void (*)();

class DynamicLibrary {
  public:
    // file_name names the library in error messages; candidates are tried in
    // order (paths or bare names for the system's search).
    DynamicLibrary(std::string file_name, std::vector<std::string> candidates);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library at the first call and keeps it loaded; raises
    // RunTimeError 53 when no candidate loads and 453 when the export is
    // missing.
    ProcAddress Resolve(const char* export_name);

    const std::string& file_name() const { return file_name_; }

  private:
    std::string file_name_;
    std::vector<std::string> candidates_;
    void* handle_ = nullptr;
};

// Directory of the running program, empty when it cannot be found.
std::string ExecutableDirectory();

}  // namespace kestro

#endif
