#include <string>
#include <vector>

#include "watch/Watch.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return kestrune::watch::watchMain(arguments);
}
