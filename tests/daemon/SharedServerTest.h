#pragma once
// The fixture of suites whose tests share one sound server of each kind: the
// first test of a kind starts it, and each test finds its devices as they
// were at the start, with a scratch directory of its own for its daemon.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DaemonFixture.h"
#include "support/Requirements.h"

namespace kestrune::daemon::testing {

class SharedServerTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  static void TearDownTestSuite() {
    servers().clear();
    directories().clear();
  }

  // Points server_ at the suite's server of this test's kind, reset; skips
  // the test (check IsSkipped()) when that server is not installed.
  void useSharedServer() {
    KESTRUNE_SKIP_UNLESS_INSTALLED(testing_support::soundServerTools(GetParam()));
    auto& server = servers()[GetParam()];
    if (!server) {
      directories()[GetParam()] = std::make_unique<ScratchDirectory>();
      server = std::make_unique<SoundServer>(GetParam(), directories()[GetParam()]->path());
    }
    server_ = server.get();
    server_->reset();
  }

  std::string pactl(const std::vector<std::string>& arguments) const {
    return server_->pactl(arguments);
  }

  ScratchDirectory scratch_;
  SoundServer* server_ = nullptr;
  std::unique_ptr<Daemon> daemon_;

 private:
  static std::map<ServerKind, std::unique_ptr<SoundServer>>& servers() {
    static std::map<ServerKind, std::unique_ptr<SoundServer>> instances;
    return instances;
  }
  static std::map<ServerKind, std::unique_ptr<ScratchDirectory>>& directories() {
    static std::map<ServerKind, std::unique_ptr<ScratchDirectory>> instances;
    return instances;
  }
};

}  // namespace kestrune::daemon::testing
