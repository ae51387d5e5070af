#pragma once
// Printing the application's answers: the whole response as JSON for
// scripts, or the payload as text for people.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CLIResponse.h"

namespace kestrune {

// Whether responses print as JSON; set from --json once per run, before the
// request is sent.
extern bool jsonOutput;

// What printing a response writes: the JSON form when jsonOutput is set;
// otherwise the payload, the message or the application's error, with the
// control characters of every text in it shown as platform::visibleText
// shows them (a name from another program cannot split a record or act on
// the terminal). Never fails.
struct ResponseText {
  std::string out;  // for standard output
  std::string err;  // for standard error
};
ResponseText responseText(const CLIResponse& response);

// The whole envelope, pretty-printed with sorted keys, or a fixed failure
// line when it cannot be encoded; with its line break.
std::string jsonText(const CLIResponse& response);

// "Error: " + message on its own line.
std::string errorText(std::string_view message);

// The text form of a payload, then the message (if any) as one more line.
std::string dataText(const CLIResponseData& data, const std::optional<std::string>& message);

// Columns padded to their widest cell (in characters, as shown: control
// characters escaped), joined by two spaces, with a rule under the headers;
// "(none)" when there are no rows.
std::string tableText(const std::vector<std::string>& headers,
                      const std::vector<std::vector<std::string>>& rows);

// The texts above, printed on the program's standard streams
// (argparse::standardOutput() and standardError()).
void printResponse(const CLIResponse& response);
void printError(std::string_view message);

// Minutes and seconds ("2:05") of a whole number of seconds, truncated.
std::string formatTime(double seconds);

// A Double shown as a whole number: truncated toward zero. Values outside the
// 64-bit range keep all their integral digits; NaN and infinities print as
// "nan", "inf" and "-inf".
std::string wholeNumber(double value);

// wholeNumber followed by "%".
std::string percentage(double value);

}  // namespace kestrune
