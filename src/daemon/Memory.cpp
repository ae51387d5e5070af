#include "daemon/Memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "eq/TextPosition.h"
#include "json/Decoder.h"
#include "json/Value.h"
#include "platform/ConfigFile.h"
#include "platform/FileDescriptor.h"
#include "platform/Files.h"

namespace kestrune::daemon {

namespace {

constexpr double maxAppVolume = 200;
// Enough to find the problems by hand; the rest are only counted.
constexpr std::size_t placedProblems = 10;
// A temporary file this much older than the start is no save in progress.
constexpr std::chrono::seconds staleAfter{60};

json::Value encode(const AppSettings& settings) {
  return json::ObjectBuilder()
      .addIfPresent("volume", settings.volume)
      .addIfPresent("muted", settings.muted)
      .addIfPresent("device", settings.device)
      .addIfPresent("eq", settings.eqPreset)
      .addIfPresent("balance", settings.balance)
      .build();
}

// Reads what can be read, noting each member that cannot.
class SettingsDecoding {
 public:
  SettingsDecoding(std::string_view text, const std::string& path) : text_(text), path_(path) {}

  RememberedSettings decode() {
    json::Value root;
    try {
      root = json::parse(text_);
    } catch (const json::ParseError& error) {
      add(error.line(), error.column(), error.reason());
      return std::move(result_);
    }
    try {
      const auto top = json::Decoder(root).keyed("Settings");
      result_.silentMode = member<bool>(top, "silentMode").value_or(false);
      if (top.contains("apps")) {
        decodeApps(top.nested("apps"));
      }
    } catch (const json::DecodingError& error) {
      note(error);
    }
    if (skipped_ > 0) {
      result_.problems.push_back(path_ + ": and " + std::to_string(skipped_) +
                                 " more values that cannot be read");
    }
    return std::move(result_);
  }

 private:
  void decodeApps(const json::KeyedDecoder& apps) {
    for (const auto& id : apps.allKeys()) {
      try {
        const auto app = apps.nested(id, "AppSettings");
        AppSettings settings;
        settings.volume = inRange(app, "volume", 0, maxAppVolume);
        settings.muted = member<bool>(app, "muted");
        settings.device = member<std::string>(app, "device");
        settings.eqPreset = member<std::string>(app, "eq");
        settings.balance = inRange(app, "balance", -1, 1);
        result_.apps[std::string(id)] = std::move(settings);
      } catch (const json::DecodingError& error) {
        note(error);
      }
    }
  }

  template <class T>
  std::optional<T> member(const json::KeyedDecoder& object, std::string_view key) {
    try {
      return object.decodeIfPresent<T>(key);
    } catch (const json::DecodingError& error) {
      note(error);
      return std::nullopt;
    }
  }

  std::optional<double> inRange(const json::KeyedDecoder& object, std::string_view key, double low,
                                double high) {
    const auto value = member<double>(object, key);
    if (value && !(*value >= low && *value <= high)) {
      note(object.member(key).dataCorrupted("Expected a number from " + json::numberText(low) +
                                            " to " + json::numberText(high)));
      return std::nullopt;
    }
    return value;
  }

  void note(const json::DecodingError& error) {
    if (result_.problems.size() >= placedProblems) {
      ++skipped_;
      return;
    }
    const auto at = eq::positionOf(text_, eq::offsetOf(text_, error.codingPath()));
    add(at.line, at.column, error.debugDescription());
  }

  void add(std::size_t line, std::size_t column, const std::string& reason) {
    result_.problems.push_back(path_ + ":" + std::to_string(line) + ":" + std::to_string(column) +
                               ": " + reason);
  }

  std::string_view text_;
  const std::string& path_;
  RememberedSettings result_;
  std::size_t skipped_ = 0;
};

std::string parentOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// ".settings.json." and six letters or digits: what writeFileAtomically
// names its temporary files.
bool isTemporaryOf(const std::string& name, const std::string& fileName) {
  const std::string prefix = "." + fileName + ".";
  constexpr std::size_t suffixLength = 6;
  if (name.size() != prefix.size() + suffixLength || name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (!std::isalnum(c)) {
      return false;
    }
  }
  return true;
}

// Creates `copy` with the text, never replacing a file already there.
void writeNew(const std::string& copy, const std::string& text) {
  const platform::FileDescriptor file(
      ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!file) {
    throw platform::FileError("Could not keep a copy as \"" + copy + "\": " + std::strerror(errno));
  }
  std::size_t offset = 0;
  while (offset < text.size()) {
    const ssize_t written = ::write(file.get(), text.data() + offset, text.size() - offset);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written < 0 || ::fsync(file.get()) != 0) {
      const int error = errno;
      static_cast<void>(::unlink(copy.c_str()));  // a partial copy is no copy
      throw platform::FileError("Could not keep a copy as \"" + copy +
                                "\": " + std::strerror(error));
    }
    offset += static_cast<std::size_t>(written);
  }
}

}  // namespace

RememberedSettings decodeSettings(std::string_view text, const std::string& path) {
  return SettingsDecoding(text, path).decode();
}

Memory::Memory(std::optional<std::string> path, Log log)
    : path_(std::move(path)), log_(std::move(log)) {
  load();
  removeTemporaries(false);
}

void Memory::load() {
  if (!path_) {
    return;
  }
  std::optional<platform::ConfigText> read;
  try {
    read = platform::readConfigText(*path_);
  } catch (const platform::ConfigReadError& error) {
    // A FIFO or a device in its place holds nothing of ours to keep.
    damaged_ = error.kind() != platform::ConfigReadError::Kind::notRegular;
    log_("ignoring the remembered settings: " + error.description());
    return;
  }
  if (!read) {
    return;
  }
  RememberedSettings settings = decodeSettings(read->text, *path_);
  apps_ = std::move(settings.apps);
  silentMode_ = settings.silentMode;
  if (!settings.problems.empty()) {
    damaged_ = true;
    damagedText_ = std::move(read->text);
    for (const auto& problem : settings.problems) {
      log_("ignoring part of the remembered settings: " + problem);
    }
  }
}

void Memory::removeTemporaries(bool evenRecent) const {
  if (!path_) {
    return;
  }
  const std::string fileName = std::filesystem::path(*path_).filename().string();
  const auto now = std::chrono::system_clock::now();
  std::error_code error;
  std::filesystem::directory_iterator entries(parentOf(*path_), error);
  if (error) {
    return;  // no directory yet: nothing left behind
  }
  std::size_t removed = 0;
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    struct stat info {};
    if (!isTemporaryOf(name, fileName) || ::lstat(entry.path().c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
      continue;
    }
    const auto modified = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec);
    if (!evenRecent && now - modified < staleAfter) {
      continue;  // perhaps another instance saving right now; removed at our first save
    }
    if (::unlink(entry.path().c_str()) == 0) {
      ++removed;
    }
  }
  if (removed > 0) {
    log_("removed " + std::to_string(removed) + " temporary files of interrupted saves beside " +
         *path_);
  }
}

void Memory::keepDamagedOriginal() {
  const std::string copy = *path_ + ".damaged";
  // A second name for the same file: instant whatever its size, and never
  // replacing an earlier copy.
  if (::link(path_->c_str(), copy.c_str()) == 0) {
    log_("the remembered settings could not be read whole; the file is kept as " + copy);
  } else if (errno == EEXIST) {
    log_("the remembered settings could not be read whole; an earlier damaged file is kept as " +
         copy + ", this one is replaced");
  } else if (errno != ENOENT) {
    if (!damagedText_) {
      throw platform::FileError("Could not keep a copy as \"" + copy +
                                "\": " + std::strerror(errno));
    }
    writeNew(copy, *damagedText_);
    log_("the remembered settings could not be read whole; a copy is kept as " + copy);
  }
  damaged_ = false;
  damagedText_.reset();
}

void Memory::save() {
  if (!path_) {
    return;
  }
  if (!savedOnce_) {
    // Answering requests, this is the daemon of this state directory.
    removeTemporaries(true);
    savedOnce_ = true;
  }
  json::Object apps;
  for (const auto& [id, settings] : apps_) {
    if (!settings.empty()) {
      apps.set(id, encode(settings));
    }
  }
  const json::Value root =
      json::ObjectBuilder().add("silentMode", silentMode_).add("apps", std::move(apps)).build();
  try {
    platform::createDirectories(parentOf(*path_));
    if (damaged_) {
      keepDamagedOriginal();
    }
    platform::writeFileAtomically(*path_, json::writePretty(root) + "\n");
    saveProblem_.reset();
  } catch (const std::exception& error) {
    // The change stands for this run; the reply says why it will not last.
    log_("could not save the remembered settings to " + *path_ + ": " + error.what());
    saveProblem_ = std::string("This change will not survive a restart. ") + error.what() + ".";
  }
}

std::optional<std::string> Memory::takeSaveProblem() {
  const std::lock_guard lock(mutex_);
  return std::exchange(saveProblem_, std::nullopt);
}

std::optional<AppSettings> Memory::app(const std::string& id) const {
  const std::lock_guard lock(mutex_);
  const auto found = apps_.find(id);
  if (found == apps_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void Memory::updateApp(const std::string& id, const std::function<void(AppSettings&)>& change) {
  const std::lock_guard lock(mutex_);
  change(apps_[id]);
  save();
}

bool Memory::silentMode() const {
  const std::lock_guard lock(mutex_);
  return silentMode_;
}

void Memory::setSilentMode(bool on) {
  const std::lock_guard lock(mutex_);
  silentMode_ = on;
  save();
}

}  // namespace kestrune::daemon
