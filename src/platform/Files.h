#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform {

// A failed file operation; what() is the description shown to the user and
// names the path and the system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool pathExists(const std::string& path);

// The whole contents of a regular file (files under /proc included, whose
// size reads as 0), or nothing if it cannot be read or is longer than
// maxSize.
std::optional<std::string> readFile(const std::string& path, std::size_t maxSize);

// Creates the directory and any missing parents; an existing directory is fine.
void createDirectories(const std::string& path);

// Writes the whole text to a temporary file in the same directory, flushes it
// to disk and renames it over the path, so readers see the old or the new
// contents, never a partial file. On failure the old file is left untouched.
void writeFileAtomically(const std::string& path, const std::string& contents);

// Removes a file (or an empty directory).
void removeItem(const std::string& path);

// The path with every symbolic link resolved (as far as the path exists).
std::string resolveSymlinks(const std::string& path);

// Joins path components with one "/".
std::string appendingPathComponent(const std::string& base, const std::string& component);

}  // namespace platform
