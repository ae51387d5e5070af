// The shared loop that follows a bus which may go away and come back, and
// the thread that tells an observer only what changed.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "daemon/dbus/Bus.h"
#include "daemon/dbus/Peers.h"
#include "daemon/dbus/Watch.h"

namespace kestrune::daemon::dbus {
namespace {

using kestrune::testing::eventually;
using kestrune::testing::PrivateBus;
using std::chrono::milliseconds;

constexpr milliseconds firstPause{200};
constexpr milliseconds lastPause{800};

// A service of the loop's that only connects and counts.
struct CountingService {
  explicit CountingService(std::string busAddress)
      : address(std::move(busAddress)),
        loop(Backoff{firstPause, lastPause}, "lost the test bus",
             FollowLoop::Service{[this] { return connect(); }, [this] { bus.reset(); },
                                 [this](bool) {
                                   ++reads;
                                   return std::optional<Clock::time_point>{};
                                 }}) {}

  std::optional<Error> connect() {
    ++connects;
    auto opened = Bus::atAddress(address);
    if (!opened) {
      return opened.error();
    }
    bus.emplace(std::move(opened).value());
    return std::nullopt;
  }

  Wait round() { return loop.round(bus, connectError); }

  std::string address;
  std::optional<Bus> bus;
  std::optional<Error> connectError;
  int connects = 0;
  int reads = 0;
  FollowLoop loop;
};

TEST(FollowLoopTest, AnAbsentBusIsTriedAfterDoublingPausesAndFollowedOnceItIsThere) {
  PrivateBus daemon;
  daemon.stop();
  CountingService service(daemon.address());

  auto before = Clock::now();
  const Wait first = service.round();
  EXPECT_FALSE(first.bus);
  ASSERT_TRUE(first.deadline);
  EXPECT_GE(*first.deadline, before + firstPause);
  EXPECT_LE(*first.deadline, Clock::now() + firstPause);
  EXPECT_EQ(service.connects, 1);
  EXPECT_TRUE(service.connectError);

  // Within the pause a round only names its end.
  const Wait again = service.round();
  if (Clock::now() < *first.deadline) {
    EXPECT_EQ(service.connects, 1);
    EXPECT_EQ(again.deadline, first.deadline);
  }

  ASSERT_TRUE(eventually([&] { return !service.loop.backoff().pausing(); }));
  before = Clock::now();
  const Wait second = service.round();
  EXPECT_EQ(service.connects, 2);
  ASSERT_TRUE(second.deadline);
  EXPECT_GE(*second.deadline, before + 2 * firstPause);
  EXPECT_EQ(service.reads, 0);

  daemon.start();
  ASSERT_TRUE(eventually([&] { return service.round().bus.has_value(); }));
  EXPECT_FALSE(service.connectError);
  EXPECT_GE(service.reads, 1);

  daemon.stop();
  ASSERT_TRUE(eventually([&] { return !service.round().bus; }));
  EXPECT_FALSE(service.bus);
  EXPECT_TRUE(service.connectError);
}

TEST(FollowLoopTest, TheObserverIsToldOnlyWhatChanged) {
  std::atomic<int> state{1};
  std::mutex toldMutex;
  std::vector<int> told;
  auto toldSoFar = [&] {
    const std::lock_guard<std::mutex> lock(toldMutex);
    return told;
  };
  Follower<int> follower(
      "kestrune-test",
      [&](const int& now) {
        const std::lock_guard<std::mutex> lock(toldMutex);
        told.push_back(now);
      },
      [&](std::optional<int>& now) {
        now = state.load();
        return Wait{};
      });
  ASSERT_TRUE(eventually([&] { return toldSoFar() == std::vector<int>{1}; }));

  const auto steps = follower.thread().steps();
  follower.thread().wake();
  ASSERT_TRUE(eventually([&] { return follower.thread().steps() > steps; }));
  EXPECT_EQ(toldSoFar(), std::vector<int>{1});

  state = 2;
  follower.thread().wake();
  EXPECT_TRUE(eventually([&] { return toldSoFar() == (std::vector<int>{1, 2}); }));
}

}  // namespace
}  // namespace kestrune::daemon::dbus
