#include "daemon/bluetooth/BluetoothService.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "daemon/bluetooth/Devices.h"
#include "daemon/dbus/Bus.h"
#include "daemon/dbus/Watch.h"

namespace kestrune::daemon::bluetooth {

namespace {

using dbus::Clock;

const char* bluez = "org.bluez";
const char* busDaemon = "org.freedesktop.DBus";
const char* objectManager = "org.freedesktop.DBus.ObjectManager";

// While the system bus is absent (or BlueZ does not answer), the following
// thread tries again after these pauses, doubling from the first to the
// last.
constexpr std::chrono::milliseconds firstRetry{100};
constexpr std::chrono::milliseconds lastRetry{5000};

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

std::string unavailableBecause(const dbus::Error& error) {
  return "Bluetooth is unavailable: " + error.message + ".";
}

bool sameDevice(const CLIBluetoothInfo& a, const CLIBluetoothInfo& b) {
  return std::tie(a.name, a.batteryLevel, a.isConnected) ==
         std::tie(b.name, b.batteryLevel, b.isConnected);
}

BluetoothList absent() {
  return BluetoothList{{}, blueZAbsent};
}

// Without the bus, the feed says what a one-shot answer says.
BluetoothList unreachable(const std::optional<dbus::Error>& connectError) {
  return connectError ? BluetoothList{{}, unavailableBecause(*connectError)} : absent();
}

}  // namespace

bool operator==(const BluetoothList& a, const BluetoothList& b) {
  return a.unavailable == b.unavailable &&
         std::equal(a.devices.begin(), a.devices.end(), b.devices.begin(), b.devices.end(),
                    sameDevice);
}

class BluetoothService::Impl {
 public:
  explicit Impl(Options options) : options_(std::move(options)) { connectError_ = connect(); }

  // One round of following: connects if needed (after a pause while the
  // bus is absent), applies what BlueZ said, and tells the list once BlueZ
  // has given it. Returns what to wait for next.
  dbus::Wait follow(std::optional<BluetoothList>& now) {
    const dbus::Wait wait = loop_.round(bus_, connectError_);
    if (!wait.bus) {
      now = unreachable(connectError_);
    } else if (loaded_) {
      now = currentList();
    }
    return wait;
  }

  CLIResponse listBluetooth() {
    const Clock::time_point deadline = Clock::now() + options_.answerTime;
    if (auto problem = prepare(deadline)) {
      return failure(std::move(*problem));
    }
    if (timedOut_) {
      return failure(blueZSilent);
    }
    if (!present_) {
      return failure(blueZAbsent);
    }
    return CLIResponse{true,
                       CLIResponseData{CLIResponseData::Bluetooth{connectedAudioDevices(tree_)}},
                       std::nullopt, std::nullopt};
  }

 private:
  std::optional<dbus::Error> connect() {
    auto bus =
        options_.busAddress ? dbus::Bus::atAddress(*options_.busAddress) : dbus::Bus::system();
    if (!bus) {
      return bus.error();
    }
    bus_.emplace(std::move(bus).value());
    const std::vector<std::pair<std::string, dbus::Bus::SignalHandler>> matches = {
        {dbus::signalRule({{"sender", busDaemon},
                           {"interface", busDaemon},
                           {"member", "NameOwnerChanged"},
                           {"arg0", bluez}}),
         [this](dbus::Message& signal) { onOwnerChanged(signal); }},
        {dbus::signalRule({{"sender", bluez}, {"interface", objectManager}}),
         [this](dbus::Message& signal) { onObjectManager(signal); }},
        {dbus::signalRule({{"sender", bluez},
                           {"interface", "org.freedesktop.DBus.Properties"},
                           {"member", "PropertiesChanged"},
                           {"path_namespace", "/org/bluez"}}),
         [this](dbus::Message& signal) { onPropertiesChanged(signal); }},
    };
    for (const auto& [rule, handler] : matches) {
      auto slot = bus_->matchSignal(rule, handler);
      if (!slot) {
        disconnect();
        return slot.error();
      }
      matches_.push_back(std::move(slot).value());
    }
    fetch();
    return std::nullopt;
  }

  void disconnect() {
    matches_.clear();
    fetching_.reset();
    tree_.clear();
    loaded_ = false;
    present_ = false;
    timedOut_ = false;
    bus_.reset();
  }

  // Asks BlueZ for all its objects, without starting it if it is not
  // running.
  void fetch() {
    loaded_ = false;
    dbus::MethodCall call{bluez, "/", objectManager, "GetManagedObjects", {}};
    call.autoStart = false;
    auto slot = bus_->callAsync(call, options_.answerTime,
                                [this](dbus::Result<dbus::Message> reply) { onObjects(reply); });
    if (!slot) {
      loaded_ = true;
      present_ = false;
      return;
    }
    fetching_ = std::move(slot).value();
  }

  void onObjects(dbus::Result<dbus::Message>& reply) {
    loaded_ = true;
    fetching_.reset();
    timedOut_ = !reply && reply.error().timedOut();
    if (!reply) {
      // Not running (no owner), or not answering: either way there is
      // nothing to list; the next answer asks again.
      present_ = false;
      tree_.clear();
      return;
    }
    auto objects = dbus::firstArgument(reply.value());
    present_ = objects.ok();
    tree_ = objects ? objectTree(objects.value()) : ObjectTree{};
  }

  void onOwnerChanged(dbus::Message& signal) {
    auto values = signal.readAll();
    if (!values || values->size() < 3) {
      return;
    }
    tree_.clear();
    present_ = false;
    if (auto newOwner = (*values)[2].string(); newOwner && !newOwner->empty()) {
      fetch();
    } else {
      loaded_ = true;
    }
  }

  void onObjectManager(dbus::Message& signal) {
    if (!loaded_) {
      return;  // the listing on its way covers it
    }
    auto values = signal.readAll();
    if (!values || values->size() < 2) {
      return;
    }
    auto path = (*values)[0].string();
    if (!path) {
      return;
    }
    if (signal.member() == "InterfacesAdded") {
      for (auto& [name, properties] : interfaces((*values)[1])) {
        tree_[*path][name] = std::move(properties);
      }
    } else if (signal.member() == "InterfacesRemoved") {
      const auto object = tree_.find(*path);
      if (object == tree_.end()) {
        return;
      }
      for (const std::string& name : (*values)[1].strings()) {
        object->second.erase(name);
      }
      if (object->second.empty()) {
        tree_.erase(object);
      }
    }
  }

  void onPropertiesChanged(dbus::Message& signal) {
    if (!loaded_) {
      return;
    }
    auto values = signal.readAll();
    if (!values || values->size() < 2) {
      return;
    }
    const auto object = tree_.find(signal.path());
    auto interfaceName = (*values)[0].string();
    if (object == tree_.end() || !interfaceName) {
      return;
    }
    auto& properties = object->second[*interfaceName];
    if (const auto* changed = (*values)[1].dict()) {
      for (const auto& [name, value] : *changed) {
        properties[name] = value;
      }
    }
    if (values->size() >= 3) {
      for (const std::string& name : (*values)[2].strings()) {
        properties.erase(name);
      }
    }
  }

  BluetoothList currentList() const {
    if (timedOut_) {
      return BluetoothList{{}, blueZSilent};
    }
    if (!present_) {
      return absent();
    }
    return BluetoothList{connectedAudioDevices(tree_), std::nullopt};
  }

  // BlueZ that did not answer is asked again now and then (it may have been
  // busy); absent BlueZ announces its return by taking its name. Returns
  // when to ask next, if it is to be asked.
  std::optional<Clock::time_point> askAgainIfSilent() {
    dbus::Backoff& backoff = loop_.backoff();
    if (!(loaded_ && timedOut_)) {
      if (loaded_) {
        backoff.reset();
      }
      return std::nullopt;
    }
    if (backoff.pausing()) {
      return backoff.next();
    }
    fetch();  // its own timeout wakes the thread
    backoff.failed();
    return std::nullopt;
  }

  // Connects if needed and applies what BlueZ said since the last answer.
  // A connection found broken is made again once (the bus may have been
  // restarted). Returns why the list cannot be given, if it cannot.
  std::optional<std::string> prepare(Clock::time_point deadline) {
    for (int attempt = 0;; ++attempt) {
      if (!loop_.connected(bus_, connectError_)) {
        return unavailableBecause(*connectError_);
      }
      auto processed = bus_->processPending();
      if (processed && loaded_ && !present_ && !fetching_) {
        fetch();  // after a failed listing; absent BlueZ answers at once
      }
      while (processed && !loaded_) {
        if (Clock::now() >= deadline) {
          return std::string("Bluetooth is unavailable: BlueZ did not answer.");
        }
        processed = bus_->waitUntil(deadline);
      }
      if (processed) {
        return std::nullopt;
      }
      disconnect();
      if (attempt > 0) {
        return unavailableBecause(processed.error());
      }
    }
  }

  Options options_;
  std::optional<dbus::Error> connectError_;
  std::optional<dbus::Bus> bus_;
  // Registered with bus_, so declared after it.
  std::vector<dbus::Slot> matches_;
  dbus::Slot fetching_;
  ObjectTree tree_;
  bool loaded_ = false;    // tree_ is BlueZ's current view (or BlueZ is absent)
  bool present_ = false;   // BlueZ answered
  bool timedOut_ = false;  // BlueZ is there but did not answer
  // The following thread's rounds, and its pause before it connects, or
  // asks a silent BlueZ, again.
  dbus::FollowLoop loop_{
      dbus::Backoff{firstRetry, lastRetry}, "lost the system bus",
      dbus::FollowLoop::Service{[this] { return connect(); }, [this] { disconnect(); },
                                [this](bool processed) {
                                  return processed ? askAgainIfSilent()
                                                   : std::optional<Clock::time_point>{};
                                }}};
};

BluetoothService::BluetoothService() : BluetoothService(Options{}) {}

BluetoothService::BluetoothService(Options options)
    : service_("kestruned-bluez", absent(), std::move(options)) {}

BluetoothService::~BluetoothService() = default;

bool BluetoothService::follow(BluetoothObserver observer) {
  return service_.follow(std::move(observer));
}

std::uint64_t BluetoothService::followWakeUps() const {
  return service_.wakeUps();
}

CLIResponse BluetoothService::listBluetooth() {
  return service_.use([](Impl* impl) {
    if (impl == nullptr) {
      return failure("Bluetooth is unavailable.");
    }
    try {
      return impl->listBluetooth();
    } catch (const std::exception& error) {
      return failure(std::string("Bluetooth is unavailable: ") + error.what());
    }
  });
}

}  // namespace kestrune::daemon::bluetooth
