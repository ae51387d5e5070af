#pragma once
// JSON coding of the protocol messages, both directions, as exact inverses.
// Decoding failures are json::DecodingError (syntax errors in the text become
// its data-corrupted kind); encoding failures are json::EncodingError.

#include <string>
#include <string_view>

#include "json/Value.h"
#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune {

json::Value toJSON(const CLICommand& command);
json::Value toJSON(const CLIResponse& response);

CLICommand decodeCLICommand(const json::Value& value);
CLIResponse decodeCLIResponse(const json::Value& value);

// Whole texts: parse then decode.
CLICommand decodeCLICommand(std::string_view jsonText);
CLIResponse decodeCLIResponse(std::string_view jsonText);
// A json::Value converts from strings too; these keep text arguments unambiguous.
CLICommand decodeCLICommand(const std::string& jsonText);
CLICommand decodeCLICommand(const char* jsonText);
CLIResponse decodeCLIResponse(const std::string& jsonText);
CLIResponse decodeCLIResponse(const char* jsonText);

// The request as the encoder's default (compact) form, for the wire.
std::string encodeCompact(const CLICommand& command);
std::string encodeCompact(const CLIResponse& response);
// The response as --json prints it: pretty, keys sorted.
std::string encodePrettySorted(const CLIResponse& response);

}  // namespace kestrune
