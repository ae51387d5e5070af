#pragma once

#include <utility>

namespace platform {

// Owns one open file descriptor and closes it when it goes out of scope.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : descriptor_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  ~FileDescriptor() { reset(); }

  int get() const { return descriptor_; }
  bool valid() const { return descriptor_ >= 0; }
  explicit operator bool() const { return valid(); }

  int release() { return std::exchange(descriptor_, -1); }
  // Closes the descriptor held so far (its close result is not reported: by
  // then nothing written through it is pending) and takes the new one.
  void reset(int descriptor = -1);

 private:
  int descriptor_ = -1;
};

}  // namespace platform
