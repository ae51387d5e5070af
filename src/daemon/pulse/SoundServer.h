#pragma once
// What the daemon needs of the machine's sound server, in its own terms: a
// picture of the devices and playback streams kept current by the server's
// events, and the few changes it makes. Every change has been acknowledged
// by the server, and the picture updated, when the call returns.

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::daemon {

using Properties = std::map<std::string, std::string, std::less<>>;

// A sink (output) or source (input). Monitors of sinks are not devices and
// never appear here.
struct Device {
  std::uint32_t index = 0;
  std::string name;         // stable across restarts
  std::string description;  // what people read
  bool isInput = false;
  double volume = 0;   // mean of the channels, in percent (100 = normal)
  double balance = 0;  // -1 (left) to 1 (right)
  bool muted = false;
  std::uint32_t sampleRate = 0;
  std::optional<std::uint32_t> ownerModule;
  std::string driver;
  Properties properties;
};

// A playback stream (sink input).
struct Stream {
  std::uint32_t index = 0;
  std::optional<std::uint32_t> client;  // absent for the streams of server modules
  std::uint32_t sink = 0;
  double volume = 0;   // mean of the channels, in percent (100 = unchanged)
  double balance = 0;  // -1 (left) to 1 (right)
  bool muted = false;
  std::optional<std::uint32_t> ownerModule;
  Properties properties;

  // The property's value, or empty.
  std::string property(std::string_view key) const;
};

struct SoundState {
  std::string serverName;
  std::string defaultSink;
  std::string defaultSource;
  std::map<std::uint32_t, Device> sinks;
  std::map<std::uint32_t, Device> sources;
  std::map<std::uint32_t, Stream> streams;
  std::optional<std::uint32_t> ownClient;  // the daemon's own connection

  const Device* findDevice(bool input, std::string_view name) const;
  const Device* sinkByIndex(std::uint32_t index) const;
};

// The server is not there (or stopped answering); says why.
class SoundServerUnreachable : public std::exception {
 public:
  explicit SoundServerUnreachable(std::string reason)
      : description_("The sound server is not reachable: " + std::move(reason)) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

// The server refused a change (the target went away, a module would not load).
class SoundServerRefusal : public std::exception {
 public:
  explicit SoundServerRefusal(std::string description) : description_(std::move(description)) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

// The server acknowledged a move of a stream, and again when asked once
// more, but the stream stayed where it was (PipeWire's session manager may
// drop a move its pulse server has taken). Says which stream and where to.
class SoundServerIgnoredMove : public std::exception {
 public:
  SoundServerIgnoredMove(const std::string& stream, const std::string& sink)
      : description_("The sound server did not move " + stream + " to " + sink + ".") {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

enum class SoundEventKind {
  connected,        // (again): the picture is complete
  disconnected,     // the picture is empty until the next `connected`
  streamAppeared,   // a new playback stream, with its index
  defaultsChanged,  // the default sink or source is another one
  devicesChanged,   // a sink or source came, went or changed
  pictureChanged    // anything in a complete picture changed
};

struct SoundEvent {
  SoundEventKind kind;
  std::uint32_t stream = 0;
};

class SoundServer {
 public:
  virtual ~SoundServer() = default;

  // The current picture. Throws SoundServerUnreachable.
  virtual SoundState snapshot() = 0;
  // Whether the picture is complete now (snapshot() then answers at once).
  virtual bool ready() = 0;

  // Each throws SoundServerUnreachable or SoundServerRefusal. Volumes keep
  // the balance between channels; `percent` becomes their mean.
  virtual void setDeviceVolume(bool input, const std::string& name, double percent) = 0;
  virtual void setDeviceMute(bool input, const std::string& name, bool muted) = 0;
  virtual void setDefaultDevice(bool input, const std::string& name) = 0;
  virtual void setStreamVolume(std::uint32_t stream, double percent) = 0;
  virtual void setStreamMute(std::uint32_t stream, bool muted) = 0;
  // Returns once the picture shows the stream on the sink; asks again a few
  // times before it throws SoundServerIgnoredMove.
  virtual void moveStream(std::uint32_t stream, const std::string& sinkName) = 0;
  virtual std::uint32_t loadModule(const std::string& name, const std::string& arguments) = 0;
  virtual void unloadModule(std::uint32_t module) = 0;

  // For leaving: moves each stream to its sink, then unloads the modules.
  // Every move is asked for before any is waited for, and every unload
  // likewise, so that all take about the time of one. Returns what would
  // not move, as SoundServerIgnoredMove describes it; throws
  // SoundServerUnreachable.
  struct Move {
    std::uint32_t stream = 0;
    std::string sink;
  };
  virtual std::vector<std::string> restore(const std::vector<Move>& moves,
                                           const std::vector<std::uint32_t>& modules) = 0;
};

}  // namespace kestrune::daemon
