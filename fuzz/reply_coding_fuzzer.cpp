// Reply bytes as the client decodes them: any text either decodes or fails
// with a decoding error; what decodes encodes again byte-identically after a
// second round trip, and renders as text and as JSON without failing.


#include "FuzzSupport.h"
#include "app/Render.h"
#include "json/Errors.h"
#include "protocol/Coding.h"

namespace {

using kestrune::CLIResponse;

void checkRoundTrip(const CLIResponse& response) {
  std::string first;
  try {
    first = kestrune::encodeCompact(response);
  } catch (const json::EncodingError&) {
    // Only a non-finite number is refused; the pretty form refuses it too.
    try {
      static_cast<void>(kestrune::encodePrettySorted(response));
    } catch (const json::EncodingError&) {
      return;
    }
    fuzzing::invariantBroken("the pretty form encodes what the compact form refuses");
  }
  const CLIResponse again = kestrune::decodeCLIResponse(first);
  fuzzing::require(kestrune::encodeCompact(again) == first, "compact round trip differs");
  const CLIResponse fromPretty = kestrune::decodeCLIResponse(kestrune::encodePrettySorted(again));
  fuzzing::require(kestrune::encodeCompact(fromPretty) == first, "pretty round trip differs");
}

void render(const CLIResponse& response) {
  kestrune::jsonOutput = false;
  const kestrune::ResponseText text = kestrune::responseText(response);
  // A failure reported by the application is the only text that goes to
  // standard error, and it always does.
  fuzzing::require(text.err.empty() == response.success, "text rendering streams");

  kestrune::jsonOutput = true;
  const kestrune::ResponseText json = kestrune::responseText(response);
  kestrune::jsonOutput = false;
  fuzzing::require(json.err.empty(), "the JSON rendering wrote to standard error");
  fuzzing::require(json.out.ends_with("\n"), "the JSON rendering is not one ended text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CLIResponse response;
  try {
    response = kestrune::decodeCLIResponse(fuzzing::asText(data, size));
  } catch (const json::DecodingError& error) {
    fuzzing::require(!error.description().empty(), "a decoding error without description");
    return 0;
  }
  checkRoundTrip(response);
  render(response);
  return 0;
}
