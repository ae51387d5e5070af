#pragma once
// Carries one request to the running application over its Unix-domain socket
// and brings back the answer. Both directions use the same framing: a 4-byte
// big-endian body length, then that many bytes of UTF-8 JSON.

#include <cstdint>
#include <optional>
#include <string>

#include "client/CLIErrors.h"
#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune {

class CLIClient {
 public:
  // The largest body accepted in either direction; exactly this size is fine.
  static constexpr std::uint32_t maxMessageSize = 1048576;

  // An absent path selects defaultSocketPath(); a given one, even an empty
  // one, is used as it stands.
  explicit CLIClient(std::optional<std::string> socketPath = std::nullopt);

  const std::string& socketPath() const { return socketPath_; }
  // Seconds that one blocked read or write on the socket may last.
  double timeout() const { return 10.0; }

  // One connection, one request, one response. Throws CLIClientError while
  // finding and connecting, CLIProtocolError afterwards; the socket is
  // closed on every path out.
  CLIResponse send(const CLICommand& command);

  // The first Application Support directory followed by
  // "/Kestrune/cli.sock", or "/tmp/kestrune_cli.sock" when there is none.
  static std::string defaultSocketPath();

 private:
  std::string socketPath_;
};

}  // namespace kestrune
