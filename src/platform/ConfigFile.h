#pragma once
// Reading the small files a user edits by hand (configuration, remembered
// settings) without trusting what sits at the path: only a regular file (a
// symbolic link to one is fine) of a bounded size is read, and opening it
// never waits, so a FIFO or a device in its place is refused at once.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace platform {

// Generous for any file written by hand.
inline constexpr std::size_t maxConfigFileSize = std::size_t{1} << 20U;

// One version of a file: replaced, rewritten, grown or touched, it differs.
struct FileVersion {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;

  bool operator==(const FileVersion&) const = default;
};

// The version of whatever the path leads to (links followed); nothing when
// there is nothing there. Costs one stat.
std::optional<FileVersion> versionOf(const std::string& path);

// Why a file could not be read; the description is "PATH: reason".
class ConfigReadError : public std::exception {
 public:
  enum class Kind { notRegular, tooLarge, unreadable };
  ConfigReadError(Kind kind, const std::string& path, int errorNumber = 0);

  Kind kind() const noexcept { return kind_; }
  const std::string& path() const noexcept { return path_; }
  // The reason alone: "too large (more than 1 MiB)".
  const std::string& reason() const noexcept { return reason_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  Kind kind_;
  std::string path_;
  std::string reason_;
  std::string description_;
};

struct ConfigText {
  std::string text;
  FileVersion version;  // of the file read, as it was opened
};

// The whole file; nothing when there is no file. Throws ConfigReadError.
std::optional<ConfigText> readConfigText(const std::string& path,
                                         std::size_t maxSize = maxConfigFileSize);

}  // namespace platform
