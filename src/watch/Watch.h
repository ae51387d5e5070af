#pragma once
// kestrune-watch from start to end: follows the feed across the
// application's absences, restarts and refusals until it is told to stop.

#include <string>
#include <vector>

namespace kestrune::watch {

// Parses the arguments, then prints the feed on standard output until
// SIGINT, SIGTERM or a closed standard output (status 0). 64 for a bad
// command line, 1 when it cannot run or write.
int watchMain(const std::vector<std::string>& arguments);

}  // namespace kestrune::watch
