// A mouse and a keyboard for a Wayland desktop with no input devices: moves,
// clicks, turns the wheel and presses keys through the compositor's virtual
// pointer and virtual keyboard protocols, so that what is under the pointer
// (a bar, a window) or has the focus gets the events a person's gives.
//
//   virtual_input WIDTH HEIGHT ACTION...
//     move:X,Y     to that point of the WIDTH x HEIGHT layout
//     click:BUTTON left, middle or right: pressed and released
//     wheel:N      N notches, negative up
//     key:KEY      escape: pressed and released
//   virtual_input WIDTH HEIGHT -
//     a keyboard at once ("ready" on standard output), then the actions of
//     standard input, one a line, each answered "ok" once the compositor has
//     it, or "failed", until its end
// Each device is made at its first use. A keyboard that comes and goes takes
// the focus with it, as a person's unplugged one does: a desktop keeps one
// for its session. Status 0 when every action was sent; 2 for bad arguments;
// 1 when the compositor or its protocol is missing.

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "virtual-keyboard-client.h"
#include "virtual-pointer-client.h"

namespace {

struct DisplayClose {
  void operator()(wl_display* display) const { wl_display_disconnect(display); }
};
struct RegistryDestroy {
  void operator()(wl_registry* registry) const { wl_registry_destroy(registry); }
};
struct SeatDestroy {
  void operator()(wl_seat* seat) const { wl_seat_destroy(seat); }
};
struct PointerManagerDestroy {
  void operator()(zwlr_virtual_pointer_manager_v1* manager) const {
    zwlr_virtual_pointer_manager_v1_destroy(manager);
  }
};
struct PointerDestroy {
  void operator()(zwlr_virtual_pointer_v1* pointer) const {
    zwlr_virtual_pointer_v1_destroy(pointer);
  }
};
struct KeyboardManagerDestroy {
  void operator()(zwp_virtual_keyboard_manager_v1* manager) const {
    zwp_virtual_keyboard_manager_v1_destroy(manager);
  }
};
struct KeyboardDestroy {
  void operator()(zwp_virtual_keyboard_v1* keyboard) const {
    zwp_virtual_keyboard_v1_destroy(keyboard);
  }
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// What the compositor offers.
struct Globals {
  std::unique_ptr<zwlr_virtual_pointer_manager_v1, PointerManagerDestroy> pointers;
  std::unique_ptr<zwp_virtual_keyboard_manager_v1, KeyboardManagerDestroy> keyboards;
  std::unique_ptr<wl_seat, SeatDestroy> seat;
};

// Wheel distance per notch, as libinput reports a mouse wheel.
constexpr double wheelDistancePerNotch = 15;

// The keys the tests press and nothing else; xkb numbers a key 8 above
// Linux's code for it.
constexpr std::string_view keymap = R"(xkb_keymap {
  xkb_keycodes "tests" { minimum = 8; maximum = 255; <ESC> = 9; };
  xkb_types "tests" { type "ONE_LEVEL" { modifiers = none; level_name[Level1] = "Any"; }; };
  xkb_compatibility "tests" { };
  xkb_symbols "tests" { key <ESC> { [ Escape ] }; };
};
)";

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t /*version*/) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    globals->pointers.reset(static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1)));
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals->keyboards.reset(static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1)));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
    globals->seat.reset(
        static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1)));
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

// The devices, each made when an action first needs it.
class Devices {
 public:
  explicit Devices(const Globals& globals) : globals_(globals) {}

  // Null when the compositor has no virtual pointers.
  zwlr_virtual_pointer_v1* pointer() {
    if (!pointer_ && globals_.pointers) {
      pointer_.reset(
          zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals_.pointers.get(), nullptr));
    }
    return pointer_.get();
  }

  // Null when the compositor has no virtual keyboards or the keymap could
  // not be handed over.
  zwp_virtual_keyboard_v1* keyboard() {
    if (keyboard_ || !globals_.keyboards || !globals_.seat) {
      return keyboard_.get();
    }
    // The compositor reads it as a string: its terminating NUL included.
    const std::size_t size = keymap.size() + 1;
    const FileDescriptor file(memfd_create("keymap", MFD_CLOEXEC));
    if (file.get() < 0 || write(file.get(), keymap.data(), size) != static_cast<ssize_t>(size)) {
      return nullptr;
    }
    keyboard_.reset(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
        globals_.keyboards.get(), globals_.seat.get()));
    // Sent with a copy of the descriptor: this one can close.
    zwp_virtual_keyboard_v1_keymap(keyboard_.get(), WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.get(),
                                   static_cast<uint32_t>(size));
    return keyboard_.get();
  }

 private:
  const Globals& globals_;
  std::unique_ptr<zwlr_virtual_pointer_v1, PointerDestroy> pointer_;
  std::unique_ptr<zwp_virtual_keyboard_v1, KeyboardDestroy> keyboard_;
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

bool key(zwp_virtual_keyboard_v1* keyboard, std::string_view name) {
  if (name != "escape") {
    return false;
  }
  const uint32_t code = KEY_ESC;
  zwp_virtual_keyboard_v1_key(keyboard, now(), code, WL_KEYBOARD_KEY_STATE_PRESSED);
  zwp_virtual_keyboard_v1_key(keyboard, now(), code, WL_KEYBOARD_KEY_STATE_RELEASED);
  return true;
}

enum class Outcome { done, badAction, noDevice, compositorGone };

Outcome outcome(bool sent) {
  return sent ? Outcome::done : Outcome::badAction;
}

Outcome act(Devices& devices, const Layout& layout, std::string_view action) {
  const std::size_t colon = action.find(':');
  if (colon == std::string_view::npos) {
    return Outcome::badAction;
  }
  const std::string_view verb = action.substr(0, colon);
  const std::string_view argument = action.substr(colon + 1);
  if (verb == "key") {
    zwp_virtual_keyboard_v1* keyboard = devices.keyboard();
    return keyboard == nullptr ? Outcome::noDevice : outcome(key(keyboard, argument));
  }
  if (verb != "move" && verb != "click" && verb != "wheel") {
    return Outcome::badAction;
  }
  zwlr_virtual_pointer_v1* pointer = devices.pointer();
  if (pointer == nullptr) {
    return Outcome::noDevice;
  }
  if (verb == "move") {
    return outcome(move(pointer, layout, argument));
  }
  return outcome(verb == "click" ? click(pointer, argument) : wheel(pointer, argument));
}

// One action, with what the compositor sends on, done before the next.
Outcome perform(wl_display* display, Devices& devices, const Layout& layout,
                std::string_view action) {
  const Outcome done = act(devices, layout, action);
  if (done == Outcome::done && wl_display_roundtrip(display) < 0) {
    return Outcome::compositorGone;
  }
  return done;
}

int performArguments(wl_display* display, Devices& devices, const Layout& layout, int argc,
                     char** argv) {
  for (int i = 3; i < argc; ++i) {
    switch (perform(display, devices, layout, argv[i])) {
      case Outcome::done:
        break;
      case Outcome::badAction:
        std::cerr << "virtual_input: cannot do \"" << argv[i] << "\"\n";
        return 2;
      case Outcome::noDevice:
        std::cerr << "virtual_input: the compositor has no device for \"" << argv[i] << "\"\n";
        return 1;
      case Outcome::compositorGone:
        std::cerr << "virtual_input: the compositor went away\n";
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return 0;
}

int performInput(wl_display* display, Devices& devices, const Layout& layout) {
  if (devices.keyboard() == nullptr || wl_display_roundtrip(display) < 0) {
    std::cerr << "virtual_input: the compositor has no virtual keyboards\n";
    return 1;
  }
  std::cout << "ready" << std::endl;
  std::string action;
  while (std::getline(std::cin, action)) {
    const bool done = perform(display, devices, layout, action) == Outcome::done;
    std::cout << (done ? "ok" : "failed") << std::endl;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Layout layout;
  if (argc < 4 || !parseInt(argv[1], layout.width) || !parseInt(argv[2], layout.height) ||
      layout.width <= 0 || layout.height <= 0) {
    std::cerr << "usage: virtual_input WIDTH HEIGHT move:X,Y|click:BUTTON|wheel:N|key:KEY...|-\n";
    return 2;
  }
  const std::unique_ptr<wl_display, DisplayClose> display(wl_display_connect(nullptr));
  if (!display) {
    std::cerr << "virtual_input: no Wayland display\n";
    return 1;
  }
  Globals globals;
  const std::unique_ptr<wl_registry, RegistryDestroy> registry(
      wl_display_get_registry(display.get()));
  if (wl_registry_add_listener(registry.get(), &registryListener, &globals) != 0 ||
      wl_display_roundtrip(display.get()) < 0) {
    std::cerr << "virtual_input: the compositor did not answer\n";
    return 1;
  }
  Devices devices(globals);
  if (std::string_view(argv[3]) == "-") {
    return performInput(display.get(), devices, layout);
  }
  return performArguments(display.get(), devices, layout, argc, argv);
}
