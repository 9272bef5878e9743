#include "dynamic_library.h"

#include <cstring>
#include <utility>

#include "../logic/run_time_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace kestro {

namespace {

#ifdef _WIN32
void* OpenLibrary(const std::string& path) {
    return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
}

ProcAddress FindExport(void* handle, const char* name) {
    // FARPROC and ProcAddress are both function pointers without arguments.
    return reinterpret_cast<ProcAddress>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
#else
void* OpenLibrary(const std::string& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

ProcAddress FindExport(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    // dlsym hands out functions as object pointers; copy the bits across.
    ProcAddress address = nullptr;
    static_assert(sizeof address == sizeof symbol, "function and object pointers differ");
    std::memcpy(&address, &symbol, sizeof address);
    return address;
}

void CloseLibrary(void* handle) {
    dlclose(handle);
}
#endif

}  // namespace

DynamicLibrary::DynamicLibrary(std::string file_name, std::vector<std::string> candidates)
    : file_name_(std::move(file_name)), candidates_(std::move(candidates)) {}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) {
        CloseLibrary(handle_);
    }
}

ProcAddress DynamicLibrary::Resolve(const char* export_name) {
    if (handle_ == nullptr) {
        for (const std::string& candidate : candidates_) {
            handle_ = OpenLibrary(candidate);
            if (handle_ != nullptr) {
                break;
            }
        }
        if (handle_ == nullptr) {
            throw RunTimeError(kErrFileNotFound, "File not found: " + file_name_);
        }
    }
    ProcAddress address = FindExport(handle_, export_name);
    if (address == nullptr) {
        throw RunTimeError(kErrEntryPointNotFound, std::string("Can't find DLL entry point ") +
                                                       export_name + " in " + file_name_);
    }
    return address;
}

std::string ExecutableDirectory() {
    std::string path;
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        path.assign(buffer, length);
    }
    const std::size_t slash = path.find_last_of("\\/");
#else
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        path.assign(buffer, static_cast<std::size_t>(length));
    }
    const std::size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace kestro
