#include "daemon/ProfileFolder.h"

#include <utility>

#include "eq/ProfileFile.h"
#include "eq/UserPresets.h"

namespace kestrune::daemon {

ProfileFolder::ProfileFolder(std::string folder, FileReader& reader)
    : folder_(std::move(folder)), reader_(reader), reading_(std::make_shared<const Reading>()) {}

std::shared_ptr<const ProfileFolder::Reading> ProfileFolder::current() {
  const std::vector<std::string> paths = eq::profileFilePaths(folder_);
  bool changed = paths.size() != files_.size();
  std::map<std::string, File> files;
  for (const std::string& path : paths) {
    auto found = files_.find(path);
    File file;
    if (found != files_.end()) {
      file = std::move(found->second);
    } else {
      changed = true;
      file.watched = std::make_unique<WatchedFile<Profile>>(
          path,
          [path](const std::string& text) {
            return std::make_shared<const eq::Parametric>(eq::parseProfile(text, path));
          },
          reader_);
    }
    Profile profile;
    std::string problem;
    try {
      profile = file.watched->current();
    } catch (const eq::PresetFileError& error) {
      problem = error.description();
    } catch (const ConfigFileError& error) {
      problem = error.description();
    }
    changed = changed || profile != file.last || problem != file.lastProblem;
    file.last = std::move(profile);
    file.lastProblem = std::move(problem);
    files.emplace(path, std::move(file));
  }
  files_ = std::move(files);
  if (!changed) {
    return reading_;
  }
  auto reading = std::make_shared<Reading>();
  for (const auto& [path, file] : files_) {
    if (!file.lastProblem.empty()) {
      reading->problems.push_back(file.lastProblem);
    } else if (file.last) {
      reading->presets.push_back(eq::Preset{eq::profileName(path), {}, *file.last});
    }
  }
  reading_ = std::move(reading);
  return reading_;
}

}  // namespace kestrune::daemon
