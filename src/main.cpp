// The program entry: everything else happens in the command tree.

#include "ArgumentParser/ArgumentParser.h"
#include "app/KestruneCLI.h"

int main(int argc, char** argv) {
  argparse::main<kestrune::KestruneCLI>(argc, argv);
  return 0;
}
