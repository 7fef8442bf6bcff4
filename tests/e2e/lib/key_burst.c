/* Presses and releases a key N times as fast as the server takes them (XTest), as a stuck
   or scripted keyboard does. Usage: key_burst <keysym-name> <count>. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

/* From libXtst, whose headers need not be installed. */
int XTestFakeKeyEvent(Display* display, unsigned int keycode, Bool press, unsigned long delay);

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: key_burst <keysym-name> <count>\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "key_burst: cannot open the display\n");
        return 1;
    }
    KeyCode key = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
    for (long i = strtol(argv[2], NULL, 10); i > 0; --i) {
        XTestFakeKeyEvent(display, key, True, 0);
        XTestFakeKeyEvent(display, key, False, 0);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
