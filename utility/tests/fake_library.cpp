#include "fake_library.h"

#include <algorithm>

#include "../logic/run_time_error.h"

namespace kestro::testing {

void FakeLibrary::Bind(const std::string& name) {
    if (library_missing) {
        throw RunTimeError(kErrFileNotFound, "File not found: kestro.dll");
    }
    if (missing_exports.count(name) != 0) {
        throw RunTimeError(kErrEntryPointNotFound,
                           "Can't find DLL entry point " + name + " in kestro.dll");
    }
}

int32_t FakeLibrary::SetID(int32_t pid) {
    Bind("SetID");
    trace_.push_back("SetID(" + std::to_string(pid) + ")");
    if (pid != 0) {
        selected_ = pid;
    }
    return 0;
}

int32_t FakeLibrary::OpenKestro() {
    Bind("OpenKestro");
    trace_.push_back("OpenKestro");
    if (open) {
        return 1;
    }
    if (!reader_pid || *reader_pid != selected_) {
        return 2;
    }
    open = true;
    return 0;
}

int32_t FakeLibrary::CloseKestro() {
    Bind("CloseKestro");
    trace_.push_back("CloseKestro");
    open = false;
    return 0;
}

int32_t FakeLibrary::ReadData(unsigned char* buffer, int32_t timeout, int32_t tag) {
    Bind("ReadData");
    ++read_calls;
    if (trace_reads) {
        trace_.push_back("ReadData(" + std::to_string(timeout) + "," + std::to_string(tag) + ")");
    }
    if (!open) {
        return 1;
    }
    if (reports.empty()) {
        return 3;
    }
    const std::vector<unsigned char>& report = reports.front();
    std::copy(report.begin(), report.begin() + std::min<std::size_t>(report.size(), 1024), buffer);
    reports.pop_front();
    return 0;
}

int32_t FakeLibrary::ChangeMode(int32_t mode) {
    Bind("ChangeMode");
    trace_.push_back("ChangeMode(" + std::to_string(mode) + ")");
    if (!open) {
        return 5;
    }
    requested_mode_ = mode;
    return change_mode_result;
}

int32_t FakeLibrary::ResetDevice(int32_t mode) {
    Bind("ResetDevice");
    trace_.push_back("ResetDevice(" + std::to_string(mode) + ")");
    if (!open) {
        return 3;
    }
    if (reset_result == 0) {
        // The reader restarts in the requested mode, if one was accepted.
        static const int32_t kModePid[] = {0, kPidKeyboard, kPidIdtech, kPidMagtek};
        if (!returns_after_reset) {
            reader_pid.reset();
        } else if (change_mode_result == 0 && requested_mode_ >= 1 && requested_mode_ <= 3) {
            reader_pid = kModePid[requested_mode_];
        }
        open = false;
    }
    return reset_result;
}

void FakeLibrary::Sleep(int32_t milliseconds) {
    trace_.push_back("Sleep(" + std::to_string(milliseconds) + ")");
    clock_ms += milliseconds;
}

std::vector<unsigned char> CardBuffer(const std::vector<int>& statuses,
                                      const std::vector<int>& lengths, int start,
                                      const std::string& text) {
    std::vector<unsigned char> buffer(1025, 0);
    for (std::size_t n = 0; n < 3; ++n) {
        buffer[3 + n] = static_cast<unsigned char>(statuses.at(n));
        buffer[6 + n] = static_cast<unsigned char>(lengths.at(n));
    }
    std::copy(text.begin(), text.end(), buffer.begin() + start);
    return buffer;
}

}  // namespace kestro::testing
