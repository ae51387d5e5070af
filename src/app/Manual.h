#pragma once
// What kestrune's manual page says beyond its command tree. Its version is
// the build's: the one --version reports is read from an installed bundle.

#include <vector>

#include "ArgumentParser/ManualSection.h"

namespace kestrune {

argparse::Manual manual();

}  // namespace kestrune
