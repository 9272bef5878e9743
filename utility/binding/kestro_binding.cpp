#include "kestro_binding.h"

#include <utility>

#ifndef _WIN32
#include <chrono>
#include <thread>
#endif

namespace kestro {

namespace {

// The library's functions use the platform's standard calling convention.
#ifdef _WIN32
#define KESTRO_STDCALL __stdcall
#else
#define KESTRO_STDCALL
#endif

using IntFn = int32_t(KESTRO_STDCALL*)();
using IntIntFn = int32_t(KESTRO_STDCALL*)(int32_t);
using ReadDataFn = int32_t(KESTRO_STDCALL*)(unsigned char*, int32_t, int32_t);
#ifdef _WIN32
using SleepFn = void(KESTRO_STDCALL*)(uint32_t);
#endif

// Binds slot at its first use and keeps the address for later calls; a
// failed bind is tried again at the next call.
template <typename Fn>
Fn Bound(DynamicLibrary& library, ProcAddress& slot, const char* name) {
    if (slot == nullptr) {
        slot = library.Resolve(name);
    }
    return reinterpret_cast<Fn>(slot);
}

}  // namespace

const char* KestroFileName() {
#ifdef _WIN32
    return "kestro.dll";
#else
    return "libkestro.so.1";  // the run-time name of the major version it was built for
#endif
}

std::vector<std::string> KestroCandidates(const std::string& program_directory) {
    const std::string name = KestroFileName();
#ifdef _WIN32
    // LoadLibraryA searches the program's directory first by itself.
    (void)program_directory;
    return {name};
#else
    std::vector<std::string> candidates;
    if (!program_directory.empty()) {
        candidates.push_back(program_directory + "/" + name);
        candidates.push_back(program_directory + "/../lib/" + name);
    }
    candidates.push_back(name);
    return candidates;
#endif
}

KestroBinding::KestroBinding()
    : KestroBinding(KestroFileName(), KestroCandidates(ExecutableDirectory())) {}

KestroBinding::KestroBinding(std::string file_name, std::vector<std::string> candidates)
    : kestro_(std::move(file_name), std::move(candidates))
#ifdef _WIN32
      ,
      kernel_("kernel32.dll", {"kernel32.dll"})
#endif
{
}

int32_t KestroBinding::SetID(int32_t pid) {
    return Bound<IntIntFn>(kestro_, set_id_, "SetID")(pid);
}

int32_t KestroBinding::OpenKestro() {
    return Bound<IntFn>(kestro_, open_, "OpenKestro")();
}

int32_t KestroBinding::CloseKestro() {
    return Bound<IntFn>(kestro_, close_, "CloseKestro")();
}

int32_t KestroBinding::ReadData(unsigned char* buffer, int32_t timeout, int32_t tag) {
    return Bound<ReadDataFn>(kestro_, read_data_, "ReadData")(buffer, timeout, tag);
}

int32_t KestroBinding::ChangeMode(int32_t mode) {
    return Bound<IntIntFn>(kestro_, change_mode_, "ChangeMode")(mode);
}

int32_t KestroBinding::ResetDevice(int32_t mode) {
    return Bound<IntIntFn>(kestro_, reset_device_, "ResetDevice")(mode);
}

void KestroBinding::Sleep(int32_t milliseconds) {
#ifdef _WIN32
    Bound<SleepFn>(kernel_, sleep_, "Sleep")(static_cast<uint32_t>(milliseconds));
#else
    (void)sleep_;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

}  // namespace kestro
