#pragma once

#include <string>

namespace kestrune {

// Where the application listens unless told otherwise, and so where the
// command-line tool looks: the first Application Support directory followed
// by "/Kestrune/cli.sock", or "/tmp/kestrune_cli.sock" when there is none.
// Every program of the project asks here, so they cannot disagree.
std::string defaultSocketPath();

}  // namespace kestrune
