#include "platform/StopSignals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <csignal>

namespace {

bool readable(int descriptor) {
  pollfd wait{descriptor, POLLIN, 0};
  return ::poll(&wait, 1, 0) == 1 && (wait.revents & POLLIN) != 0;
}

using Handler = void (*)(int);

Handler handlerOf(int signal) {
  struct sigaction current {};
  EXPECT_EQ(::sigaction(signal, nullptr, &current), 0);
  return current.sa_handler;
}

}  // namespace

TEST(StopSignalsTest, SignalsWakeTheDescriptorInsteadOfEndingTheProcessWhileItLives) {
  const Handler terminate = handlerOf(SIGTERM);
  const Handler interrupt = handlerOf(SIGINT);
  const Handler brokenPipe = handlerOf(SIGPIPE);
  {
    const platform::StopSignals signals;
    EXPECT_FALSE(readable(signals.descriptor()));
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_TRUE(readable(signals.descriptor()));
    std::array<char, 8> bytes{};
    EXPECT_EQ(::read(signals.descriptor(), bytes.data(), bytes.size()), 1);
    EXPECT_FALSE(readable(signals.descriptor()));
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_TRUE(readable(signals.descriptor()));
    EXPECT_EQ(handlerOf(SIGPIPE), SIG_IGN);
  }
  EXPECT_EQ(handlerOf(SIGTERM), terminate);
  EXPECT_EQ(handlerOf(SIGINT), interrupt);
  EXPECT_EQ(handlerOf(SIGPIPE), brokenPipe);
}
