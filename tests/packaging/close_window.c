/* close-window TITLE SECONDS: waits up to SECONDS for a mapped top-level window named TITLE on the
   X display, prints its id and size, and asks it to close the way a window manager does (a
   WM_DELETE_WINDOW message). Exit status 0 when the message was sent, 1 when no such window came,
   2 on bad usage or no display. Used by the package checks, where there is no window manager. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int nameIs(Display* display, Window window, const char* title) {
  char* name = NULL;
  int same = XFetchName(display, window, &name) && name != NULL && strcmp(name, title) == 0;
  if (name != NULL) XFree(name);
  return same;
}

/* GLFW windows are children of the root window when no window manager reparents them. */
static Window findWindow(Display* display, const char* title, int* width, int* height) {
  Window root = DefaultRootWindow(display), parent, *children = NULL, found = 0;
  unsigned int count = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
        nameIs(display, children[i], title)) {
      found = children[i];
      *width = attributes.width;
      *height = attributes.height;
    }
  }
  if (children != NULL) XFree(children);
  return found;
}

int main(int argc, char** argv) {
  if (argc != 3 || atof(argv[2]) <= 0) {
    fprintf(stderr, "usage: close-window TITLE SECONDS\n");
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "close-window: cannot open the X display\n");
    return 2;
  }
  const double limit = atof(argv[2]);
  const struct timespec pause = {0, 50 * 1000 * 1000};
  int width = 0, height = 0;
  Window window = 0;
  for (double waited = 0; window == 0 && waited < limit; waited += 0.05) {
    window = findWindow(display, argv[1], &width, &height);
    if (window == 0) nanosleep(&pause, NULL);
  }
  if (window == 0) {
    fprintf(stderr, "close-window: no window named \"%s\" within %s s\n", argv[1], argv[2]);
    return 1;
  }
  printf("0x%lx %dx%d\n", (unsigned long)window, width, height);
  XEvent event;
  memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XCloseDisplay(display);
  return 0;
}
