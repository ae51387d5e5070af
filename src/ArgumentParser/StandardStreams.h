#pragma once
// The program's standard output and standard error, written straight to
// descriptors 1 and 2. A one-shot command-line program runs for about a
// millisecond; the stream library's start-up (its locale and eight stream
// objects) would be a large share of that, so the framework and the program
// write their text here. execute() captures both streams into strings.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace argparse {

class StandardStream {
 public:
  // Output streams keep their text in a buffer until flush() or until the
  // buffer fills; error streams flush `flushFirst` and then write at once,
  // so that the two interleave as they were written.
  constexpr StandardStream(int descriptor, StandardStream* flushFirst)
      : descriptor_(descriptor), flushFirst_(flushFirst) {}
  StandardStream(const StandardStream&) = delete;
  StandardStream& operator=(const StandardStream&) = delete;

  void write(std::string_view text);
  // Writes out what is buffered. False once any text could not be written;
  // after that the stream drops what it is given, as a failed stream does.
  bool flush();

  // While set, text goes into `target` instead of the descriptor.
  void capture(std::string* target) { captured_ = target; }
  std::string* captured() const { return captured_; }

 private:
  bool writeOut(std::string_view text);

  int descriptor_;
  StandardStream* flushFirst_;
  bool failed_ = false;
  std::string* captured_ = nullptr;
  std::size_t buffered_ = 0;
  std::array<char, 4096> buffer_{};
};

StandardStream& standardOutput();
StandardStream& standardError();

// For its lifetime, both standard streams write into strings.
class CapturedStandardStreams {
 public:
  CapturedStandardStreams();
  CapturedStandardStreams(const CapturedStandardStreams&) = delete;
  CapturedStandardStreams& operator=(const CapturedStandardStreams&) = delete;
  ~CapturedStandardStreams();

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  std::string out_;
  std::string err_;
  std::string* savedOut_;
  std::string* savedErr_;
};

}  // namespace argparse
