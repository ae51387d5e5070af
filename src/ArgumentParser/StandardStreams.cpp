#include "ArgumentParser/StandardStreams.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace argparse {

namespace {

// Process-wide by nature; constant-initialised, so they need no start-up code.
StandardStream outputStream{STDOUT_FILENO, nullptr};
StandardStream errorStream{STDERR_FILENO, &outputStream};

}  // namespace

StandardStream& standardOutput() {
  return outputStream;
}

StandardStream& standardError() {
  return errorStream;
}

void StandardStream::write(std::string_view text) {
  if (captured_ != nullptr) {
    captured_->append(text);
    return;
  }
  if (failed_ || text.empty()) {
    return;
  }
  if (flushFirst_ != nullptr) {
    (void)flushFirst_->flush();  // a failed output reports itself when it is flushed
    failed_ = !writeOut(text);
    return;
  }
  if (buffered_ + text.size() > buffer_.size()) {
    if (!flush()) {
      return;
    }
    if (text.size() > buffer_.size()) {
      failed_ = !writeOut(text);
      return;
    }
  }
  std::memcpy(buffer_.data() + buffered_, text.data(), text.size());
  buffered_ += text.size();
}

bool StandardStream::flush() {
  if (failed_) {
    return false;
  }
  if (buffered_ > 0) {
    const std::string_view pending(buffer_.data(), buffered_);
    buffered_ = 0;
    failed_ = !writeOut(pending);
  }
  return !failed_;
}

bool StandardStream::writeOut(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(descriptor_, text.data(), text.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

CapturedStandardStreams::CapturedStandardStreams()
    : savedOut_(standardOutput().captured()), savedErr_(standardError().captured()) {
  (void)standardOutput().flush();  // what came before belongs to the descriptor
  standardOutput().capture(&out_);
  standardError().capture(&err_);
}

CapturedStandardStreams::~CapturedStandardStreams() {
  standardOutput().capture(savedOut_);
  standardError().capture(savedErr_);
}

}  // namespace argparse
