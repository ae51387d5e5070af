#include "watch/Watch.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "client/FeedClient.h"
#include "platform/StopSignals.h"
#include "protocol/SocketPath.h"
#include "watch/Printer.h"
#include "watch/Waiting.h"
#include "watch/WatchCommandLine.h"

namespace kestrune::watch {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The fallback for what inotify cannot tell (a directory that does not
// exist yet), and the pause after a fault of the application's.
constexpr milliseconds slowRetry{2000};
// A refusal (too many subscribers) lasts until others leave.
constexpr milliseconds refusedRetry{5000};

enum class Step { again, end };

void say(const std::string& line) {
  // Standard error may be gone as well; nothing else to tell it to.
  static_cast<void>(writeLine(STDERR_FILENO, "kestrune-watch: " + line));
}

class Watch {
 public:
  explicit Watch(const WatchOptions& options)
      : socketPath_(options.socketPath.value_or(defaultSocketPath())),
        appearance_(socketPath_),
        printer_(options, STDOUT_FILENO) {
    subscription_.only = options.subscribedKinds();
  }

  void run() {
    while (true) {
      appearance_.arm();
      Step step = Step::again;
      try {
        step = follow();
      } catch (const FeedClientError& error) {
        step = recover(error);
      }
      if (step == Step::end) {
        return;
      }
    }
  }

 private:
  // One connection, from the subscription until it ends.
  Step follow() {
    FeedClient client(subscription_, socketPath_);
    // Any of them ends the watch: a stop signal, or the output's reader gone.
    std::array<pollfd, 2> stops{pollfd{signals_.descriptor(), POLLIN, 0},
                                pollfd{STDOUT_FILENO, 0, 0}};
    while (auto frame = client.next(stops)) {
      if (!printer_.frame(*frame)) {
        return Step::end;
      }
      lastComplaint_.clear();
    }
    return Step::end;
  }

  Step recover(const FeedClientError& error) {
    using Kind = FeedClientError::Kind;
    switch (error.kind()) {
      case Kind::notRunning:
        return printer_.daemonGone() ? pause(slowRetry, true) : Step::end;
      case Kind::connectionFailed:
        complain(error.description());
        return printer_.daemonGone() ? pause(slowRetry, true) : Step::end;
      case Kind::connectionLost: {
        // A daemon that restarts is there again at once or announces
        // itself through the socket; one that drops every subscriber
        // before its snapshot must not be asked again at once.
        const bool wasFollowing = printer_.following();
        if (!printer_.daemonGone()) {
          return Step::end;
        }
        return wasFollowing ? Step::again : pause(slowRetry, true);
      }
      case Kind::refused:
        complain(error.description());
        return pause(refusedRetry, false);
      case Kind::malformedFrame:
        complain(error.description());
        return pause(slowRetry, false);
    }
    return Step::again;
  }

  // Each fault once while it lasts, not at every retry.
  void complain(const std::string& description) {
    if (description != lastComplaint_) {
      lastComplaint_ = description;
      say(description);
    }
  }

  // Waits for the time to pass, or for the socket to appear; Step::end
  // for a stop signal or a closed output.
  Step pause(milliseconds duration, bool untilSocketAppears) {
    const auto deadline = Clock::now() + duration;
    while (true) {
      const auto remaining = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
      if (remaining <= 0) {
        return Step::again;
      }
      const int inotify = untilSocketAppears ? appearance_.descriptor() : -1;
      std::array<pollfd, 3> watched{pollfd{signals_.descriptor(), POLLIN, 0},
                                    pollfd{STDOUT_FILENO, 0, 0}, pollfd{inotify, POLLIN, 0}};
      const nfds_t count = inotify >= 0 ? 3 : 2;
      if (::poll(watched.data(), count, static_cast<int>(remaining)) < 0) {
        if (errno == EINTR) {
          continue;
        }
        throw WatchError(std::string("Could not wait: ") + std::strerror(errno));
      }
      if (watched[0].revents != 0 || outputClosed(watched[1])) {
        return Step::end;
      }
      if (watched[2].revents != 0 && appearance_.appeared()) {
        return Step::again;
      }
    }
  }

  const platform::StopSignals signals_;
  std::string socketPath_;
  SocketAppearance appearance_;
  Printer printer_;
  Subscription subscription_;
  std::string lastComplaint_;
};

bool writeText(int descriptor, const std::string& text) {
  // writeLine adds the final newline itself.
  return writeLine(descriptor, text.substr(0, text.size() - 1));
}

}  // namespace

int watchMain(const std::vector<std::string>& arguments) {
  try {
    const WatchOptions options = parseWatchArguments(arguments);
    if (options.showHelp || options.showVersion) {
      return writeText(STDOUT_FILENO, options.showHelp ? watchHelpText() : watchVersionText()) ? 0
                                                                                               : 1;
    }
    Watch(options).run();
    return 0;
  } catch (const WatchUsageError& error) {
    say(error.description());
    static_cast<void>(writeLine(STDERR_FILENO, "Run 'kestrune-watch --help' for usage."));
    return 64;
  } catch (const WatchError& error) {
    say(error.description());
    return 1;
  } catch (const platform::StopSignalsError& error) {
    say(error.what());
    return 1;
  } catch (const std::exception& error) {
    say(std::string("internal error: ") + error.what());
    return 1;
  }
}

}  // namespace kestrune::watch
