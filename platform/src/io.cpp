// CreateFileA, CloseHandle, ReadFile, WriteFile, GetOverlappedResult and
// CancelIo over the handle table, for files in the drive root and for HID
// devices of the registry.
#include "kp/winapi.h"

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "events.h"
#include "files.h"
#include "hooks.h"
#include "kp/clock.h"
#include "kp/faults.h"
#include "registry.h"

namespace {

bool is_drive_path(LPCSTR name) {
    return name[0] == '\\' && name[1] != '\\';
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL read_device(kp::DeviceHandle* h, LPVOID buf, DWORD len, LPDWORD read, LPOVERLAPPED ov) {
    if (!h->can_read()) {
        return fail(ERROR_ACCESS_DENIED);
    }
    if (!h->entry->attached) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    if (buf == nullptr || h->entry->identity.input_report_length == 0 ||
        len < h->entry->identity.input_report_length) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    auto* out = static_cast<uint8_t*>(buf);
    if (h->overlapped) {
        if (ov == nullptr) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        ResetEvent(ov->hEvent);  // a started request resets its event
        if (!h->queue.empty()) {
            DWORD n = kp::pop_report(h, out);
            ov->Internal = STATUS_SUCCESS;
            ov->InternalHigh = n;
            kp::signal_event(ov->hEvent);
            if (read != nullptr) {
                *read = n;
            }
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
        ov->Internal = STATUS_PENDING;
        ov->InternalHigh = 0;
        h->pending.push_back(kp::PendingRead{ov, out});
        if (read != nullptr) {
            *read = 0;
        }
        return fail(ERROR_IO_PENDING);
    }
    // A synchronous read blocks until a report arrives or the device leaves.
    auto entry = h->entry;
    kp::clock_run_until([&] { return !h->queue.empty() || !entry->attached; }, -1);
    if (!entry->attached) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    if (h->queue.empty()) {
        // Only a virtual clock with nothing scheduled gets here.
        return fail(ERROR_OPERATION_ABORTED);
    }
    DWORD n = kp::pop_report(h, out);
    if (read != nullptr) {
        *read = n;
    }
    return TRUE;
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);  // an empty name has no directory either
        return INVALID_HANDLE_VALUE;
    }
    if (is_drive_path(name)) {
        if (kp::fault_due(kp::Call::FileOpen)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return kp::open_drive_file(name, access, disposition);
    }
    if (kp::fault_due(kp::Call::DeviceOpen)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    auto entry = kp::find_device(name);
    if (entry == nullptr || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    if (DWORD error = entry->device->open_error(access, overlapped)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto handle = std::make_unique<kp::DeviceHandle>(entry, access, overlapped);
    kp::DeviceHandle* target = handle.get();
    DWORD error = 0;
    handle->channel = entry->device->open_channel(
        access, overlapped,
        [target](const uint8_t* report, size_t length) { target->receive(report, length); },
        &error);
    if (error != 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return kp::handle_insert(std::move(handle));
}

BOOL CloseHandle(HANDLE h) {
    return kp::handle_erase(h) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

BOOL ReadFile(HANDLE h, LPVOID buf, DWORD len, LPDWORD read, LPOVERLAPPED ov) {
    if (auto* d = kp::handle_as<kp::DeviceHandle>(h)) {
        if (kp::fault_due(kp::Call::ReadStart)) {
            return fail(ERROR_GEN_FAILURE);
        }
        return read_device(d, buf, len, read, ov);
    }
    if (auto* f = kp::handle_as<kp::File>(h)) {
        ssize_t n = ::read(f->fd, buf, len);
        if (n < 0) {
            return fail(ERROR_GEN_FAILURE);
        }
        if (read != nullptr) {
            *read = static_cast<DWORD>(n);
        }
        return TRUE;
    }
    return fail(ERROR_INVALID_HANDLE);
}

BOOL WriteFile(HANDLE h, LPCVOID buf, DWORD len, LPDWORD written, LPOVERLAPPED) {
    auto* f = kp::handle_as<kp::File>(h);
    if (f == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (kp::fault_due(kp::Call::FileWrite)) {
        if (written != nullptr) {
            *written = 0;
        }
        return fail(ERROR_GEN_FAILURE);
    }
    const auto* p = static_cast<const char*>(buf);
    DWORD done = 0;
    while (done < len) {
        ssize_t n = ::write(f->fd, p + done, len - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (written != nullptr) {
        *written = done;
    }
    return done == len ? TRUE : fail(ERROR_GEN_FAILURE);
}

BOOL GetOverlappedResult(HANDLE h, LPOVERLAPPED ov, LPDWORD transferred, BOOL wait) {
    if (kp::handle_object(h) == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (ov == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (kp::fault_due(kp::Call::Completion)) {
        return fail(ERROR_GEN_FAILURE);
    }
    if (ov->Internal == STATUS_PENDING) {
        if (!wait) {
            return fail(ERROR_IO_INCOMPLETE);
        }
        kp::clock_run_until([&] { return ov->Internal != STATUS_PENDING; }, -1);
        if (ov->Internal == STATUS_PENDING) {
            return fail(ERROR_IO_INCOMPLETE);
        }
        kp::consume_signal(ov->hEvent);  // waited on as a wait does
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(ov->InternalHigh);
    }
    auto status = static_cast<uint32_t>(ov->Internal);
    return status == STATUS_SUCCESS ? TRUE : fail(kp::error_of_status(status));
}

BOOL CancelIo(HANDLE h) {
    if (auto hook = std::move(kp::cancel_hook())) {
        kp::cancel_hook() = nullptr;
        hook();
    }
    if (kp::fault_due(kp::Call::Cancel)) {
        return fail(ERROR_GEN_FAILURE);
    }
    if (auto* d = kp::handle_as<kp::DeviceHandle>(h)) {
        d->complete_all(STATUS_CANCELLED);
        return TRUE;
    }
    return kp::handle_object(h) != nullptr ? TRUE : fail(ERROR_INVALID_HANDLE);
}
