// A mouse for a Wayland desktop with no input devices: moves, clicks and
// turns the wheel through the compositor's virtual pointer protocol, so that
// what is under it (a bar, a window) gets the events a person's mouse gives.
//
//   virtual_pointer WIDTH HEIGHT ACTION...
//     move:X,Y     to that point of the WIDTH x HEIGHT layout
//     click:BUTTON left, middle or right: pressed and released
//     wheel:N      N notches, negative up
// Status 0 when every action was sent; 2 for bad arguments; 1 when the
// compositor or its protocol is missing.

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "virtual-pointer-client.h"

namespace {

struct DisplayClose {
  void operator()(wl_display* display) const { wl_display_disconnect(display); }
};
struct RegistryDestroy {
  void operator()(wl_registry* registry) const { wl_registry_destroy(registry); }
};
struct ManagerDestroy {
  void operator()(zwlr_virtual_pointer_manager_v1* manager) const {
    zwlr_virtual_pointer_manager_v1_destroy(manager);
  }
};
struct PointerDestroy {
  void operator()(zwlr_virtual_pointer_v1* pointer) const {
    zwlr_virtual_pointer_v1_destroy(pointer);
  }
};

using Manager = std::unique_ptr<zwlr_virtual_pointer_manager_v1, ManagerDestroy>;

// Wheel distance per notch, as libinput reports a mouse wheel.
constexpr double wheelDistancePerNotch = 15;

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t /*version*/) {
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    static_cast<Manager*>(data)->reset(static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1)));
  }
}

void withdraw(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}

constexpr wl_registry_listener registryListener{announce, withdraw};

uint32_t now() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

bool parseInt(std::string_view text, int& value) {
  const std::string copy(text);
  char* end = nullptr;
  const long parsed = std::strtol(copy.c_str(), &end, 10);
  if (copy.empty() || *end != '\0') {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

struct Layout {
  int width = 0;
  int height = 0;
};

bool move(zwlr_virtual_pointer_v1* pointer, const Layout& layout, std::string_view where) {
  const std::size_t comma = where.find(',');
  int x = 0;
  int y = 0;
  if (comma == std::string_view::npos || !parseInt(where.substr(0, comma), x) ||
      !parseInt(where.substr(comma + 1), y) || x < 0 || y < 0) {
    return false;
  }
  zwlr_virtual_pointer_v1_motion_absolute(
      pointer, now(), static_cast<uint32_t>(x), static_cast<uint32_t>(y),
      static_cast<uint32_t>(layout.width), static_cast<uint32_t>(layout.height));
  zwlr_virtual_pointer_v1_frame(pointer);
  return true;
}

bool click(zwlr_virtual_pointer_v1* pointer, std::string_view name) {
  uint32_t button = 0;
  if (name == "left") {
    button = BTN_LEFT;
  } else if (name == "middle") {
    button = BTN_MIDDLE;
  } else if (name == "right") {
    button = BTN_RIGHT;
  } else {
    return false;
  }
  zwlr_virtual_pointer_v1_button(pointer, now(), button, WL_POINTER_BUTTON_STATE_PRESSED);
  zwlr_virtual_pointer_v1_frame(pointer);
  zwlr_virtual_pointer_v1_button(pointer, now(), button, WL_POINTER_BUTTON_STATE_RELEASED);
  zwlr_virtual_pointer_v1_frame(pointer);
  return true;
}

bool wheel(zwlr_virtual_pointer_v1* pointer, std::string_view notches) {
  int count = 0;
  if (!parseInt(notches, count) || count == 0) {
    return false;
  }
  const int direction = count < 0 ? -1 : 1;
  for (int notch = 0; notch != count; notch += direction) {
    zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(pointer, now(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                          wl_fixed_from_double(direction * wheelDistancePerNotch),
                                          direction);
    zwlr_virtual_pointer_v1_frame(pointer);
  }
  return true;
}

bool act(zwlr_virtual_pointer_v1* pointer, const Layout& layout, std::string_view action) {
  const std::size_t colon = action.find(':');
  if (colon == std::string_view::npos) {
    return false;
  }
  const std::string_view verb = action.substr(0, colon);
  const std::string_view argument = action.substr(colon + 1);
  if (verb == "move") {
    return move(pointer, layout, argument);
  }
  if (verb == "click") {
    return click(pointer, argument);
  }
  return verb == "wheel" && wheel(pointer, argument);
}

}  // namespace

int main(int argc, char** argv) {
  Layout layout;
  if (argc < 4 || !parseInt(argv[1], layout.width) || !parseInt(argv[2], layout.height) ||
      layout.width <= 0 || layout.height <= 0) {
    std::fputs("usage: virtual_pointer WIDTH HEIGHT move:X,Y|click:BUTTON|wheel:N...\n", stderr);
    return 2;
  }
  const std::unique_ptr<wl_display, DisplayClose> display(wl_display_connect(nullptr));
  if (!display) {
    std::fputs("virtual_pointer: no Wayland display\n", stderr);
    return 1;
  }
  Manager manager;
  const std::unique_ptr<wl_registry, RegistryDestroy> registry(
      wl_display_get_registry(display.get()));
  if (wl_registry_add_listener(registry.get(), &registryListener, &manager) != 0 ||
      wl_display_roundtrip(display.get()) < 0 || !manager) {
    std::fputs("virtual_pointer: the compositor has no virtual pointers\n", stderr);
    return 1;
  }
  const std::unique_ptr<zwlr_virtual_pointer_v1, PointerDestroy> pointer(
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager.get(), nullptr));
  for (int i = 3; i < argc; ++i) {
    if (!act(pointer.get(), layout, argv[i])) {
      std::fprintf(stderr, "virtual_pointer: cannot do \"%s\"\n", argv[i]);
      return 2;
    }
    // Each action reaches the compositor, and what it sends on, before the next.
    if (wl_display_roundtrip(display.get()) < 0) {
      std::fputs("virtual_pointer: the compositor went away\n", stderr);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return 0;
}
