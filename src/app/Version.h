#pragma once
// The version text of the command-line program itself (--version), read from
// the Info.plist of the application bundle the program is installed in.

#include <optional>
#include <string>

namespace kestrune {

// The version text for a program started through `programPath` (the first
// process argument; a bare name is looked up on PATH as the shell did, and
// symbolic links are followed): when the program sits in
// <bundle>/Contents/Helpers/,
// the "CFBundleShortVersionString" string of <bundle>/Contents/Info.plist;
// otherwise, or when anything is missing or malformed, "unknown".
std::string versionStringFor(const std::optional<std::string>& programPath);

// versionStringFor the first argument of this process, computed once.
std::string versionString();

}  // namespace kestrune
