// KestroConfigure for Windows: the operator utility for the USB card reader
// in a native window, over the same window logic as the Qt window.
#include <windows.h>
#include <commctrl.h>

#include "../binding/kestro_binding.h"
#include "../logic/form1_logic.h"
#include "form1_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    kestro::KestroBinding library;
    kestro::Form1Win32 form(instance);
    if (!form.Create()) {
        MessageBoxA(nullptr, "The window cannot be created.", kestro::kAppTitle, MB_OK);
        return 1;
    }
    kestro::Form1Logic logic(form, library);
    form.Attach(&logic);

    logic.Form_Load();
    if (logic.Ended()) {
        return 0;
    }
    return form.Run();
}
