// Typing through the X server's test extension, as a keyboard would.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "keyboard.h"

namespace vrp {
namespace {

// Presses and releases the key that gives `sym`, with Shift when the key
// gives it only shifted. Characters with no key on the layout are skipped.
void press(Display* d, KeySym sym) {
    KeyCode code = XKeysymToKeycode(d, sym);
    if (code == 0) {
        return;
    }
    bool shift =
        XkbKeycodeToKeysym(d, code, 0, 0) != sym && XkbKeycodeToKeysym(d, code, 0, 1) == sym;
    KeyCode shift_code = XKeysymToKeycode(d, XK_Shift_L);
    if (shift && shift_code != 0) {
        XTestFakeKeyEvent(d, shift_code, True, CurrentTime);
    }
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    if (shift && shift_code != 0) {
        XTestFakeKeyEvent(d, shift_code, False, CurrentTime);
    }
}

}  // namespace

bool type_on_display(const std::string& keys) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        return false;
    }
    Display* d = XOpenDisplay(name);
    if (d == nullptr) {
        return false;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &event, &error, &major, &minor)) {
        XCloseDisplay(d);
        return false;
    }
    for (char c : keys) {
        auto byte = static_cast<unsigned char>(c);
        // Printable Latin-1 characters are their own key symbols.
        press(d, c == '\r' ? XK_Return : static_cast<KeySym>(byte));
    }
    XSync(d, False);
    XCloseDisplay(d);
    return true;
}

}  // namespace vrp
