// The library's entry point on Windows. Loading the library opens nothing
// and unloading it does not close a session.
#ifdef _WIN32
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif
