#pragma once
// The Bluetooth audio devices that BlueZ knows, from its object manager on
// the system bus.
//
// Threads: listBluetooth() may be called from any thread; calls are
// serialised. The bus is read only inside listBluetooth(): BlueZ's signals
// (devices added, removed, connecting, battery changes) that arrived
// meanwhile are applied before each answer, so an idle service never wakes
// up.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "protocol/CLIResponse.h"

namespace kestrune::daemon::bluetooth {

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

  class Impl;

 private:
  std::mutex mutex_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrune::daemon::bluetooth
