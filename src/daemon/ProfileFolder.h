#pragma once
// The parametric presets of the eq/ folder (eq/ProfileFile.h), read again
// file by file as files come, change and go: asking costs a listing of the
// folder and a stat per file while nothing changed.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "daemon/WatchedFile.h"
#include "eq/Presets.h"

namespace kestrune::daemon {

class ProfileFolder {
 public:
  struct Reading {
    std::vector<eq::Preset> presets;    // in the order of their file names
    std::vector<std::string> problems;  // "PATH:LINE:COLUMN: reason", one per unusable file
  };

  ProfileFolder(std::string folder, FileReader& reader);

  // The folder as it is now: the same object as long as nothing in it
  // changed.
  std::shared_ptr<const Reading> current();

 private:
  using Profile = std::shared_ptr<const eq::Parametric>;
  struct File {
    std::unique_ptr<WatchedFile<Profile>> watched;
    Profile last;
    std::string lastProblem;
  };

  std::string folder_;
  FileReader& reader_;
  std::map<std::string, File> files_;  // by path
  std::shared_ptr<const Reading> reading_;
};

}  // namespace kestrune::daemon
