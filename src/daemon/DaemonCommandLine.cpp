#include "daemon/DaemonCommandLine.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "daemon/AudioRequests.h"
#include "daemon/DaemonHandler.h"
#include "daemon/Equalizers.h"
#include "daemon/InstanceLock.h"
#include "daemon/Memory.h"
#include "daemon/bluetooth/BluetoothService.h"
#include "daemon/media/MediaService.h"
#include "daemon/panel/PanelToggle.h"
#include "daemon/pulse/PulseSoundServer.h"
#include "eq/ProfileFile.h"
#include "eq/SinkModule.h"
#include "eq/UserPresets.h"
#include "platform/Directories.h"
#include "platform/FileWatch.h"
#include "platform/Files.h"
#include "platform/OptionParser.h"
#include "platform/StopSignals.h"
#include "protocol/SocketPath.h"
#include "server/Feed.h"
#include "server/ListeningSocket.h"
#include "server/Server.h"
#include "server/ServerError.h"

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0.0.0"
#endif
#ifndef KESTRUNE_BUILD
#define KESTRUNE_BUILD "unknown"
#endif

namespace kestrune::daemon {

namespace {

constexpr auto firstConnectionWait = std::chrono::seconds(1);

std::optional<std::string> absoluteEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') {
    return std::nullopt;
  }
  return std::string(value);
}

// $HOME as desktop programs use it, else the user database.
std::string homeDirectory() {
  if (auto home = absoluteEnvironment("HOME")) {
    return *home;
  }
  return platform::homeDirectory().value_or("/tmp");
}

// $XDG_<kind>_HOME/kestrune, else ~/<fallback>/kestrune.
std::string baseDirectory(const char* variable, const char* fallback) {
  if (auto base = absoluteEnvironment(variable)) {
    return *base + "/kestrune";
  }
  return homeDirectory() + "/" + fallback + "/kestrune";
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

std::string ownExecutable() {
  std::string buffer(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return length > 0 ? buffer.substr(0, static_cast<std::size_t>(length)) : std::string();
}

bool isExecutable(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

// A kestrune on the PATH, or beside this program.
bool commandLineToolInstalled() {
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    while (!rest.empty()) {
      const auto colon = rest.find(':');
      const std::string directory(rest.substr(0, colon));
      if (!directory.empty() && isExecutable(directory + "/kestrune")) {
        return true;
      }
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  const std::string self = ownExecutable();
  return !self.empty() && isExecutable(directoryOf(self) + "/kestrune");
}

// Writes whole lines to standard error, one at a time from any thread.
class JournalLog {
 public:
  void operator()(const std::string& line) {
    const std::string text = "kestruned: " + line + "\n";
    const std::lock_guard lock(mutex_);
    std::size_t written = 0;
    while (written < text.size()) {
      const ssize_t n = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
      if (n <= 0) {
        return;  // nowhere left to say it
      }
      written += static_cast<std::size_t>(n);
    }
  }

 private:
  std::mutex mutex_;
};

// Hands the sound server's events to the audio worker once there is one.
class EventRelay {
 public:
  void attach(DaemonHandler* handler, AudioRequests* audio) {
    audio_ = audio;
    handler_.store(handler);
  }
  void detach() { handler_.store(nullptr); }
  // Whether a connection was handed on since attach().
  bool forwardedConnection() const { return forwardedConnection_.load(); }

  void operator()(const SoundEvent& event) {
    DaemonHandler* handler = handler_.load();
    if (handler == nullptr) {
      return;  // the first connection is caught up with when the handler starts
    }
    AudioRequests* audio = audio_;
    // Subscribers hear of it once the reaction below has run.
    struct AfterReaction {
      DaemonHandler* handler;
      ~AfterReaction() { handler->audioChanged(); }
    } const publish{handler};
    switch (event.kind) {
      case SoundEventKind::connected:
        forwardedConnection_ = true;
        handler->postAudio([audio] { audio->serverConnected(); });
        break;
      case SoundEventKind::streamAppeared:
        handler->postAudio([audio, stream = event.stream] { audio->streamAppeared(stream); });
        break;
      case SoundEventKind::defaultsChanged:
        handler->postAudio([audio] { audio->defaultsChanged(); });
        break;
      case SoundEventKind::devicesChanged:
        handler->postAudio([audio] { audio->devicesChanged(); });
        break;
      case SoundEventKind::pictureChanged:
        handler->postAudio([audio] { audio->checkCorrections(); });
        break;
      case SoundEventKind::disconnected:
        break;
    }
  }

 private:
  std::atomic<DaemonHandler*> handler_{nullptr};
  std::atomic<bool> forwardedConnection_{false};
  AudioRequests* audio_ = nullptr;
};

void serve(const DaemonOptions& options) {
  // First, so that a signal at any later point still removes the socket.
  const platform::StopSignals signals;
  auto log = std::make_shared<JournalLog>();
  const auto say = [log](const std::string& line) { (*log)(line); };
  // Then the directories and the socket, so that a second instance refuses
  // before it connects to the sound server or touches anything of the
  // first one's.
  const InstanceLock instance({options.configDirectory, options.stateDirectory}, options.socketPath,
                              say);
  const server::ListeningSocket socket(options.socketPath);
  // Before every source, which publish to it until they stop.
  server::Feed feed;

  Memory memory(options.stateDirectory + "/settings.json", say);
  auto relay = std::make_shared<EventRelay>();
  PulseSoundServer sound([relay](const SoundEvent& event) { (*relay)(event); }, say);
  Equalizers equalizers(sound, memory, options.configDirectory, options.stateDirectory,
                        eq::pluginFilePath(), say);
  const DaemonFiles files{options.configDirectory, options.configDirectory + "/profiles.json",
                          options.configDirectory + "/devices.json",
                          options.stateDirectory + "/" + std::string(deviceVolumesFileName)};
  AudioRequests audio(
      sound, memory, &equalizers, files,
      VersionFacts{KESTRUNE_VERSION, KESTRUNE_BUILD, KESTRUNE_VERSION, commandLineToolInstalled()},
      say);
  media::MediaService mediaService;
  bluetooth::BluetoothService bluetoothService;
  panel::PanelToggleOptions panelOptions;
  panelOptions.socketPath = options.socketPath;
  panel::PanelToggle panelToggle(panelOptions);
  DaemonHandler handler(audio, &mediaService, &bluetoothService, &panelToggle);
  handler.publishTo(feed);
  relay->attach(&handler, &audio);
  const bool followsMedia = mediaService.follow([&feed](const media::NowPlaying& playing) {
    feed.update([&playing](FeedState& state) {
      state.media = playing.media;
      state.mediaArtUrl = playing.artUrl;
      state.mediaUnavailable = playing.unavailable;
    });
  });
  const bool followsBluetooth =
      bluetoothService.follow([&feed](const bluetooth::BluetoothList& list) {
        feed.update([&list](FeedState& state) {
          state.bluetooth = list.devices;
          state.bluetoothUnavailable = list.unavailable;
        });
      });
  if (!followsMedia || !followsBluetooth) {
    say("could not start following the media players or Bluetooth; subscribers see none");
  }

  sound.waitForFirstAttempt(firstConnectionWait);
  if (!relay->forwardedConnection()) {
    // Connected before the relay was attached: catch up once.
    handler.postAudio([&audio] { audio.serverConnected(); });
    handler.audioChanged();
  }
  // The first subscriber's snapshot shows the sound server as just read,
  // not the empty picture from before the connection.
  handler.runOnAudio([] {});

  // Corrections follow devices.json, and equalisers the presets they use,
  // without a restart; an idle daemon stays asleep.
  const auto followEdits = [&handler, &audio] {
    handler.postAudio([&audio] { audio.configFilesChanged(); });
  };
  std::optional<platform::FileWatch> configWatch;
  std::optional<platform::FileWatch> profilesWatch;
  configWatch.emplace(
      options.configDirectory,
      std::vector<std::string>{fileNameOf(files.devices), std::string(eq::presetsFileName)},
      followEdits, say);
  profilesWatch.emplace(eq::profileFolderPath(options.configDirectory), std::vector<std::string>{},
                        followEdits, say);
  server::Server server(socket.descriptor(), handler, server::ServerOptions{}, &feed);
  say("listening on " + socket.path());
  server.run(signals.descriptor());

  relay->detach();
  // Nothing is put back after it is taken away.
  configWatch.reset();
  profilesWatch.reset();
  handler.runOnAudio([&equalizers, &audio] {
    equalizers.removeAll();
    audio.quitting();
  });
  say("stopped");
}

}  // namespace

DaemonOptions parseDaemonArguments(const std::vector<std::string>& arguments) {
  DaemonOptions options;
  std::optional<std::string> socket;
  std::optional<std::string> config;
  const auto refusal = platform::OptionParser()
                           .flag({"-h", "--help"}, options.showHelp)
                           .flag({"--version"}, options.showVersion)
                           .path("--socket", socket)
                           .path("--config", config)
                           .parse(arguments);
  if (refusal) {
    throw DaemonUsageError(*refusal);
  }
  options.socketPath = socket ? *socket : defaultSocketPath();
  options.configDirectory = config ? *config : baseDirectory("XDG_CONFIG_HOME", ".config");
  options.stateDirectory = config ? *config : baseDirectory("XDG_STATE_HOME", ".local/state");
  return options;
}

std::string daemonHelpText() {
  return "OVERVIEW: The Kestrune application on Linux, for the kestrune command-line tool.\n"
         "\n"
         "It answers the tool's requests on a Unix-domain socket from the machine's sound\n"
         "server (PulseAudio or PipeWire), its media players and Bluetooth.\n"
         "\n"
         "USAGE: kestruned [--socket <path>] [--config <dir>]\n"
         "\n"
         "OPTIONS:\n"
         "  --socket <path>         Socket to listen on (default: " +
         defaultSocketPath() +
         ").\n"
         "  --config <dir>          Directory for the configuration files and what the\n"
         "                          daemon remembers (default: $XDG_CONFIG_HOME/kestrune\n"
         "                          and $XDG_STATE_HOME/kestrune).\n"
         "  --version               Show the version.\n"
         "  -h, --help              Show this help.\n"
         "\n"
         "SIGINT or SIGTERM stops it, removes the socket and puts the audio back as it\n"
         "found it.\n";
}

std::string daemonVersionText() {
  return std::string("kestruned ") + KESTRUNE_VERSION + " (" + KESTRUNE_BUILD + ")\n";
}

int daemonMain(const std::vector<std::string>& arguments, std::ostream& out) {
  JournalLog log;
  try {
    const DaemonOptions options = parseDaemonArguments(arguments);
    if (options.showHelp || options.showVersion) {
      out << (options.showHelp ? daemonHelpText() : daemonVersionText());
      out.flush();
      return out ? 0 : 1;
    }
    serve(options);
    return 0;
  } catch (const DaemonUsageError& error) {
    log(error.description() + "\nRun 'kestruned --help' for usage.");
    return 64;
  } catch (const server::ServerError& error) {
    log(error.description());
    return 1;
  } catch (const platform::StopSignalsError& error) {
    log(error.what());
    return 1;
  } catch (const std::exception& error) {
    log(std::string("internal error: ") + error.what());
    return 1;
  }
}

}  // namespace kestrune::daemon
