#pragma once
// The failures of one exchange with the application. Each case has a fixed
// description, which is all the program prints about it.

#include <cstdint>
#include <exception>
#include <string>

namespace kestrune {

// Finding and connecting to the application's socket.
class CLIClientError : public std::exception {
 public:
  enum class Kind {
    connectionFailed,
    appNotRunning,
    socketCreationFailed,
    pathTooLong,
    connectionRefused,
    timeout
  };

  static CLIClientError connectionFailed(std::int32_t errorNumber);
  static CLIClientError appNotRunning();
  static CLIClientError socketCreationFailed();
  static CLIClientError pathTooLong();
  static CLIClientError connectionRefused();
  static CLIClientError timeout();

  Kind kind() const noexcept { return kind_; }
  // The errno of connectionFailed; 0 for the other cases.
  std::int32_t errorNumber() const noexcept { return errorNumber_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  CLIClientError(Kind kind, std::int32_t errorNumber, std::string description);

  Kind kind_;
  std::int32_t errorNumber_;
  std::string description_;
};

// Encoding, framing, transferring and decoding the messages.
class CLIProtocolError : public std::exception {
 public:
  enum class Kind {
    messageTooLarge,
    writeFailed,
    readFailed,
    encodingFailed,
    decodingFailed,
    unexpectedEOF
  };

  static CLIProtocolError messageTooLarge(std::uint64_t byteCount);
  static CLIProtocolError writeFailed(std::int32_t errorNumber);
  static CLIProtocolError readFailed(std::int32_t errorNumber);
  // The JSON layer's description of its error.
  static CLIProtocolError encodingFailed(const std::string& encoderDescription);
  static CLIProtocolError decodingFailed(const std::string& decoderDescription);
  static CLIProtocolError unexpectedEOF();

  Kind kind() const noexcept { return kind_; }
  // The announced or encoded size of messageTooLarge; 0 for the other cases.
  std::uint64_t byteCount() const noexcept { return byteCount_; }
  // The errno of writeFailed and readFailed; 0 for the other cases.
  std::int32_t errorNumber() const noexcept { return errorNumber_; }
  // The JSON layer's text for encodingFailed and decodingFailed; else empty.
  const std::string& underlyingDescription() const noexcept { return underlyingDescription_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  CLIProtocolError(Kind kind, std::string description);

  Kind kind_;
  std::uint64_t byteCount_ = 0;
  std::int32_t errorNumber_ = 0;
  std::string underlyingDescription_;
  std::string description_;
};

}  // namespace kestrune
