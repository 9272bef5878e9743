// Fault injection: makes the Nth platform call of a given kind fail the way
// Windows reports that failure, so tests can walk every export through every
// failure point. Calls are counted per kind from the last clear_faults().
#pragma once

namespace kp {

enum class Call {
    DeviceSet,        // SetupDiGetClassDevsA: INVALID_HANDLE_VALUE
    EnumInterface,    // SetupDiEnumDeviceInterfaces: ERROR_GEN_FAILURE (not "no more items")
    InterfaceDetail,  // SetupDiGetDeviceInterfaceDetailA (the filling call)
    DeviceOpen,       // CreateFileA of a device: ERROR_ACCESS_DENIED
    ParserData,       // HidD_GetPreparsedData
    Attributes,       // HidD_GetAttributes
    Capabilities,     // HidP_GetCaps: HIDP_STATUS_INVALID_PREPARSED_DATA
    SetFeature,       // HidD_SetFeature: ERROR_GEN_FAILURE
    GetFeature,       // HidD_GetFeature: ERROR_GEN_FAILURE
    ReadStart,        // ReadFile of a device: ERROR_GEN_FAILURE
    Wait,             // WaitForSingleObject: WAIT_FAILED
    Completion,       // GetOverlappedResult: ERROR_GEN_FAILURE
    Cancel,           // CancelIo: FALSE, nothing cancelled
    EventCreate,      // CreateEventA: NULL
    FileOpen,         // CreateFileA of a drive file: ERROR_ACCESS_DENIED
    FileWrite,        // WriteFile: ERROR_GEN_FAILURE, nothing written
    Count
};

const char* call_name(Call kind);

// The `nth` call of `kind` from now on (1 = the next one) fails; 0 disarms.
void fail_call(Call kind, int nth);
// Disarms every fault and restarts every count.
void clear_faults();
// Calls of `kind` made since the last clear_faults().
int calls_made(Call kind);

// Counts a call of `kind` and tells whether it is the one to fail.
bool fault_due(Call kind);

}  // namespace kp
