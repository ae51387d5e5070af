#include "daemon/pulse/PulseSoundServer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <utility>

namespace kestrune::daemon {

namespace {

// A change the server has not acknowledged by then counts as unreachable.
constexpr auto answerLimit = std::chrono::seconds(1);
// While the server is away, how often to try again.
constexpr std::uint64_t retryMicroseconds = 250'000;
// A move counts once the stream is seen on its new sink. Until then it is
// read again this often, up to the limit; a move not seen by then is asked
// for again, this many times in all.
constexpr auto moveRecheck = std::chrono::milliseconds(20);
// PipeWire's session manager may still put a stream back where it first
// linked it just after a move: a move counts when the stream is still on
// its new sink this long after it was first seen there.
constexpr auto moveSettle = std::chrono::milliseconds(150);
constexpr auto moveLimit = std::chrono::seconds(1);
constexpr int moveAttempts = 3;

struct MainloopDeleter {
  void operator()(pa_threaded_mainloop* mainloop) const {
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
  }
};
struct ContextDeleter {
  void operator()(pa_context* context) const {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};
struct OperationDeleter {
  void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};
struct ProplistDeleter {
  void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};

using MainloopPtr = std::unique_ptr<pa_threaded_mainloop, MainloopDeleter>;
using ContextPtr = std::unique_ptr<pa_context, ContextDeleter>;
using OperationPtr = std::unique_ptr<pa_operation, OperationDeleter>;
using ProplistPtr = std::unique_ptr<pa_proplist, ProplistDeleter>;

// Holds libpulse's lock: every call into a context happens under it.
class MainloopLock {
 public:
  explicit MainloopLock(pa_threaded_mainloop* mainloop) : mainloop_(mainloop) {
    pa_threaded_mainloop_lock(mainloop_);
  }
  MainloopLock(const MainloopLock&) = delete;
  MainloopLock& operator=(const MainloopLock&) = delete;
  ~MainloopLock() { pa_threaded_mainloop_unlock(mainloop_); }

 private:
  pa_threaded_mainloop* mainloop_;
};

// A second connection that only reads where a stream plays. PipeWire's
// pulse server tells the client that moved a stream, for a second, that it
// is where it was asked to go, whether it went there or not; every other
// client is told the truth.
class StreamProbe {
 public:
  explicit StreamProbe(pa_threaded_mainloop* mainloop) : mainloop_(mainloop) {
    const MainloopLock lock(mainloop_);
    context_.reset(pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "kestruned probe"));
    if (!context_) {
      link_ = Link::down;
      return;
    }
    pa_context_set_state_callback(context_.get(), onState, this);
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      link_ = Link::down;
    }
  }
  StreamProbe(const StreamProbe&) = delete;
  StreamProbe& operator=(const StreamProbe&) = delete;
  ~StreamProbe() {
    const MainloopLock lock(mainloop_);
    context_.reset();
  }

  // The index of the sink the stream plays on; nothing when the probe has
  // no connection or no answer within `limit`, or the stream is gone.
  std::optional<std::uint32_t> sinkOf(std::uint32_t stream, std::chrono::milliseconds limit) {
    {
      std::unique_lock state(mutex_);
      changed_.wait_for(state, limit, [&] { return link_ != Link::connecting; });
      if (link_ != Link::ready) {
        return std::nullopt;
      }
    }
    Query query;
    query.owner = this;
    OperationPtr operation;
    {
      const MainloopLock lock(mainloop_);
      operation.reset(pa_context_get_sink_input_info(context_.get(), stream, onInfo, &query));
      if (!operation) {
        return std::nullopt;
      }
    }
    {
      std::unique_lock state(mutex_);
      changed_.wait_for(state, limit, [&] { return query.done; });
    }
    const MainloopLock lock(mainloop_);
    // After this the callback, holding the pointer to `query`, never runs.
    if (pa_operation_get_state(operation.get()) == PA_OPERATION_RUNNING) {
      pa_operation_cancel(operation.get());
    }
    operation.reset();
    const std::lock_guard state(mutex_);
    return query.done ? query.sink : std::nullopt;
  }

  // Whether it could connect at all (false while still connecting).
  bool failed() {
    const std::lock_guard state(mutex_);
    return link_ == Link::down;
  }

 private:
  enum class Link { connecting, ready, down };
  struct Query {
    StreamProbe* owner = nullptr;
    bool done = false;
    std::optional<std::uint32_t> sink;
  };

  void settle(Link link) {
    {
      const std::lock_guard state(mutex_);
      link_ = link;
    }
    changed_.notify_all();
  }

  static void onState(pa_context* context, void* userdata) {
    auto& self = *static_cast<StreamProbe*>(userdata);
    switch (pa_context_get_state(context)) {
      case PA_CONTEXT_READY:
        self.settle(Link::ready);
        break;
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        self.settle(Link::down);
        break;
      default:
        break;
    }
  }

  static void onInfo(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto& query = *static_cast<Query*>(userdata);
    StreamProbe& self = *query.owner;
    {
      const std::lock_guard state(self.mutex_);
      if (eol == 0 && info != nullptr) {
        query.sink = info->sink;
      } else if (eol != 0) {
        query.done = true;
      }
    }
    self.changed_.notify_all();
  }

  pa_threaded_mainloop* mainloop_;
  ContextPtr context_;  // touched only under libpulse's lock
  std::mutex mutex_;
  std::condition_variable changed_;
  Link link_ = Link::connecting;
};

double percentOf(pa_volume_t volume) {
  // Hundredths, so that 40 set reads back as 40 rather than 39.99.
  return std::round(static_cast<double>(volume) * 100.0 / PA_VOLUME_NORM * 100.0) / 100.0;
}

pa_volume_t volumeOf(double percent) {
  const double raw = std::round(percent / 100.0 * PA_VOLUME_NORM);
  return static_cast<pa_volume_t>(std::clamp(raw, 0.0, static_cast<double>(PA_VOLUME_MAX)));
}

// The channels scaled so that their mean is `percent`, their balance kept.
pa_cvolume scaledTo(const pa_cvolume& current, double percent) {
  const pa_volume_t target = volumeOf(percent);
  pa_cvolume result = current;
  const pa_volume_t mean = current.channels > 0 ? pa_cvolume_avg(&current) : 0;
  if (mean == 0) {
    pa_cvolume_set(&result, current.channels > 0 ? current.channels : 2, target);
    return result;
  }
  for (unsigned i = 0; i < current.channels; ++i) {
    const double scaled = std::round(static_cast<double>(current.values[i]) * target / mean);
    result.values[i] =
        static_cast<pa_volume_t>(std::clamp(scaled, 0.0, static_cast<double>(PA_VOLUME_MAX)));
  }
  return result;
}

std::optional<std::uint32_t> indexOrNothing(std::uint32_t index) {
  return index == PA_INVALID_INDEX ? std::nullopt : std::optional(index);
}

Properties propertiesOf(const pa_proplist* list) {
  Properties properties;
  void* position = nullptr;
  while (const char* key = pa_proplist_iterate(list, &position)) {
    if (const char* value = pa_proplist_gets(list, key)) {
      properties.emplace(key, value);
    }
  }
  return properties;
}

template <class Info>
Device deviceFrom(const Info& info, bool input) {
  Device device;
  device.index = info.index;
  device.name = info.name != nullptr ? info.name : "";
  device.description = info.description != nullptr ? info.description : device.name;
  device.isInput = input;
  device.volume = percentOf(pa_cvolume_avg(&info.volume));
  device.balance = pa_cvolume_get_balance(&info.volume, &info.channel_map);
  device.muted = info.mute != 0;
  device.sampleRate = info.sample_spec.rate;
  device.ownerModule = indexOrNothing(info.owner_module);
  device.driver = info.driver != nullptr ? info.driver : "";
  device.properties = propertiesOf(info.proplist);
  return device;
}

Stream streamFrom(const pa_sink_input_info& info) {
  Stream stream;
  stream.index = info.index;
  stream.client = indexOrNothing(info.client);
  stream.sink = info.sink;
  stream.volume = percentOf(pa_cvolume_avg(&info.volume));
  stream.balance = pa_cvolume_get_balance(&info.volume, &info.channel_map);
  stream.muted = info.mute != 0;
  stream.ownerModule = indexOrNothing(info.owner_module);
  stream.properties = propertiesOf(info.proplist);
  return stream;
}

}  // namespace

class PulseSoundServer::Impl {
 public:
  Impl(Observer observer, Log log) : observer_(std::move(observer)), log_(std::move(log)) {
    mainloop_.reset(pa_threaded_mainloop_new());
    if (!mainloop_) {
      throw std::runtime_error("could not create libpulse's main loop");
    }
    pa_threaded_mainloop_set_name(mainloop_.get(), "kestruned-pulse");
    const MainloopLock lock(mainloop_.get());
    if (pa_threaded_mainloop_start(mainloop_.get()) < 0) {
      throw std::runtime_error("could not start libpulse's main loop");
    }
    connectNow();
  }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  ~Impl() {
    {
      const MainloopLock lock(mainloop_.get());
      if (retry_ != nullptr) {
        api()->time_free(retry_);
        retry_ = nullptr;
      }
      context_.reset();
    }
    mainloop_.reset();  // stops the thread
  }

  void waitForFirstAttempt(std::chrono::milliseconds limit) {
    std::unique_lock lock(stateMutex_);
    changed_.wait_for(lock, limit, [&] { return link_ != Link::connecting; });
  }

  bool ready() {
    const std::lock_guard lock(stateMutex_);
    return link_ == Link::ready;
  }

  SoundState snapshot() {
    std::unique_lock lock(stateMutex_);
    // A connection on its way gets a moment to finish.
    changed_.wait_for(lock, answerLimit, [&] { return link_ != Link::connecting; });
    if (link_ != Link::ready) {
      throw SoundServerUnreachable(link_ == Link::down ? reason_ : "it did not answer in time");
    }
    return state_;
  }

  void setDeviceVolume(bool input, const std::string& name, double percent) {
    const pa_cvolume volume = scaledTo(rawVolume(input, name), percent);
    run([&](pa_context* context, Pending* pending) {
      return input ? pa_context_set_source_volume_by_name(context, name.c_str(), &volume, onSuccess,
                                                          pending)
                   : pa_context_set_sink_volume_by_name(context, name.c_str(), &volume, onSuccess,
                                                        pending);
    });
    refreshDevice(input, name);
  }

  void setDeviceMute(bool input, const std::string& name, bool muted) {
    run([&](pa_context* context, Pending* pending) {
      return input ? pa_context_set_source_mute_by_name(context, name.c_str(), muted ? 1 : 0,
                                                        onSuccess, pending)
                   : pa_context_set_sink_mute_by_name(context, name.c_str(), muted ? 1 : 0,
                                                      onSuccess, pending);
    });
    refreshDevice(input, name);
  }

  void setDefaultDevice(bool input, const std::string& name) {
    run([&](pa_context* context, Pending* pending) {
      return input ? pa_context_set_default_source(context, name.c_str(), onSuccess, pending)
                   : pa_context_set_default_sink(context, name.c_str(), onSuccess, pending);
    });
    run([&](pa_context* context, Pending* pending) {
      return pa_context_get_server_info(context, onServerRefresh, pending);
    });
    awaitDefault(input, name);
  }

  // PipeWire's pulse server acknowledges a new default before its session
  // manager has applied it, and reports it by an event a moment later: the
  // answer waits for that, briefly, so that it tells what the server does.
  void awaitDefault(bool input, const std::string& name) {
    std::unique_lock state(stateMutex_);
    changed_.wait_for(state, answerLimit, [&] {
      return (input ? state_.defaultSource : state_.defaultSink) == name || link_ != Link::ready;
    });
  }

  void setStreamVolume(std::uint32_t stream, double percent) {
    const pa_cvolume volume = scaledTo(rawStreamVolume(stream), percent);
    run([&](pa_context* context, Pending* pending) {
      return pa_context_set_sink_input_volume(context, stream, &volume, onSuccess, pending);
    });
    refreshStream(stream);
  }

  void setStreamMute(std::uint32_t stream, bool muted) {
    run([&](pa_context* context, Pending* pending) {
      return pa_context_set_sink_input_mute(context, stream, muted ? 1 : 0, onSuccess, pending);
    });
    refreshStream(stream);
  }

  // PipeWire's session manager may drop a move that its pulse server has
  // already acknowledged: the stream's sink, not the acknowledgement, tells
  // whether it moved.
  void moveStream(std::uint32_t stream, const std::string& sinkName) {
    StreamProbe probe(mainloop_.get());
    for (int attempt = 1;; ++attempt) {
      run([&](pa_context* context, Pending* pending) {
        return pa_context_move_sink_input_by_name(context, stream, sinkName.c_str(), onSuccess,
                                                  pending);
      });
      if (awaitStreamOn(stream, sinkName, probe)) {
        return;
      }
      if (attempt == moveAttempts) {
        const std::lock_guard state(stateMutex_);
        throw SoundServerIgnoredMove(streamLabelLocked(stream), sinkLabelLocked(sinkName));
      }
    }
  }

  std::uint32_t loadModule(const std::string& name, const std::string& arguments) {
    const Pending done = run([&](pa_context* context, Pending* pending) {
      return pa_context_load_module(context, name.c_str(), arguments.c_str(), onIndex, pending);
    });
    return done.index;
  }

  void unloadModule(std::uint32_t module) {
    run([&](pa_context* context, Pending* pending) {
      return pa_context_unload_module(context, module, onSuccess, pending);
    });
    // The module's sinks and streams go away by events; wait for them so the
    // picture after this call no longer shows them.
    run([&](pa_context* context, Pending* pending) {
      return pa_context_get_server_info(context, onServerRefresh, pending);
    });
  }

  using Move = SoundServer::Move;

  std::vector<std::string> restore(const std::vector<Move>& moves,
                                   const std::vector<std::uint32_t>& modules) {
    std::vector<Move> left = moves;
    if (!left.empty()) {
      StreamProbe probe(mainloop_.get());
      for (int attempt = 1; attempt <= moveAttempts && !left.empty(); ++attempt) {
        runAll(left.size(), [&](std::size_t i, pa_context* context, Pending* pending) {
          return pa_context_move_sink_input_by_name(context, left[i].stream, left[i].sink.c_str(),
                                                    onSuccess, pending);
        });
        left = unsettled(left, probe);
      }
    }
    // Refused only for a module already gone with its master device.
    runAll(modules.size(), [&](std::size_t i, pa_context* context, Pending* pending) {
      return pa_context_unload_module(context, modules[i], onSuccess, pending);
    });
    run([&](pa_context* context, Pending* pending) {
      return pa_context_get_server_info(context, onServerRefresh, pending);
    });
    std::vector<std::string> ignored;
    ignored.reserve(left.size());
    const std::lock_guard state(stateMutex_);
    for (const Move& move : left) {
      ignored.push_back(
          SoundServerIgnoredMove(streamLabelLocked(move.stream), sinkLabelLocked(move.sink))
              .description());
    }
    return ignored;
  }

 private:
  enum class Link { connecting, ready, down };

  // One request to the server under way, waited for by the caller's thread.
  struct Pending {
    Impl* owner = nullptr;
    bool done = false;
    bool success = true;
    std::string error;
    std::uint32_t index = PA_INVALID_INDEX;
  };

  pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(mainloop_.get()); }

  // Starts a request and waits for its answer. Throws SoundServerUnreachable
  // when there is no connection or no answer in time, SoundServerRefusal
  // when the server says no.
  template <class Start>
  Pending run(Start start) {
    Pending pending;
    pending.owner = this;
    std::uint64_t generation = 0;
    OperationPtr operation;
    {
      const MainloopLock lock(mainloop_.get());
      {
        const std::lock_guard state(stateMutex_);
        if (link_ != Link::ready) {
          throw SoundServerUnreachable(link_ == Link::down ? reason_ : "it is still connecting");
        }
        generation = generation_;
      }
      operation.reset(start(context_.get(), &pending));
      if (!operation) {
        throw SoundServerRefusal(pa_strerror(pa_context_errno(context_.get())));
      }
    }
    bool lost = false;
    {
      std::unique_lock state(stateMutex_);
      changed_.wait_for(state, answerLimit,
                        [&] { return pending.done || generation_ != generation; });
      lost = generation_ != generation;
    }
    bool done = false;
    std::string reason;
    {
      const MainloopLock lock(mainloop_.get());
      // After this the callback, holding the pointer to `pending`, never runs.
      if (pa_operation_get_state(operation.get()) == PA_OPERATION_RUNNING) {
        pa_operation_cancel(operation.get());
      }
      operation.reset();
      const std::lock_guard state(stateMutex_);
      done = pending.done;
      reason = reason_;
    }
    if (!done) {
      throw SoundServerUnreachable(lost ? reason : "it did not answer within 1 second");
    }
    if (!pending.success) {
      throw SoundServerRefusal(pending.error);
    }
    return pending;
  }

  // Starts `count` requests at once and waits for their answers together;
  // refusals are the caller's to read in what it returns. Throws
  // SoundServerUnreachable like run().
  template <class Start>
  std::vector<Pending> runAll(std::size_t count, Start start) {
    std::vector<Pending> pending(count);  // never resized: the callbacks hold pointers
    std::vector<OperationPtr> operations;
    std::uint64_t generation = 0;
    {
      const MainloopLock lock(mainloop_.get());
      {
        const std::lock_guard state(stateMutex_);
        if (link_ != Link::ready) {
          throw SoundServerUnreachable(link_ == Link::down ? reason_ : "it is still connecting");
        }
        generation = generation_;
      }
      for (std::size_t i = 0; i < count; ++i) {
        pending[i].owner = this;
        operations.emplace_back(start(i, context_.get(), &pending[i]));
        if (!operations.back()) {
          complete(pending[i], false, lastError());
        }
      }
    }
    bool lost = false;
    {
      std::unique_lock state(stateMutex_);
      changed_.wait_for(state, answerLimit, [&] {
        return generation_ != generation ||
               std::all_of(pending.begin(), pending.end(), [](const Pending& p) { return p.done; });
      });
      lost = generation_ != generation;
    }
    const MainloopLock lock(mainloop_.get());
    // After this no callback, holding a pointer into `pending`, runs.
    for (OperationPtr& operation : operations) {
      if (operation && pa_operation_get_state(operation.get()) == PA_OPERATION_RUNNING) {
        pa_operation_cancel(operation.get());
      }
      operation.reset();
    }
    const std::lock_guard state(stateMutex_);
    if (lost ||
        !std::all_of(pending.begin(), pending.end(), [](const Pending& p) { return p.done; })) {
      throw SoundServerUnreachable(lost ? reason_ : "it did not answer within 1 second");
    }
    return pending;
  }

  // The moves not yet seen to hold, as awaitStreamOn() sees them, all
  // waited for together; a stream that ended counts as settled.
  std::vector<Move> unsettled(const std::vector<Move>& moves, StreamProbe& probe) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + moveLimit;
    std::vector<std::optional<Clock::time_point>> seenAt(moves.size());
    std::vector<bool> settled(moves.size(), false);
    while (true) {
      for (std::size_t i = 0; i < moves.size(); ++i) {
        if (settled[i]) {
          continue;
        }
        refreshStream(moves[i].stream);
        std::optional<std::uint32_t> target;
        {
          const std::lock_guard state(stateMutex_);
          const Placement placement = placementLocked(moves[i].stream, moves[i].sink);
          if (placement == Placement::gone || (probe.failed() && placement == Placement::there)) {
            settled[i] = true;
            continue;
          }
          if (const Device* sink = state_.findDevice(false, moves[i].sink)) {
            target = sink->index;
          }
        }
        if (target && probe.sinkOf(moves[i].stream, answerLimit) == target) {
          seenAt[i] = seenAt[i].value_or(Clock::now());
          settled[i] = Clock::now() - *seenAt[i] >= moveSettle;
        } else {
          seenAt[i].reset();
        }
      }
      std::vector<Move> left;
      bool waiting = false;
      for (std::size_t i = 0; i < moves.size(); ++i) {
        if (!settled[i]) {
          left.push_back(moves[i]);
          waiting = waiting || seenAt[i].has_value();
        }
      }
      if (left.empty() || (Clock::now() >= deadline && !waiting)) {
        return left;
      }
      std::unique_lock state(stateMutex_);
      changed_.wait_for(state, moveRecheck, [&] { return link_ != Link::ready; });
      if (link_ != Link::ready) {
        throw SoundServerUnreachable(reason_);
      }
    }
  }

  void complete(Pending& pending, bool success, std::string error = {}) {
    {
      const std::lock_guard state(stateMutex_);
      pending.done = true;
      pending.success = success;
      pending.error = std::move(error);
    }
    changed_.notify_all();
  }

  std::string lastError() const { return pa_strerror(pa_context_errno(context_.get())); }

  static void onSuccess(pa_context*, int success, void* userdata) {
    auto* pending = static_cast<Pending*>(userdata);
    Impl& self = *pending->owner;
    self.complete(*pending, success != 0, success != 0 ? std::string() : self.lastError());
  }

  static void onIndex(pa_context*, std::uint32_t index, void* userdata) {
    auto* pending = static_cast<Pending*>(userdata);
    Impl& self = *pending->owner;
    pending->index = index;
    self.complete(*pending, index != PA_INVALID_INDEX,
                  index != PA_INVALID_INDEX ? std::string() : self.lastError());
  }

  // Connecting.

  void connectNow() {
    ProplistPtr properties(pa_proplist_new());
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, "kestruned");
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, "kestruned");
    context_.reset(pa_context_new_with_proplist(api(), "kestruned", properties.get()));
    if (!context_) {
      connectionLost("libpulse could not create a connection");
      return;
    }
    pa_context_set_state_callback(context_.get(), onContextState, this);
    pa_context_set_subscribe_callback(context_.get(), onEvent, this);
    {
      const std::lock_guard state(stateMutex_);
      link_ = Link::connecting;
    }
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      connectionLost(lastError());
    }
  }

  static void onContextState(pa_context* context, void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    switch (pa_context_get_state(context)) {
      case PA_CONTEXT_READY:
        self.startSync();
        break;
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        self.connectionLost(self.lastError());
        break;
      default:
        break;
    }
  }

  void connectionLost(std::string reason) {
    bool wasReady = false;
    {
      const std::lock_guard state(stateMutex_);
      wasReady = link_ == Link::ready;
      if (link_ == Link::down && reason_ == reason && retry_ != nullptr) {
        return;
      }
      link_ = Link::down;
      reason_ = std::move(reason);
      state_ = SoundState{};
      rawVolumes_.clear();
      ++generation_;
    }
    changed_.notify_all();
    if (wasReady) {
      log_("lost the sound server: " + reason_);
      observer_(SoundEvent{SoundEventKind::disconnected});
    } else if (!reportedAbsence_) {
      reportedAbsence_ = true;
      log_("the sound server is not reachable (" + reason_ + "); waiting for it");
    }
    scheduleRetry();
  }

  void scheduleRetry() {
    if (retry_ != nullptr) {
      return;
    }
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), retryMicroseconds);
    retry_ = api()->time_new(api(), &when, onRetry, this);
  }

  static void onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    api->time_free(event);
    self.retry_ = nullptr;
    self.connectNow();
  }

  // Fills the picture: server, sinks, sources, streams; then it is ready.
  void startSync() {
    {
      const std::lock_guard state(stateMutex_);
      state_ = SoundState{};
      state_.ownClient = indexOrNothing(pa_context_get_index(context_.get()));
      rawVolumes_.clear();
    }
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT |
        PA_SUBSCRIPTION_MASK_SERVER);
    unrefLater(pa_context_subscribe(context_.get(), mask, nullptr, nullptr));
    // The answers come on this thread, so none can arrive before all are counted.
    syncing_ = 0;
    syncing_ += unrefLater(pa_context_get_server_info(context_.get(), onServerSync, this));
    syncing_ += unrefLater(pa_context_get_sink_info_list(context_.get(), onSinkSync, this));
    syncing_ += unrefLater(pa_context_get_source_info_list(context_.get(), onSourceSync, this));
    syncing_ += unrefLater(pa_context_get_sink_input_info_list(context_.get(), onStreamSync, this));
    if (syncing_ < 4) {
      connectionLost("the server refused to describe itself: " + lastError());
    }
  }

  // Whether the request started.
  static bool unrefLater(pa_operation* operation) {
    if (operation == nullptr) {
      return false;
    }
    pa_operation_unref(operation);  // libpulse keeps it until it completes
    return true;
  }

  void syncStepDone() {
    if (--syncing_ > 0) {
      return;
    }
    std::string server;
    {
      const std::lock_guard state(stateMutex_);
      link_ = Link::ready;
      server = state_.serverName;
    }
    changed_.notify_all();
    reportedAbsence_ = false;
    log_("connected to the sound server (" + server + ")");
    observer_(SoundEvent{SoundEventKind::connected});
  }

  static void onServerSync(pa_context*, const pa_server_info* info, void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    if (info != nullptr) {
      self.storeServer(*info);
    }
    self.syncStepDone();
  }
  static void onSinkSync(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    if (eol != 0) {
      self.syncStepDone();
    } else if (info != nullptr) {
      self.storeSink(*info);
    }
  }
  static void onSourceSync(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    if (eol != 0) {
      self.syncStepDone();
    } else if (info != nullptr) {
      self.storeSource(*info);
    }
  }
  static void onStreamSync(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    if (eol != 0) {
      self.syncStepDone();
    } else if (info != nullptr) {
      self.storeStream(*info);
    }
  }

  // Following the server's events.

  static void onEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                      void* userdata) {
    auto& self = *static_cast<Impl*>(userdata);
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto what = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (what == PA_SUBSCRIPTION_EVENT_REMOVE) {
      self.forget(facility, index);
      return;
    }
    switch (facility) {
      case PA_SUBSCRIPTION_EVENT_SINK:
        unrefLater(pa_context_get_sink_info_by_index(context, index, onSinkEvent, userdata));
        break;
      case PA_SUBSCRIPTION_EVENT_SOURCE:
        unrefLater(pa_context_get_source_info_by_index(context, index, onSourceEvent, userdata));
        break;
      case PA_SUBSCRIPTION_EVENT_SINK_INPUT:
        if (what == PA_SUBSCRIPTION_EVENT_NEW) {
          self.announce_.insert(index);
        }
        unrefLater(pa_context_get_sink_input_info(context, index, onStreamEvent, userdata));
        break;
      case PA_SUBSCRIPTION_EVENT_SERVER:
        unrefLater(pa_context_get_server_info(context, onServerEvent, userdata));
        break;
      default:
        break;
    }
  }

  static void onSinkEvent(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    if (eol == 0 && info != nullptr) {
      static_cast<Impl*>(userdata)->storeSink(*info);
    }
  }
  static void onSourceEvent(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol == 0 && info != nullptr) {
      static_cast<Impl*>(userdata)->storeSource(*info);
    }
  }
  static void onStreamEvent(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    if (eol == 0 && info != nullptr) {
      static_cast<Impl*>(userdata)->storeStream(*info);
    }
  }
  static void onServerEvent(pa_context*, const pa_server_info* info, void* userdata) {
    if (info != nullptr) {
      static_cast<Impl*>(userdata)->storeServer(*info);
    }
  }

  // Refreshing one object after a change, so the picture shows it at once.

  void refreshDevice(bool input, const std::string& name) {
    run([&](pa_context* context, Pending* pending) {
      return input
                 ? pa_context_get_source_info_by_name(context, name.c_str(), onSourceRefresh,
                                                      pending)
                 : pa_context_get_sink_info_by_name(context, name.c_str(), onSinkRefresh, pending);
    });
  }

  enum class Placement { there, elsewhere, gone };

  Placement placementLocked(std::uint32_t stream, const std::string& sinkName) const {
    const auto found = state_.streams.find(stream);
    if (found == state_.streams.end()) {
      return Placement::gone;
    }
    const Device* sink = state_.findDevice(false, sinkName);
    return sink != nullptr && sink->index == found->second.sink ? Placement::there
                                                                : Placement::elsewhere;
  }

  // Whether the stream is seen on the sink within moveLimit, as the probe
  // sees it (as this connection sees it when the probe has no connection).
  // Throws SoundServerRefusal when the stream has ended.
  bool awaitStreamOn(std::uint32_t stream, const std::string& sinkName, StreamProbe& probe) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + moveLimit;
    bool seen = false;  // on the sink, since `seenAt`
    Clock::time_point seenAt = deadline;
    while (true) {
      refreshStream(stream);
      std::optional<std::uint32_t> target;
      {
        const std::lock_guard state(stateMutex_);
        const Placement placement = placementLocked(stream, sinkName);
        if (placement == Placement::gone) {
          throw SoundServerRefusal("No such stream: " + std::to_string(stream));
        }
        if (probe.failed()) {
          return placement == Placement::there;
        }
        if (const Device* sink = state_.findDevice(false, sinkName)) {
          target = sink->index;
        }
      }
      if (target && probe.sinkOf(stream, answerLimit) == target) {
        if (!seen) {
          seen = true;
          seenAt = Clock::now();
        }
        if (Clock::now() - seenAt >= moveSettle) {
          return true;
        }
      } else {
        seen = false;
      }
      if (Clock::now() >= deadline && !seen) {
        return false;
      }
      std::unique_lock state(stateMutex_);
      changed_.wait_for(state, moveRecheck, [&] { return link_ != Link::ready; });
      if (link_ != Link::ready) {
        throw SoundServerUnreachable(reason_);
      }
    }
  }

  // What people read for a stream and a sink in a sentence.
  std::string streamLabelLocked(std::uint32_t stream) const {
    const auto found = state_.streams.find(stream);
    const std::string name =
        found != state_.streams.end() ? found->second.property(PA_PROP_APPLICATION_NAME) : "";
    return name.empty() ? "stream " + std::to_string(stream) : name;
  }
  std::string sinkLabelLocked(const std::string& sinkName) const {
    const Device* sink = state_.findDevice(false, sinkName);
    return sink != nullptr ? sink->description : sinkName;
  }

  void refreshStream(std::uint32_t stream) {
    run([&](pa_context* context, Pending* pending) {
      return pa_context_get_sink_input_info(context, stream, onStreamRefresh, pending);
    });
  }

  template <class Info, void (Impl::*store)(const Info&)>
  static void refreshed(const Info* info, int eol, void* userdata) {
    auto* pending = static_cast<Pending*>(userdata);
    if (eol == 0 && info != nullptr) {
      (pending->owner->*store)(*info);
    } else if (eol != 0) {
      // A negative end means the object went away meanwhile: the events say so.
      pending->owner->complete(*pending, true);
    }
  }
  static void onSinkRefresh(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    refreshed<pa_sink_info, &Impl::storeSink>(info, eol, userdata);
  }
  static void onSourceRefresh(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    refreshed<pa_source_info, &Impl::storeSource>(info, eol, userdata);
  }
  static void onStreamRefresh(pa_context*, const pa_sink_input_info* info, int eol,
                              void* userdata) {
    refreshed<pa_sink_input_info, &Impl::storeStream>(info, eol, userdata);
  }
  static void onServerRefresh(pa_context*, const pa_server_info* info, void* userdata) {
    auto* pending = static_cast<Pending*>(userdata);
    if (info != nullptr) {
      pending->owner->storeServer(*info);
    }
    pending->owner->complete(*pending, true);
  }

  // The picture. Called on libpulse's thread.

  void storeServer(const pa_server_info& info) {
    bool changed = false;
    {
      const std::lock_guard state(stateMutex_);
      const std::string sink = info.default_sink_name != nullptr ? info.default_sink_name : "";
      const std::string source =
          info.default_source_name != nullptr ? info.default_source_name : "";
      changed =
          link_ == Link::ready && (sink != state_.defaultSink || source != state_.defaultSource);
      state_.serverName = info.server_name != nullptr ? info.server_name : "";
      state_.defaultSink = sink;
      state_.defaultSource = source;
    }
    changed_.notify_all();
    if (changed) {
      observer_(SoundEvent{SoundEventKind::defaultsChanged});
    }
    pictureChanged();
  }

  void storeSink(const pa_sink_info& info) {
    {
      const std::lock_guard state(stateMutex_);
      state_.sinks[info.index] = deviceFrom(info, false);
      rawVolumes_[key(Kind::sink, info.index)] = info.volume;
    }
    devicesChanged();
    pictureChanged();
  }

  void storeSource(const pa_source_info& info) {
    if (info.monitor_of_sink != PA_INVALID_INDEX) {
      return;  // a sink's monitor, not a device
    }
    {
      const std::lock_guard state(stateMutex_);
      state_.sources[info.index] = deviceFrom(info, true);
      rawVolumes_[key(Kind::source, info.index)] = info.volume;
    }
    devicesChanged();
    pictureChanged();
  }

  void storeStream(const pa_sink_input_info& info) {
    {
      const std::lock_guard state(stateMutex_);
      state_.streams[info.index] = streamFrom(info);
      rawVolumes_[key(Kind::stream, info.index)] = info.volume;
    }
    if (announce_.erase(info.index) > 0) {
      observer_(SoundEvent{SoundEventKind::streamAppeared, info.index});
    }
    pictureChanged();
  }

  // Tells the observer that a device of a complete picture changed.
  void devicesChanged() {
    {
      const std::lock_guard state(stateMutex_);
      if (link_ != Link::ready) {
        return;
      }
    }
    observer_(SoundEvent{SoundEventKind::devicesChanged});
  }

  // Tells the observer of every change of a complete picture; while it is
  // being synced, `connected` says it once at the end.
  void pictureChanged() {
    {
      const std::lock_guard state(stateMutex_);
      if (link_ != Link::ready) {
        return;
      }
    }
    observer_(SoundEvent{SoundEventKind::pictureChanged});
  }

  void forget(unsigned facility, std::uint32_t index) {
    if (forgetLocked(facility, index)) {
      devicesChanged();
    }
    pictureChanged();
  }

  // Whether a device went.
  bool forgetLocked(unsigned facility, std::uint32_t index) {
    const std::lock_guard state(stateMutex_);
    switch (facility) {
      case PA_SUBSCRIPTION_EVENT_SINK:
        rawVolumes_.erase(key(Kind::sink, index));
        return state_.sinks.erase(index) > 0;
      case PA_SUBSCRIPTION_EVENT_SOURCE:
        rawVolumes_.erase(key(Kind::source, index));
        return state_.sources.erase(index) > 0;
      case PA_SUBSCRIPTION_EVENT_SINK_INPUT:
        state_.streams.erase(index);
        rawVolumes_.erase(key(Kind::stream, index));
        announce_.erase(index);
        return false;
      default:
        return false;
    }
  }

  // Channel volumes as the server gave them, to scale keeping the balance.
  enum class Kind { sink, source, stream };
  static std::pair<Kind, std::uint32_t> key(Kind kind, std::uint32_t index) {
    return {kind, index};
  }

  pa_cvolume rawVolume(bool input, const std::string& name) {
    const std::lock_guard state(stateMutex_);
    const Device* device = state_.findDevice(input, name);
    if (device == nullptr) {
      throw SoundServerRefusal("No such device: " + name);
    }
    return rawVolumes_.at(key(input ? Kind::source : Kind::sink, device->index));
  }

  pa_cvolume rawStreamVolume(std::uint32_t stream) {
    const std::lock_guard state(stateMutex_);
    const auto found = rawVolumes_.find(key(Kind::stream, stream));
    if (found == rawVolumes_.end()) {
      throw SoundServerRefusal("No such stream: " + std::to_string(stream));
    }
    return found->second;
  }

  Observer observer_;
  Log log_;
  MainloopPtr mainloop_;
  // Touched only under libpulse's lock (or on its thread).
  ContextPtr context_;
  pa_time_event* retry_ = nullptr;
  int syncing_ = 0;
  bool reportedAbsence_ = false;
  std::set<std::uint32_t> announce_;  // new streams whose first picture is due
  // The picture, shared with the callers' threads.
  std::mutex stateMutex_;
  std::condition_variable changed_;
  Link link_ = Link::connecting;
  std::string reason_ = "not connected yet";
  std::uint64_t generation_ = 0;
  SoundState state_;
  std::map<std::pair<Kind, std::uint32_t>, pa_cvolume> rawVolumes_;
};

PulseSoundServer::PulseSoundServer(Observer observer, Log log)
    : impl_(std::make_unique<Impl>(std::move(observer), std::move(log))) {}

PulseSoundServer::~PulseSoundServer() = default;

void PulseSoundServer::waitForFirstAttempt(std::chrono::milliseconds limit) {
  impl_->waitForFirstAttempt(limit);
}
SoundState PulseSoundServer::snapshot() {
  return impl_->snapshot();
}
bool PulseSoundServer::ready() {
  return impl_->ready();
}
void PulseSoundServer::setDeviceVolume(bool input, const std::string& name, double percent) {
  impl_->setDeviceVolume(input, name, percent);
}
void PulseSoundServer::setDeviceMute(bool input, const std::string& name, bool muted) {
  impl_->setDeviceMute(input, name, muted);
}
void PulseSoundServer::setDefaultDevice(bool input, const std::string& name) {
  impl_->setDefaultDevice(input, name);
}
void PulseSoundServer::setStreamVolume(std::uint32_t stream, double percent) {
  impl_->setStreamVolume(stream, percent);
}
void PulseSoundServer::setStreamMute(std::uint32_t stream, bool muted) {
  impl_->setStreamMute(stream, muted);
}
void PulseSoundServer::moveStream(std::uint32_t stream, const std::string& sinkName) {
  impl_->moveStream(stream, sinkName);
}
std::uint32_t PulseSoundServer::loadModule(const std::string& name, const std::string& arguments) {
  return impl_->loadModule(name, arguments);
}
void PulseSoundServer::unloadModule(std::uint32_t module) {
  impl_->unloadModule(module);
}
std::vector<std::string> PulseSoundServer::restore(const std::vector<Move>& moves,
                                                   const std::vector<std::uint32_t>& modules) {
  return impl_->restore(moves, modules);
}

}  // namespace kestrune::daemon
