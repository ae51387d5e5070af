// The Bluetooth list against BlueZ's interface as python-dbusmock's bluez5
// template provides it, on a private bus given as the system bus.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "daemon/bluetooth/BluetoothService.h"
#include "daemon/dbus/Peers.h"
#include "support/Requirements.h"

namespace kestrune::daemon::bluetooth {
namespace {

using kestrune::testing::BackgroundProcess;
using kestrune::testing::eventually;
using kestrune::testing::PrivateBus;
using kestrune::testing::runCommand;

// name, battery (-1: none) of each listed device.
std::vector<std::pair<std::string, int>> listed(const CLIResponse& response) {
  std::vector<std::pair<std::string, int>> devices;
  if (!response.data) {
    return devices;
  }
  if (const auto* list = std::get_if<CLIResponseData::Bluetooth>(&response.data->value)) {
    for (const auto& device : list->value) {
      EXPECT_TRUE(device.isConnected) << device.name;
      devices.emplace_back(device.name, static_cast<int>(device.batteryLevel.value_or(-1)));
    }
  }
  return devices;
}

using Devices = std::vector<std::pair<std::string, int>>;

// What a follower was told, in order; read from the test's thread.
class Reports {
 public:
  BluetoothObserver observer() {
    return [this](const BluetoothList& report) {
      const std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back(report);
    };
  }

  std::optional<BluetoothList> latest() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return reports_.empty() ? std::nullopt : std::optional<BluetoothList>(reports_.back());
  }

  // Whether the latest report comes to list `devices`.
  bool come(const Devices& devices) const {
    return eventually([&] {
      const auto report = latest();
      return report && !report->unavailable && named(*report) == devices;
    });
  }

  // Whether the latest report comes to say the list is unavailable, why.
  bool comeUnavailable(const std::string& why = blueZAbsent) const {
    return eventually([&] {
      const auto report = latest();
      return report && report->unavailable == why && report->devices.empty();
    });
  }

  std::string latestText() const {
    const auto report = latest();
    if (!report) {
      return "no report";
    }
    return report->unavailable.value_or(::testing::PrintToString(named(*report)));
  }

 private:
  static Devices named(const BluetoothList& report) {
    Devices devices;
    for (const auto& device : report.devices) {
      devices.emplace_back(device.name, static_cast<int>(device.batteryLevel.value_or(-1)));
    }
    return devices;
  }

  mutable std::mutex mutex_;
  std::vector<BluetoothList> reports_;
};

class BluetoothServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRUNE_SKIP_UNLESS_INSTALLED(testing_support::bluezMockTools()); }

  BluetoothService::Options options() const {
    BluetoothService::Options options;
    options.busAddress = bus_.address();
    return options;
  }

  std::string systemBus() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address(); }

  BackgroundProcess startBlueZ() {
    BackgroundProcess mock({"/usr/bin/python3", "-m", "dbusmock", "--template", "bluez5"},
                           {systemBus()});
    EXPECT_TRUE(eventually([&] {
      return runCommand({"/usr/bin/busctl", "--address=" + bus_.address(), "status", "org.bluez"},
                        {}, std::chrono::seconds(1))
                 .status == 0;
    })) << "the BlueZ mock did not appear";
    return mock;
  }

  void devices(const std::string& action) const {
    const auto result =
        runCommand({"/usr/bin/python3",
                    KESTRUNE_SOURCE_DIR "/tests/daemon/bluetooth/bluez_devices.py", action},
                   {systemBus()});
    ASSERT_EQ(result.status, 0) << action;
  }

  PrivateBus bus_;
};

TEST_F(BluetoothServiceTest, ListsConnectedAudioDevicesWithTheirBatteries) {
  auto bluez = startBlueZ();
  devices("setup");
  BluetoothService bluetooth(options());
  const CLIResponse response = bluetooth.listBluetooth();
  ASSERT_TRUE(response.success) << response.error.value_or("");
  // The earbuds are not connected and the mouse is no audio device.
  EXPECT_EQ(listed(response), (Devices{{"Studio Headset", 80}, {"Desk Speaker", -1}}));

  // Changes arrive through BlueZ's signals.
  devices("change");
  EXPECT_TRUE(eventually([&] {
    return listed(bluetooth.listBluetooth()) ==
           Devices{{"Studio Headset", 55}, {"Travel Earbuds", 60}};
  })) << "last: "
      << ::testing::PrintToString(listed(bluetooth.listBluetooth()));
}

TEST_F(BluetoothServiceTest, WithoutBlueZTheListFailsWithAReason) {
  BluetoothService bluetooth(options());
  CLIResponse response = bluetooth.listBluetooth();
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.error, "Bluetooth is unavailable: BlueZ is not running.");

  // BlueZ starting later is noticed, and so is its leaving.
  {
    auto bluez = startBlueZ();
    devices("setup");
    EXPECT_TRUE(eventually([&] { return listed(bluetooth.listBluetooth()).size() == 2; }));
  }
  EXPECT_TRUE(eventually([&] {
    return bluetooth.listBluetooth().error == "Bluetooth is unavailable: BlueZ is not running.";
  }));

  BluetoothService::Options unreachable;
  unreachable.busAddress = "unix:path=" + bus_.directory() / "no-such-bus";
  BluetoothService absentBus(unreachable);
  response = absentBus.listBluetooth();
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.error->rfind("Bluetooth is unavailable: cannot connect", 0), 0u)
      << *response.error;
  // The feed says the same.
  Reports reports;
  ASSERT_TRUE(absentBus.follow(reports.observer()));
  EXPECT_TRUE(reports.comeUnavailable(*response.error)) << reports.latestText();
}

TEST_F(BluetoothServiceTest, ASystemBusThatRestartsIsConnectedToAgain) {
  BluetoothService bluetooth(options());
  {
    auto bluez = startBlueZ();
    devices("setup");
    ASSERT_EQ(listed(bluetooth.listBluetooth()).size(), 2U);
    bus_.stop();
  }
  const CLIResponse lost = bluetooth.listBluetooth();
  EXPECT_FALSE(lost.success);
  EXPECT_EQ(lost.error.value_or("").rfind("Bluetooth is unavailable: ", 0), 0U)
      << lost.error.value_or("");

  bus_.start();
  auto bluez = startBlueZ();
  devices("setup");
  EXPECT_TRUE(eventually([&] { return listed(bluetooth.listBluetooth()).size() == 2; }))
      << bluetooth.listBluetooth().error.value_or("");
}

TEST_F(BluetoothServiceTest, FollowingReportsBatteriesConnectionsAndDisconnections) {
  auto bluez = startBlueZ();
  devices("setup");
  Reports reports;
  BluetoothService bluetooth(options());
  ASSERT_TRUE(bluetooth.follow(reports.observer()));
  EXPECT_FALSE(bluetooth.follow(reports.observer()));
  EXPECT_TRUE(reports.come(Devices{{"Studio Headset", 80}, {"Desk Speaker", -1}}))
      << reports.latestText();

  devices("change");
  EXPECT_TRUE(reports.come(Devices{{"Studio Headset", 55}, {"Travel Earbuds", 60}}))
      << reports.latestText();
  // The same as the answer.
  EXPECT_EQ(listed(bluetooth.listBluetooth()),
            (Devices{{"Studio Headset", 55}, {"Travel Earbuds", 60}}));
}

TEST_F(BluetoothServiceTest, FollowingReportsBlueZAndTheSystemBusLeavingAndReturning) {
  Reports reports;
  BluetoothService bluetooth(options());
  ASSERT_TRUE(bluetooth.follow(reports.observer()));
  EXPECT_TRUE(reports.comeUnavailable()) << reports.latestText();
  {
    auto bluez = startBlueZ();
    devices("setup");
    EXPECT_TRUE(reports.come(Devices{{"Studio Headset", 80}, {"Desk Speaker", -1}}))
        << reports.latestText();
  }
  EXPECT_TRUE(reports.comeUnavailable()) << reports.latestText();

  // A BlueZ that returns gives a fresh list, without any of the old one.
  {
    auto bluez = startBlueZ();
    EXPECT_TRUE(reports.come(Devices{})) << reports.latestText();
    devices("setup");
    EXPECT_TRUE(reports.come(Devices{{"Studio Headset", 80}, {"Desk Speaker", -1}}))
        << reports.latestText();
    bus_.stop();
    // Without the bus, the feed says what the answer says.
    const auto answer = bluetooth.listBluetooth();
    ASSERT_FALSE(answer.success);
    EXPECT_EQ(answer.error->rfind("Bluetooth is unavailable: cannot connect", 0), 0U)
        << *answer.error;
    EXPECT_TRUE(reports.comeUnavailable(*answer.error)) << reports.latestText();
  }
  bus_.start();
  auto bluez = startBlueZ();
  devices("setup");
  EXPECT_TRUE(reports.come(Devices{{"Studio Headset", 80}, {"Desk Speaker", -1}}))
      << reports.latestText();
}

}  // namespace
}  // namespace kestrune::daemon::bluetooth
