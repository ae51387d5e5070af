#pragma once
// A configuration file decoded once per version: asking again costs a stat
// while the file is unchanged. Reading and decoding happen on a thread of
// their own, never on one that answers clients, and are waited for only so
// long; a read that takes longer is answered with an error now and its
// result is used once it arrives.

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "daemon/Config.h"
#include "daemon/Worker.h"
#include "platform/ConfigFile.h"

namespace kestrune::daemon {

// The thread that reads the daemon's files for every WatchedFile.
class FileReader {
 public:
  FileReader() : worker_("kestruned-files") {}
  void post(std::function<void()> job) { worker_.post(std::move(job)); }

 private:
  Worker worker_;
};

template <class Value>
class WatchedFile {
 public:
  // Turns the text of the file into its value; throws ConfigFileError (or
  // any exception, reported the same way each time the version is asked for).
  using Decode = std::function<Value(const std::string& text)>;
  static constexpr std::chrono::milliseconds patience{2000};

  WatchedFile(std::string path, Decode decode, FileReader& reader)
      : path_(std::move(path)), decode_(std::move(decode)), reader_(reader) {}

  const std::string& path() const { return path_; }

  // The value of the file as it is now; no file gives the empty value.
  // Throws what decoding threw, or ConfigFileError for a file that cannot
  // be read (in time).
  Value current() {
    const std::lock_guard lock(mutex_);
    const auto version = platform::versionOf(path_);
    if (!known_ || known_->version != version) {
      refresh();
    }
    if (known_->failure) {
      std::rethrow_exception(known_->failure);
    }
    return known_->value;
  }

 private:
  struct Outcome {
    std::optional<platform::FileVersion> version;
    Value value{};
    std::exception_ptr failure;
  };
  // What the reader thread hands back; shared, so that a read given up on
  // still has somewhere to land.
  struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<Outcome> outcome;
  };

  void refresh() {
    if (!pending_) {
      pending_ = std::make_shared<Pending>();
      reader_.post([pending = pending_, path = path_, decode = decode_] {
        Outcome outcome = readAndDecode(path, decode);
        const std::lock_guard lock(pending->mutex);
        pending->outcome = std::move(outcome);
        pending->done.notify_all();
      });
    }
    std::unique_lock lock(pending_->mutex);
    if (!pending_->done.wait_for(lock, patience, [&] { return pending_->outcome.has_value(); })) {
      throw ConfigFileError(path_, "could not be read in time");
    }
    known_ = std::move(*pending_->outcome);
    lock.unlock();
    pending_.reset();
  }

  static Outcome readAndDecode(const std::string& path, const Decode& decode) {
    Outcome outcome;
    try {
      auto text = platform::readConfigText(path);
      if (text) {
        outcome.version = text->version;
        outcome.value = decode(text->text);
      }
    } catch (const platform::ConfigReadError& error) {
      // Refused before reading: the version is what the path shows now.
      outcome.version = platform::versionOf(path);
      outcome.failure = std::make_exception_ptr(ConfigFileError(path, error.reason()));
    } catch (...) {
      outcome.failure = std::current_exception();
    }
    return outcome;
  }

  std::string path_;
  Decode decode_;
  FileReader& reader_;
  std::mutex mutex_;
  std::optional<Outcome> known_;
  std::shared_ptr<Pending> pending_;
};

}  // namespace kestrune::daemon
