#include "server/Server.h"

#include <poll.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <variant>

#include "json/Errors.h"
#include "platform/FileDescriptor.h"
#include "protocol/Coding.h"
#include "server/Feed.h"
#include "server/FrameReader.h"
#include "server/Framing.h"
#include "server/ServerError.h"
#include "server/Sockets.h"
#include "server/WakePipe.h"

namespace kestrune::server {

namespace {

// When the process runs out of descriptors, accepting pauses this long
// instead of spinning on a listener that stays readable.
constexpr std::chrono::milliseconds acceptPause{100};

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

std::string failureFrame(std::string error) {
  return frame(encodeCompact(failure(std::move(error))));
}

// The request in a body, or the reply saying why there is none.
std::variant<CLICommand, CLIResponse> decodeRequest(std::string_view body) {
  try {
    return decodeCLICommand(body);
  } catch (const json::DecodingError& error) {
    return failure("Invalid request: " + error.description());
  } catch (const std::exception& error) {
    return failure(std::string("Invalid request: ") + error.what());
  }
}

CLIResponse internalError(const std::exception& error) {
  return failure(std::string("Internal error: ") + error.what());
}

std::string encodeReplyFrame(const CLIResponse& response) {
  std::string json;
  try {
    json = encodeCompact(response);
  } catch (const json::EncodingError& error) {
    return failureFrame("Internal error: the reply could not be encoded: " + error.description());
  }
  if (json.size() > maxMessageSize) {
    return failureFrame("Internal error: the reply is too large (" + std::to_string(json.size()) +
                        " bytes)");
  }
  return frame(json);
}

// A feed frame; empty for one the encoder refuses (a number that is not
// finite), which subscribers are better off without than the server.
std::string feedFrame(const json::Value& event) {
  try {
    return frame(json::writeCompact(event));
  } catch (const json::EncodingError&) {
    return {};
  }
}

}  // namespace

std::string replyFrame(RequestHandler& handler, std::string_view body) {
  auto request = decodeRequest(body);
  if (auto* refusal = std::get_if<CLIResponse>(&request)) {
    return encodeReplyFrame(*refusal);
  }
  try {
    return encodeReplyFrame(handler.handle(std::get<CLICommand>(request)));
  } catch (const std::exception& error) {
    return encodeReplyFrame(internalError(error));
  }
}

// Answers handed in from any thread, waiting for the server's loop, which a
// byte on a pipe wakes. Shared with the replies handed out, which may outlive
// the server.
class Server::Answers {
 public:
  int descriptor() const noexcept { return wake_.descriptor(); }

  void post(std::uint64_t connectionId, CLIResponse response) {
    {
      const std::lock_guard lock(mutex_);
      pending_.emplace_back(connectionId, std::move(response));
    }
    wake_.wake();
  }

  std::vector<std::pair<std::uint64_t, CLIResponse>> take() {
    wake_.drain();
    const std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
  }

 private:
  WakePipe wake_;
  std::mutex mutex_;
  std::vector<std::pair<std::uint64_t, CLIResponse>> pending_;
};

struct Server::Connection {
  // A subscriber stays `following` until it leaves or stops reading; its
  // frames queue in `reply`.
  enum class Phase { receiving, answering, replying, following, finished };

  std::uint64_t id = 0;
  platform::FileDescriptor fd;
  Clock::time_point deadline;
  Clock::time_point requestDeadline;
  Clock::time_point lastActivity;
  Phase phase = Phase::receiving;
  FrameReader request{maxRequestSize};
  std::string reply;
  std::size_t replySent = 0;
  FeedKinds follows = FeedKinds::none();

  // Waiting on the client, who may never come back; an answer in the making
  // is not idleness.
  bool waitsOnClient() const { return phase == Phase::receiving || phase == Phase::replying; }

  Clock::time_point wakeTime() const {
    if (phase == Phase::following) {
      return Clock::time_point::max();  // no deadline: it follows for as long as it likes
    }
    return phase == Phase::receiving ? std::min(deadline, requestDeadline) : deadline;
  }

  std::size_t backlog() const { return reply.size() - replySent; }

  void queueFrame(std::string_view frameBytes) {
    if (replySent == reply.size()) {
      reply.clear();
      replySent = 0;
    }
    reply.append(frameBytes);
  }

  void startReply(std::string frameBytes) {
    reply = std::move(frameBytes);
    replySent = 0;
    phase = Phase::replying;
  }

  // Reads what the socket holds of the frame: a negative result with errno
  // set, 0 at end of stream, else the byte count.
  long receiveSome() {
    const std::span<char> room = request.room();
    return ::recv(fd.get(), room.data(), room.size(), 0);
  }

  void took(std::size_t count) {
    request.took(count);
    if (request.state() == FrameReader::State::tooLarge) {
      // The body is never read: the reply goes out, then the connection closes.
      startReply(failureFrame(request.tooLargeError()));
    }
  }

  // The client stopped sending mid-request. It may still read, so say why.
  void endedEarly() {
    if (!request.started()) {
      phase = Phase::finished;  // connected and left without a word
    } else {
      startReply(failureFrame(request.endedEarlyError()));
    }
  }
};

Server::Server(int listeningFd, RequestHandler& handler, ServerOptions options, Feed* feed)
    : listeningFd_(listeningFd),
      handler_(handler),
      options_(options),
      answers_(std::make_shared<Answers>()),
      feed_(feed) {
  if (feed_ != nullptr) {
    feed_->takeWakeUp();
    published_ = feed_->current();
  }
}

Server::~Server() = default;

void Server::receive(Connection& connection, Clock::time_point now) {
  while (connection.phase == Connection::Phase::receiving) {
    const long n = connection.receiveSome();
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        connection.phase = Connection::Phase::finished;
      }
      return;
    }
    if (n == 0) {
      connection.endedEarly();
      return;
    }
    connection.lastActivity = now;
    connection.took(static_cast<std::size_t>(n));
    if (connection.phase == Connection::Phase::receiving &&
        connection.request.state() == FrameReader::State::complete) {
      startAnswer(connection, now);
    }
  }
}

void Server::startAnswer(Connection& connection, Clock::time_point now) {
  std::optional<Subscription> subscription;
  try {
    subscription = decodeSubscription(connection.request.body());
  } catch (const json::DecodingError& error) {
    connection.startReply(failureFrame("Invalid subscription: " + error.description()));
    return;
  }
  if (subscription) {
    startFollowing(connection, *subscription);
    return;
  }
  auto request = decodeRequest(connection.request.body());
  if (auto* refusal = std::get_if<CLIResponse>(&request)) {
    connection.startReply(encodeReplyFrame(*refusal));
    return;
  }
  connection.phase = Connection::Phase::answering;
  try {
    handler_.beginBefore(std::get<CLICommand>(request), connection.deadline,
                         [answers = answers_, id = connection.id](CLIResponse response) {
                           answers->post(id, std::move(response));
                         });
  } catch (const std::exception& error) {
    connection.startReply(encodeReplyFrame(internalError(error)));
    return;
  }
  // A handler that answered at once has posted already: reply without
  // another trip through poll.
  takeAnswers(now);
}

void Server::startFollowing(Connection& connection, const Subscription& subscription) {
  if (feed_ == nullptr) {
    connection.startReply(failureFrame("This application offers no live feed."));
    return;
  }
  if (subscribers() >= options_.maxSubscribers) {
    connection.startReply(failureFrame("Too many subscribers: at most " +
                                       std::to_string(options_.maxSubscribers) +
                                       " may follow the changes at once."));
    return;
  }
  connection.phase = Connection::Phase::following;
  connection.follows = subscription.only;
  connection.reply.clear();
  connection.replySent = 0;
  connection.queueFrame(feedFrame(snapshotEvent(published_, subscription.only)));
  transmit(connection);
}

// Sends every subscriber what changed since the last time, at most once an
// interval: a burst of changes goes out as the state it ended in.
void Server::sendFeedChanges(Clock::time_point now) {
  if (!feedChanged_ || now < lastFeedSend_ + options_.feedInterval) {
    return;
  }
  feedChanged_ = false;
  FeedState state = feed_->current();
  const std::vector<FeedEvent> changes = changesBetween(published_, state);
  published_ = std::move(state);
  if (changes.empty()) {
    return;
  }
  lastFeedSend_ = now;
  std::vector<std::string> frames;
  frames.reserve(changes.size());
  for (const FeedEvent& change : changes) {
    frames.push_back(feedFrame(change.body));
  }
  for (const auto& connection : connections_) {
    if (connection->phase != Connection::Phase::following) {
      continue;
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
      if (connection->follows.has(changes[i].kind)) {
        connection->queueFrame(frames[i]);
      }
    }
    transmit(*connection);
    if (connection->backlog() > options_.subscriberBacklog) {
      connection->phase = Connection::Phase::finished;  // it stopped reading
    }
  }
}

std::size_t Server::subscribers() const {
  return static_cast<std::size_t>(std::count_if(
      connections_.begin(), connections_.end(),
      [](const auto& connection) { return connection->phase == Connection::Phase::following; }));
}

std::size_t Server::oneShotConnections() const {
  return connections_.size() - subscribers();
}

void Server::takeAnswers(Clock::time_point now) {
  for (auto& [id, response] : answers_->take()) {
    const auto found =
        std::find_if(connections_.begin(), connections_.end(),
                     [id = id](const auto& connection) { return connection->id == id; });
    // The client may have been dropped at its deadline meanwhile.
    if (found == connections_.end() || (*found)->phase != Connection::Phase::answering) {
      continue;
    }
    Connection& connection = **found;
    connection.startReply(encodeReplyFrame(response));
    connection.lastActivity = now;
    transmit(connection);
  }
}

void Server::transmit(Connection& connection) {
  while (connection.replySent < connection.reply.size()) {
    const long n =
        sendWithoutSignal(connection.fd.get(), connection.reply.data() + connection.replySent,
                          connection.reply.size() - connection.replySent);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        connection.phase = Connection::Phase::finished;  // the client went away
      }
      return;
    }
    connection.replySent += static_cast<std::size_t>(n);
  }
  if (connection.phase != Connection::Phase::following) {
    connection.phase = Connection::Phase::finished;
  }
}

namespace {

// A subscriber has nothing more to say: what it sends is read and dropped,
// and its end of the stream ends the subscription.
bool subscriberStillThere(int fd) {
  std::array<char, 512> sink{};
  while (true) {
    const long n = ::recv(fd, sink.data(), sink.size(), 0);
    if (n > 0) {
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

}  // namespace

void Server::advance(Connection& connection, Clock::time_point now) {
  if (connection.phase == Connection::Phase::receiving) {
    receive(connection, now);
  }
  if (connection.phase == Connection::Phase::replying) {
    transmit(connection);
  }
  if (connection.phase == Connection::Phase::following) {
    if (!subscriberStillThere(connection.fd.get())) {
      connection.phase = Connection::Phase::finished;
      return;
    }
    transmit(connection);
  }
}

bool Server::full() const {
  return oneShotConnections() >= options_.maxConnections;
}

std::optional<Server::Clock::time_point> Server::nextEvictable() const {
  std::optional<Clock::time_point> first;
  for (const auto& connection : connections_) {
    if (connection->waitsOnClient()) {
      const auto at = connection->lastActivity + options_.idleBeforeEviction;
      first = first ? std::min(*first, at) : at;
    }
  }
  return first;
}

bool Server::makeRoom(Clock::time_point now) {
  const auto idlest =
      std::min_element(connections_.begin(), connections_.end(), [](const auto& a, const auto& b) {
        // Connections waiting on the client come first, the longest idle first.
        if (a->waitsOnClient() != b->waitsOnClient()) {
          return a->waitsOnClient();
        }
        return a->lastActivity < b->lastActivity;
      });
  if (idlest == connections_.end() || !(*idlest)->waitsOnClient() ||
      now < (*idlest)->lastActivity + options_.idleBeforeEviction) {
    return false;
  }
  connections_.erase(idlest);
  return true;
}

bool Server::roomForMore(Clock::time_point now) const {
  if (!full()) {
    return true;
  }
  const auto evictable = nextEvictable();
  return evictable && *evictable <= now;
}

void Server::acceptNew(Clock::time_point now) {
  while (roomForMore(now)) {
    platform::FileDescriptor fd(::accept(listeningFd_, nullptr, nullptr));
    if (!fd) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // Out of descriptors or memory: let connections finish first.
        acceptPausedUntil_ = now + acceptPause;
      }
      return;
    }
    if (!prepareAccepted(fd.get())) {
      continue;
    }
    // Room is made only for a connection that has come: an idle client is
    // never dropped for nothing.
    if (full() && !makeRoom(now)) {
      return;
    }
    auto connection = std::make_unique<Connection>();
    connection->id = nextConnectionId_++;
    connection->fd = std::move(fd);
    connection->deadline = now + options_.connectionDeadline;
    connection->requestDeadline = now + options_.requestDeadline;
    connection->lastActivity = now;
    connections_.push_back(std::move(connection));
    // The request has usually arrived by the time the connection is
    // accepted: most exchanges finish here without waiting for poll.
    advance(*connections_.back(), now);
    if (connections_.back()->phase == Connection::Phase::finished) {
      connections_.pop_back();
    }
  }
}

int Server::pollTimeout(Clock::time_point now) const {
  std::optional<Clock::time_point> wake;
  for (const auto& connection : connections_) {
    if (connection->phase != Connection::Phase::following) {
      wake = wake ? std::min(*wake, connection->wakeTime()) : connection->wakeTime();
    }
  }
  if (feedChanged_) {
    const auto send = lastFeedSend_ + options_.feedInterval;
    wake = wake ? std::min(*wake, send) : send;
  }
  if (acceptPausedUntil_ > now) {
    wake = wake ? std::min(*wake, acceptPausedUntil_) : acceptPausedUntil_;
  }
  // While full, the listener is not polled: look again when a connection
  // may make room (once one may, the listener is polled again).
  const auto evictable = full() ? nextEvictable() : std::nullopt;
  if (evictable && *evictable > now) {
    wake = wake ? std::min(*wake, *evictable) : *evictable;
  }
  if (!wake) {
    return -1;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
  return static_cast<int>(std::clamp<long long>(wait, 0, 60000));
}

void Server::run(int stopFd) {
  constexpr std::size_t fixedEvents = 4;  // stop, answers, listener, feed
  std::vector<pollfd> events;
  while (true) {
    const auto now = Clock::now();
    const bool accepting = roomForMore(now) && acceptPausedUntil_ <= now;
    events.clear();
    events.push_back({stopFd, POLLIN, 0});
    events.push_back({answers_->descriptor(), POLLIN, 0});
    events.push_back({accepting ? listeningFd_ : -1, POLLIN, 0});
    events.push_back({feed_ != nullptr ? feed_->descriptor() : -1, POLLIN, 0});
    for (const auto& connection : connections_) {
      short wanted = 0;
      if (connection->phase == Connection::Phase::receiving) {
        wanted = POLLIN;
      } else if (connection->phase == Connection::Phase::replying) {
        wanted = POLLOUT;
      } else if (connection->phase == Connection::Phase::following) {
        wanted = static_cast<short>(POLLIN | (connection->backlog() > 0 ? POLLOUT : 0));
      }
      events.push_back({wanted != 0 ? connection->fd.get() : -1, wanted, 0});
    }
    if (::poll(events.data(), events.size(), pollTimeout(now)) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw ServerError(ServerError::Kind::socketSetup,
                        std::string("Waiting for connections failed: ") + std::strerror(errno));
    }
    if (events[0].revents != 0) {
      connections_.clear();
      return;
    }
    const auto after = Clock::now();
    // Only the connections polled for: answers may add none, and accepting
    // comes last.
    const std::size_t polled = events.size() - fixedEvents;
    for (std::size_t i = 0; i < polled; ++i) {
      Connection& connection = *connections_[i];
      if (events[i + fixedEvents].revents != 0) {
        advance(connection, after);
      }
    }
    if (events[1].revents != 0) {
      takeAnswers(after);
    }
    if (events[3].revents != 0) {
      feed_->takeWakeUp();
      feedChanged_ = true;
    }
    if (feed_ != nullptr) {
      sendFeedChanges(after);
    }
    for (const auto& connection : connections_) {
      if (after >= connection->wakeTime()) {
        connection->phase = Connection::Phase::finished;
      }
    }
    std::erase_if(connections_, [](const auto& connection) {
      return connection->phase == Connection::Phase::finished;
    });
    if (events[2].revents != 0) {
      acceptNew(after);
    }
  }
}

}  // namespace kestrune::server
