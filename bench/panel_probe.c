/*
 * Watches an X display for a top-level window titled "Kestrune" being mapped
 * and unmapped, for bench/panel_bench.sh (run without a window manager, so
 * that the panel's window is a child of the root window).
 *
 *   panel_probe
 *       Prints one line per change, "map US" or "unmap US", US being
 *       CLOCK_REALTIME in microseconds (the clock of bash's EPOCHREALTIME),
 *       flushed at once. Runs until killed.
 */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static long long now_us(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return (long long)t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

/* A window may be gone by the time its title is asked for. */
static int ignore_error(Display* display, XErrorEvent* error) {
  (void)display;
  (void)error;
  return 0;
}

static int is_panel(Display* display, Window window) {
  char* name = NULL;
  int found = 0;
  if (XFetchName(display, window, &name) && name != NULL) {
    found = strcmp(name, "Kestrune") == 0;
    XFree(name);
  }
  return found;
}

int main(void) {
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "panel_probe: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(ignore_error);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  printf("ready %lld\n", now_us());
  fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    const long long at = now_us();
    if (event.type == MapNotify && is_panel(display, event.xmap.window)) {
      printf("map %lld\n", at);
    } else if (event.type == UnmapNotify && is_panel(display, event.xunmap.window)) {
      printf("unmap %lld\n", at);
    } else {
      continue;
    }
    if (fflush(stdout) != 0) {
      return 1;
    }
  }
}
