/* Asks a window to close the way a window manager's close button does: a WM_DELETE_WINDOW client
 * message. scripts/check-fresh builds it inside the fresh root to end `make run`.
 * Usage: close-window WINDOW_ID (decimal, or hexadecimal with 0x, as xdotool prints it) */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    fprintf(stderr, "usage: close-window WINDOW_ID\n");
    return 2;
  }
  char* end = NULL;
  unsigned long window = strtoul(argv[1], &end, 0);
  if (*end != '\0' || window == 0) {
    fprintf(stderr, "close-window: not a window id: %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "close-window: cannot open the display\n");
    return 1;
  }
  XEvent event = {0};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  /* A window that no longer exists ends the program here through Xlib's error handler (status 1). */
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
