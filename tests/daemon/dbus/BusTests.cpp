// The D-Bus wrapper against a real bus daemon and real peers.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "daemon/dbus/Bus.h"
#include "daemon/dbus/Peers.h"

namespace kestrune::daemon::dbus {
namespace {

using kestrune::testing::BackgroundProcess;
using kestrune::testing::eventually;
using kestrune::testing::PrivateBus;
using kestrune::testing::runCommand;
using std::chrono::milliseconds;

const char* busName = "org.freedesktop.DBus";
const char* busPath = "/org/freedesktop/DBus";
const std::string player = "/org/mpris/MediaPlayer2";
const std::string playerInterface = "org.mpris.MediaPlayer2.Player";

Clock::time_point in(milliseconds time) {
  return Clock::now() + time;
}

class BusTest : public ::testing::Test {
 protected:
  Bus connect() {
    auto bus = Bus::atAddress(bus_.address());
    if (!bus) {
      ADD_FAILURE() << bus.error().describe();
    }
    return std::move(bus).value();
  }

  // One of the scripted media players, its name on the bus on return.
  BackgroundProcess startPeer(const std::string& mode, const std::string& name) {
    BackgroundProcess peer(
        {"/usr/bin/python3", KESTRUNE_SOURCE_DIR "/tests/daemon/media/test_player.py", mode, name},
        {bus_.sessionEnvironment()});
    EXPECT_TRUE(eventually([&] {
      return runCommand({"/usr/bin/busctl", "--address=" + bus_.address(), "status", name}, {},
                        std::chrono::seconds(1))
                 .status == 0;
    }));
    return peer;
  }

  PrivateBus bus_;
};

TEST_F(BusTest, RepliesAreReadIntoValues) {
  Bus bus = connect();
  auto names = bus.call({busName, busPath, busName, "ListNames", {}}, in(milliseconds(1000)));
  ASSERT_TRUE(names.ok()) << names.error().describe();
  auto list = firstArgument(names.value());
  ASSERT_TRUE(list.ok());
  EXPECT_NE(list->array(), nullptr);
  const auto all = list->strings();
  EXPECT_NE(std::find(all.begin(), all.end(), busName), all.end());

  // a{sv} with integers and byte arrays inside variants.
  auto credentials = bus.call({busName,
                               busPath,
                               busName,
                               "GetConnectionCredentials",
                               {*bus.uniqueName(in(milliseconds(1000)))}},
                              in(milliseconds(1000)));
  ASSERT_TRUE(credentials.ok()) << credentials.error().describe();
  auto dict = firstArgument(credentials.value());
  ASSERT_TRUE(dict.ok());
  ASSERT_NE(dict->find("ProcessID"), nullptr);
  EXPECT_EQ(dict->find("ProcessID")->integer(), ::getpid());
  EXPECT_EQ(dict->find("UnixUserID")->number(), static_cast<double>(::getuid()));
}

TEST_F(BusTest, FailuresCarryTheirNameAndMessage) {
  Bus bus = connect();
  auto owner =
      bus.call({busName, busPath, busName, "GetNameOwner", {std::string("com.example.None")}},
               in(milliseconds(1000)));
  ASSERT_FALSE(owner.ok());
  EXPECT_TRUE(owner.error().is(errorNames::nameHasNoOwner)) << owner.error().describe();
  EXPECT_FALSE(owner.error().message.empty());

  auto unknown =
      bus.call({"com.example.None", "/", "com.example.Thing", "Do", {}}, in(milliseconds(1000)));
  ASSERT_FALSE(unknown.ok());
  EXPECT_TRUE(unknown.error().is(errorNames::serviceUnknown)) << unknown.error().describe();

  auto missing = Bus::atAddress("unix:path=" + bus_.directory() / "none");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message.rfind("cannot connect to the bus: ", 0), 0u)
      << missing.error().describe();
}

TEST_F(BusTest, ACallToAPeerThatNeverAnswersEndsAtItsDeadline) {
  auto hung = startPeer("hung", "org.mpris.MediaPlayer2.hung");
  Bus bus = connect();
  const auto started = Clock::now();
  auto reply = getProperty(bus, "org.mpris.MediaPlayer2.hung", player, playerInterface,
                           "PlaybackStatus", in(milliseconds(300)));
  const auto took = Clock::now() - started;
  ASSERT_FALSE(reply.ok());
  EXPECT_TRUE(reply.error().timedOut()) << reply.error().describe();
  EXPECT_GE(took, milliseconds(290));
  EXPECT_LT(took, milliseconds(800));

  // The same through an asynchronous call.
  bool answered = false;
  std::optional<Error> error;
  auto slot =
      bus.callAsync({"org.mpris.MediaPlayer2.hung", player, playerInterface, "PlayPause", {}},
                    milliseconds(200), [&](Result<Message> result) {
                      answered = true;
                      if (!result) {
                        error = result.error();
                      }
                    });
  ASSERT_TRUE(slot.ok());
  const auto deadline = in(milliseconds(1000));
  while (!answered && Clock::now() < deadline) {
    ASSERT_TRUE(bus.waitUntil(deadline).ok());
  }
  ASSERT_TRUE(answered);
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->timedOut()) << error->describe();
}

TEST_F(BusTest, PropertiesAreReadAndWritten) {
  const std::string name = "org.mpris.MediaPlayer2.limited";
  auto peer = startPeer("limited", name);
  Bus bus = connect();
  auto identity =
      getProperty(bus, name, player, "org.mpris.MediaPlayer2", "Identity", in(milliseconds(1000)));
  ASSERT_TRUE(identity.ok()) << identity.error().describe();
  EXPECT_EQ(identity->string(), "Limited Player");

  auto all = getAllProperties(bus, name, player, playerInterface, in(milliseconds(1000)));
  ASSERT_TRUE(all.ok()) << all.error().describe();
  EXPECT_EQ(all->at("Volume").number(), 0.25);
  EXPECT_EQ(all->at("Metadata").find("xesam:artist")->strings(),
            (std::vector<std::string>{"Host One", "Host Two"}));
  EXPECT_EQ(all->at("Metadata").find("mpris:length")->integer(), 3'600'000'000);

  ASSERT_TRUE(setProperty(bus, name, player, playerInterface, "Shuffle", Variant{true},
                          in(milliseconds(1000)))
                  .ok());
  EXPECT_EQ(
      getProperty(bus, name, player, playerInterface, "Shuffle", in(milliseconds(1000)))->boolean(),
      true);
  auto readOnly = setProperty(bus, name, player, playerInterface, "LoopStatus",
                              Variant{std::string("Track")}, in(milliseconds(1000)));
  ASSERT_FALSE(readOnly.ok());
  EXPECT_TRUE(readOnly.error().is(errorNames::propertyReadOnly)) << readOnly.error().describe();
  EXPECT_EQ(readOnly.error().message, "LoopStatus is read-only");
}

TEST_F(BusTest, SignalsReachTheirHandlerUntilTheSlotIsGone) {
  Bus bus = connect();
  std::vector<std::string> appeared;
  auto match = bus.matchSignal(signalRule({{"sender", busName},
                                           {"member", "NameOwnerChanged"},
                                           {"arg0namespace", "org.mpris.MediaPlayer2"}}),
                               [&](Message& signal) {
                                 auto values = signal.readAll();
                                 if (values && !values->empty()) {
                                   appeared.push_back(*(*values)[0].string());
                                 }
                               });
  ASSERT_TRUE(match.ok());
  ASSERT_TRUE(bus.processPending().ok());
  // Make sure the match is in place before the peer starts.
  ASSERT_TRUE(bus.call({busName, busPath, busName, "GetId", {}}, in(milliseconds(1000))).ok());

  auto first = startPeer("hung", "org.mpris.MediaPlayer2.first");
  const auto deadline = in(milliseconds(2000));
  while (appeared.empty() && Clock::now() < deadline) {
    ASSERT_TRUE(bus.waitUntil(deadline).ok());
  }
  EXPECT_EQ(appeared, std::vector<std::string>{"org.mpris.MediaPlayer2.first"});

  match->reset();
  auto second = startPeer("hung", "org.mpris.MediaPlayer2.second");
  ASSERT_TRUE(bus.waitUntil(in(milliseconds(200))).ok());
  EXPECT_EQ(appeared.size(), 1u);
}

}  // namespace
}  // namespace kestrune::daemon::dbus
