#pragma once
// The Bluetooth audio devices that BlueZ knows, from its object manager on
// the system bus.
//
// Threads: listBluetooth() may be called from any thread; calls are
// serialised. Without follow(), the bus is read only inside listBluetooth():
// BlueZ's signals (devices added, removed, connecting, battery changes) that
// arrived meanwhile are applied before each answer, so an idle service never
// wakes up. With follow(), a thread of the service's own reads them as they
// arrive (under the same lock as the answers), and sleeps while the bus is
// quiet.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "daemon/dbus/Watch.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon::bluetooth {

// Why the list cannot be told: BlueZ, or the system bus, is absent.
inline constexpr const char* blueZAbsent = "Bluetooth is unavailable: BlueZ is not running.";
// BlueZ is there but does not answer.
inline constexpr const char* blueZSilent = "Bluetooth is unavailable: BlueZ did not answer.";

// The connected audio devices, as listBluetooth would answer them.
struct BluetoothList {
  std::vector<CLIBluetoothInfo> devices;
  // Set (to blueZAbsent or blueZSilent) while the list cannot be read.
  std::optional<std::string> unavailable;

  friend bool operator==(const BluetoothList& a, const BluetoothList& b);
};

using BluetoothObserver = std::function<void(const BluetoothList&)>;

class BluetoothService {
 public:
  struct Options {
    // The bus to use; the system bus (DBUS_SYSTEM_BUS_ADDRESS, else the
    // standard socket) when absent.
    std::optional<std::string> busAddress;
    // The longest one answer takes, whatever BlueZ does.
    std::chrono::milliseconds answerTime{1800};
  };

  // Connects without waiting for the bus; never throws.
  BluetoothService();
  explicit BluetoothService(Options options);
  ~BluetoothService();
  BluetoothService(const BluetoothService&) = delete;
  BluetoothService& operator=(const BluetoothService&) = delete;

  // The answer to listBluetooth: the connected audio devices, or success
  // false when BlueZ (or the system bus) is unavailable.
  CLIResponse listBluetooth();

  // Starts following the list: the observer gets it once BlueZ has given
  // it (or is known absent), then each time it changes (a device added,
  // removed, connected or disconnected, a battery level, BlueZ or the
  // system bus going or coming back). It is called on the service's own
  // thread, never with the service's lock held, and never after the
  // service's destructor has returned. Returns false when already following
  // or when the thread cannot be started.
  bool follow(BluetoothObserver observer);
  // How many times the following thread has woken up (for tests: a quiet
  // bus must leave it asleep).
  std::uint64_t followWakeUps() const;

  class Impl;

 private:
  dbus::FollowedService<Impl, BluetoothList> service_;
};

}  // namespace kestrune::daemon::bluetooth
