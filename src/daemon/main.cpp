#include <iostream>
#include <string>
#include <vector>

#include "daemon/DaemonCommandLine.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return kestrune::daemon::daemonMain(arguments, std::cout);
}
