// Request bytes as the simulated application reads them: any text either
// decodes or fails with a decoding error; what decodes encodes again
// byte-identically after a second round trip. The whole body then goes
// through the simulator's reply path, whose frame must always hold a
// response that the client can decode.

#include "FuzzSupport.h"
#include "json/Errors.h"
#include "protocol/Coding.h"
#include "server/Framing.h"
#include "server/Server.h"
#include "sim/SimulatedState.h"

namespace {

using kestrune::CLICommand;

void checkRoundTrip(const CLICommand& command) {
  std::string first;
  try {
    first = kestrune::encodeCompact(command);
  } catch (const json::EncodingError&) {
    return;  // a non-finite number; the client reports it as an encoding failure
  }
  const CLICommand again = kestrune::decodeCLICommand(std::string_view(first));
  fuzzing::require(again.caseName() == command.caseName(), "round trip changed the case");
  fuzzing::require(kestrune::encodeCompact(again) == first, "compact round trip differs");
}

// Always answers from the same starting state, so that a run replays.
void checkReply(std::string_view body) {
  kestrune::sim::SimulatedState state(
      kestrune::sim::defaultState(),
      kestrune::sim::SimulatedState::Options{{}, [] { return 0.0; }});
  const std::string frame = kestrune::server::replyFrame(state, body);
  fuzzing::require(frame.size() >= kestrune::server::frameHeaderSize, "reply shorter than a header");
  const std::string_view reply = std::string_view(frame).substr(kestrune::server::frameHeaderSize);
  fuzzing::require(reply.size() <= kestrune::server::maxMessageSize, "reply over the size limit");
  std::array<unsigned char, kestrune::server::frameHeaderSize> header{};
  for (std::size_t i = 0; i < header.size(); ++i) {
    header[i] = static_cast<unsigned char>(frame[i]);
  }
  fuzzing::require(kestrune::server::frameLength(header) == reply.size(), "reply length prefix");
  static_cast<void>(kestrune::decodeCLIResponse(reply));  // throws (and so crashes) if invalid
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body = fuzzing::asText(data, size);
  try {
    checkRoundTrip(kestrune::decodeCLICommand(body));
  } catch (const json::DecodingError& error) {
    fuzzing::require(!error.description().empty(), "a decoding error without description");
  }
  checkReply(body);
  return 0;
}
