#pragma once
// Serves framed requests on a listening socket: one request and one reply per
// connection, many connections at once on one thread (non-blocking sockets
// and poll), each bounded by a deadline, their number bounded too.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Feed.h"
#include "server/RequestHandler.h"

namespace kestrune::server {

struct ServerOptions {
  // A connection that has not received its whole request and sent its whole
  // reply by then is closed.
  std::chrono::milliseconds connectionDeadline{10000};
  // At this many open connections a new one closes the connection that has
  // been idle longest (see idleBeforeEviction), so that silent clients
  // cannot lock others out. Sized for a burst of invocations from a script.
  std::size_t maxConnections = 512;
  // Clients write their whole request at once: one still arriving after
  // this long is abandoned.
  std::chrono::milliseconds requestDeadline{2000};
  // Subscribers to the feed, counted apart from the connections above.
  std::size_t maxSubscribers = 64;
  // A subscriber with more than this waiting for it has stopped reading and
  // is dropped.
  std::size_t subscriberBacklog = 1048576;
  // Changes are sent at most this often; what changed meanwhile goes out
  // together, in its final state.
  std::chrono::milliseconds feedInterval{50};
  // Only a connection idle this long may be closed to make room: one that
  // has just connected has not had its chance to write yet. Until one
  // qualifies, new connections wait in the listen backlog.
  std::chrono::milliseconds idleBeforeEviction{1000};
};

// The framed reply to one request body: the handler's answer, or a failure
// reply saying why the body is not a request ("Invalid request: ...").
std::string replyFrame(RequestHandler& handler, std::string_view body);

class Feed;

class Server {
 public:
  // The listening socket must be non-blocking; the server does not own it.
  // Without a feed, subscriptions are refused.
  Server(int listeningFd, RequestHandler& handler, ServerOptions options = {},
         Feed* feed = nullptr);
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server();

  // Serves until `stopFd` becomes readable or hangs up; open connections are
  // closed on return. Throws ServerError when waiting for events fails.
  void run(int stopFd);

 private:
  struct Connection;
  class Answers;
  using Clock = std::chrono::steady_clock;

  void acceptNew(Clock::time_point now);
  bool makeRoom(Clock::time_point now);
  bool full() const;
  // Whether a new connection can be taken, making room for it if need be.
  bool roomForMore(Clock::time_point now) const;
  // When a connection may first be closed to make room; nothing while
  // there is room or no connection waits on its client.
  std::optional<Clock::time_point> nextEvictable() const;
  // Moves one connection as far as its socket allows without blocking.
  void advance(Connection& connection, Clock::time_point now);
  void receive(Connection& connection, Clock::time_point now);
  void transmit(Connection& connection);
  void startAnswer(Connection& connection, Clock::time_point now);
  void startFollowing(Connection& connection, const Subscription& subscription);
  void sendFeedChanges(Clock::time_point now);
  std::size_t oneShotConnections() const;
  std::size_t subscribers() const;
  void takeAnswers(Clock::time_point now);
  int pollTimeout(Clock::time_point now) const;

  int listeningFd_;
  RequestHandler& handler_;
  ServerOptions options_;
  std::shared_ptr<Answers> answers_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::uint64_t nextConnectionId_ = 1;
  Clock::time_point acceptPausedUntil_{};
  Feed* feed_;
  // What subscribers have been sent, and whether the feed changed since.
  FeedState published_;
  bool feedChanged_ = false;
  Clock::time_point lastFeedSend_{};
};

}  // namespace kestrune::server
