// A request that has waited in a worker's queue longer than its client
// waits is never carried out: the client has already reported a failure.

#include "daemon/Worker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "client/CLIClient.h"
#include "client/CLIErrors.h"
#include "platform/FileDescriptor.h"
#include "platform/TestSupport.h"
#include "server/ListeningSocket.h"
#include "server/Server.h"

namespace kestrune::daemon {
namespace {

using namespace std::chrono_literals;
using Clock = Worker::Clock;

// Holds a worker busy until released, as a sound server that stopped
// answering would.
class Blocker {
 public:
  explicit Blocker(Worker& worker) {
    worker.post([this] {
      started_.set_value();
      released_.get_future().wait();
    });
    started_.get_future().wait();
  }
  void release() { released_.set_value(); }

 private:
  std::promise<void> started_;
  std::promise<void> released_;
};

TEST(WorkerTest, AJobNotStartedByItsDeadlineIsDroppedAndTheOthersRunInOrder) {
  std::vector<std::string> ran;
  std::mutex mutex;
  const auto note = [&](std::string what) {
    const std::lock_guard lock(mutex);
    ran.push_back(std::move(what));
  };
  {
    Worker worker("test-worker");
    Blocker blocker(worker);
    const auto soon = Clock::now() + 20ms;
    worker.post([&] { note("first"); });
    worker.post([&] { note("late change"); }, soon, [&] { note("late change dropped"); });
    worker.post([&] { note("in time"); }, Clock::now() + 1h, [&] { note("in time dropped"); });
    std::this_thread::sleep_until(soon + 1ms);  // the deadline has passed, whatever the load
    blocker.release();
  }  // the worker finishes its queue
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "late change dropped", "in time"}));
}

// Keeps a volume and answers its changes on a worker, as the daemon does.
class QueuedVolume : public server::RequestHandler {
 public:
  std::atomic<int> volume{50};
  // Declared last: it finishes its queue before the volume goes.
  Worker worker{"test-audio"};

  CLIResponse handle(const CLICommand&) override {
    return CLIResponse{true, std::nullopt, std::nullopt, std::to_string(volume.load())};
  }
  void beginBefore(const CLICommand& command, Clock::time_point deadline, Reply reply) override {
    const auto* change = std::get_if<CLICommand::SetVolume>(&command.value);
    if (change == nullptr) {
      reply(handle(command));
      return;
    }
    worker.post(
        [this, percent = change->percent, reply] {
          volume = static_cast<int>(percent);
          reply(handle(CLICommand{CLICommand::GetVolume{}}));
        },
        deadline,
        [reply] {
          reply(CLIResponse{false, std::nullopt, "too late", std::nullopt});
        });
  }
};

TEST(WorkerTest, AChangeWhoseClientGaveUpBehindABlockedWorkerNeverHappens) {
  const testing_support::TemporaryDirectory directory;
  QueuedVolume handler;
  const server::ListeningSocket socket(directory / "cli.sock");
  server::ServerOptions options;
  options.connectionDeadline = 300ms;
  server::Server server(socket.descriptor(), handler, options);
  std::array<int, 2> stop{};
  ASSERT_EQ(::pipe(stop.data()), 0);
  const platform::FileDescriptor stopRead(stop[0]);
  const platform::FileDescriptor stopWrite(stop[1]);
  std::thread serving([&] { server.run(stopRead.get()); });

  Blocker blocker(handler.worker);
  // The server closes the connection at its deadline: the client sees the
  // end of the stream, as it would see its own time limit.
  EXPECT_THROW(CLIClient(socket.path()).send(CLICommand{CLICommand::SetVolume{10}}),
               CLIProtocolError);
  blocker.release();
  std::promise<void> drained;
  handler.worker.post([&] { drained.set_value(); });
  drained.get_future().wait();
  EXPECT_EQ(handler.volume.load(), 50);

  // A change in time is carried out.
  EXPECT_TRUE(CLIClient(socket.path()).send(CLICommand{CLICommand::SetVolume{20}}).success);
  EXPECT_EQ(handler.volume.load(), 20);
  ASSERT_EQ(::write(stopWrite.get(), "x", 1), 1);
  serving.join();
}

}  // namespace
}  // namespace kestrune::daemon
