#include "client/CLIErrors.h"

#include <cstring>
#include <utility>

#include "client/CLIClient.h"

namespace kestrune {

CLIClientError::CLIClientError(Kind kind, std::int32_t errorNumber, std::string description)
    : kind_(kind), errorNumber_(errorNumber), description_(std::move(description)) {}

CLIClientError CLIClientError::connectionFailed(std::int32_t errorNumber) {
  return {Kind::connectionFailed, errorNumber,
          std::string("Connection failed: ") + std::strerror(errorNumber)};
}

CLIClientError CLIClientError::appNotRunning() {
  return {Kind::appNotRunning, 0, "Kestrune is not running. Launch the app first."};
}

CLIClientError CLIClientError::socketCreationFailed() {
  return {Kind::socketCreationFailed, 0, "Failed to create socket."};
}

CLIClientError CLIClientError::pathTooLong() {
  return {Kind::pathTooLong, 0, "Socket path is too long."};
}

CLIClientError CLIClientError::connectionRefused() {
  return {Kind::connectionRefused, 0, "Kestrune is not responding. Try restarting the app."};
}

CLIClientError CLIClientError::timeout() {
  return {Kind::timeout, 0, "Command timed out."};
}

CLIProtocolError::CLIProtocolError(Kind kind, std::string description)
    : kind_(kind), description_(std::move(description)) {}

CLIProtocolError CLIProtocolError::messageTooLarge(std::uint64_t byteCount) {
  CLIProtocolError error(Kind::messageTooLarge,
                         "Message too large: " + std::to_string(byteCount) + " bytes (max " +
                             std::to_string(CLIClient::maxMessageSize) + ")");
  error.byteCount_ = byteCount;
  return error;
}

CLIProtocolError CLIProtocolError::writeFailed(std::int32_t errorNumber) {
  CLIProtocolError error(Kind::writeFailed,
                         std::string("Write failed: ") + std::strerror(errorNumber));
  error.errorNumber_ = errorNumber;
  return error;
}

CLIProtocolError CLIProtocolError::readFailed(std::int32_t errorNumber) {
  CLIProtocolError error(Kind::readFailed,
                         std::string("Read failed: ") + std::strerror(errorNumber));
  error.errorNumber_ = errorNumber;
  return error;
}

CLIProtocolError CLIProtocolError::encodingFailed(const std::string& encoderDescription) {
  CLIProtocolError error(Kind::encodingFailed, "Encoding failed: " + encoderDescription);
  error.underlyingDescription_ = encoderDescription;
  return error;
}

CLIProtocolError CLIProtocolError::decodingFailed(const std::string& decoderDescription) {
  CLIProtocolError error(Kind::decodingFailed, "Decoding failed: " + decoderDescription);
  error.underlyingDescription_ = decoderDescription;
  return error;
}

CLIProtocolError CLIProtocolError::unexpectedEOF() {
  return {Kind::unexpectedEOF, "Unexpected end of connection"};
}

}  // namespace kestrune
