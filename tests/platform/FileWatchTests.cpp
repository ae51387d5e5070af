#include "platform/FileWatch.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/TestSupport.h"

using namespace platform;
using namespace std::chrono_literals;
using testing_support::TemporaryDirectory;

namespace {

constexpr auto patience = 5s;

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return "<absent>";
  }
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeInPlace(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// As the panel writes: a temporary file renamed over the old one.
void writeAndRename(const std::string& path, const std::string& contents) {
  writeInPlace(path + ".new", contents);
  std::filesystem::rename(path + ".new", path);
}

// What the file held each time the watch called, as a reader of it sees.
class Seen {
 public:
  explicit Seen(std::string path) : path_(std::move(path)) {}

  void operator()() {
    const std::string now = contentsOf(path_);
    const std::lock_guard lock(mutex_);
    seen_.push_back(now);
    changed_.notify_all();
  }
  // Whether a call saw the file holding `contents`, within `limit`.
  bool waitFor(const std::string& contents, std::chrono::milliseconds limit = patience) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit,
                             [&] { return !seen_.empty() && seen_.back() == contents; });
  }
  std::size_t calls() {
    const std::lock_guard lock(mutex_);
    return seen_.size();
  }
  // Whether any call comes within `limit`.
  bool anyCallWithin(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return !seen_.empty(); });
  }

 private:
  std::string path_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> seen_;
};

struct Logged {
  void operator()(const std::string& line) {
    const std::lock_guard lock(mutex);
    lines.push_back(line);
  }
  std::mutex mutex;
  std::vector<std::string> lines;
};

TEST(FileWatchTest, ReportsRenameOverWriteAndRemovalOfItsFilesOnly) {
  const TemporaryDirectory directory;
  const std::string file = directory / "devices.json";
  Seen seen(file);
  Logged logged;
  const FileWatch watch(
      directory.path(), {"devices.json", "presets.json"}, [&] { seen(); },
      [&](const std::string& line) { logged(line); });

  // Other files, a temporary beside ours included, come and go unheard.
  writeInPlace(directory / "other.json", "{}");
  writeAndRename(directory / "other.json", "{ }");
  writeInPlace(file + ".new", "{}");
  std::filesystem::remove(file + ".new");
  std::filesystem::remove(directory / "other.json");
  EXPECT_FALSE(seen.anyCallWithin(200ms));

  writeAndRename(file, "renamed into place");
  EXPECT_TRUE(seen.waitFor("renamed into place"));
  writeInPlace(file, "written in place");
  EXPECT_TRUE(seen.waitFor("written in place"));
  std::filesystem::remove(file);
  EXPECT_TRUE(seen.waitFor("<absent>"));
  EXPECT_FALSE(watch.polling());
  EXPECT_TRUE(logged.lines.empty());
}

TEST(FileWatchTest, FollowsADirectoryCreatedLaterRemovedAndCreatedAgain) {
  const TemporaryDirectory scratch;
  const std::string directory = scratch / "config/kestrune";
  const std::string file = directory + "/devices.json";
  Seen seen(file);
  const FileWatch watch(
      directory, {"devices.json"}, [&] { seen(); }, [](const std::string&) {});

  // Two levels at once, with the file written right away, as the panel
  // does on its first write.
  std::filesystem::create_directories(directory);
  writeAndRename(file, "first");
  EXPECT_TRUE(seen.waitFor("first"));

  std::filesystem::remove_all(scratch / "config");
  EXPECT_TRUE(seen.waitFor("<absent>"));
  std::filesystem::create_directories(directory);
  writeAndRename(file, "second");
  EXPECT_TRUE(seen.waitFor("second"));
  writeInPlace(file, "third");
  EXPECT_TRUE(seen.waitFor("third"));
}

TEST(FileWatchTest, WithoutNamesReportsEveryEntryOfTheDirectory) {
  const TemporaryDirectory scratch;
  const std::string directory = scratch / "eq";
  Seen seen(directory + "/hd600.txt");
  const FileWatch watch(
      directory, {}, [&] { seen(); }, [](const std::string&) {});
  std::filesystem::create_directory(directory);
  writeInPlace(directory + "/hd600.txt", "Preamp: -6 dB\n");
  EXPECT_TRUE(seen.waitFor("Preamp: -6 dB\n"));
  std::filesystem::remove(directory + "/hd600.txt");
  EXPECT_TRUE(seen.waitFor("<absent>"));
}

// With no descriptor to spare, inotify cannot be had: the files are
// looked at every second instead, and the log says why.
TEST(FileWatchTest, WithoutInotifyLooksEverySecondAndSaysWhy) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers probe memory through a pipe; without descriptors they
  // report objects they cannot check (the watch's new thread) as broken.
  GTEST_SKIP() << "needs descriptors the sanitizers use";
#endif
  const TemporaryDirectory directory;
  const std::string file = directory / "devices.json";
  Seen seen(file);
  Logged logged;
  std::unique_ptr<FileWatch> watch;
  {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit before = limit;
    const int spare = ::dup(0);
    ASSERT_GE(spare, 0);
    ASSERT_EQ(::close(spare), 0);
    limit.rlim_cur = static_cast<rlim_t>(spare);  // every descriptor below it is taken
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    watch = std::make_unique<FileWatch>(
        directory.path(), std::vector<std::string>{"devices.json"}, [&] { seen(); },
        [&](const std::string& line) { logged(line); });
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &before), 0);
  }
  EXPECT_TRUE(seen.waitFor("<absent>"));  // what happened before is not known
  writeAndRename(file, "looked at");
  EXPECT_TRUE(seen.waitFor("looked at", FileWatch::fallbackPeriod * 3));
  EXPECT_TRUE(watch->polling());
  watch.reset();
  ASSERT_EQ(logged.lines.size(), 1U);
  EXPECT_NE(logged.lines[0].find("inotify_init1 failed"), std::string::npos) << logged.lines[0];
}

TEST(FileWatchTest, StopsAtOnceWhileIdle) {
  const TemporaryDirectory scratch;
  for (const std::string& directory : {scratch.path(), scratch / "absent/yet"}) {
    std::size_t calls = 0;
    auto watch = std::make_unique<FileWatch>(
        directory, std::vector<std::string>{"devices.json"}, [&] { ++calls; },
        [](const std::string&) {});
    const auto before = std::chrono::steady_clock::now();
    watch.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 200ms) << directory;
    EXPECT_EQ(calls, 0U) << directory;
  }
}

}  // namespace
