/* Presses and releases a key N times as fast as the server takes them (XTest, whose
   headers need not be installed). Usage: key_burst <keysym-name> <count>. */
#include <X11/Xlib.h>
#include <stdlib.h>

int XTestFakeKeyEvent(Display* display, unsigned int keycode, Bool press, unsigned long delay);

int main(int argc, char** argv) {
    Display* display = argc == 3 ? XOpenDisplay(NULL) : NULL;
    if (!display)
        return 1;
    KeyCode key = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
    for (long i = strtol(argv[2], NULL, 10); i > 0; --i) {
        XTestFakeKeyEvent(display, key, True, 0);
        XTestFakeKeyEvent(display, key, False, 0);
    }
    XCloseDisplay(display);
    return 0;
}
