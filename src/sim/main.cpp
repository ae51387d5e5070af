#include <iostream>
#include <string>
#include <vector>

#include "sim/SimCommandLine.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return kestrune::sim::simMain(arguments, std::cout, std::cerr);
}
