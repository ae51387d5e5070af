#include "platform/Directories.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "platform/TestSupport.h"

using platform::applicationSupportDirectories;
using platform::homeDirectory;
using testing_support::ScopedEnvironmentVariable;

namespace {

std::optional<std::string> userDatabaseHome() {
  const passwd* entry = ::getpwuid(::getuid());
  if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] == '\0') {
    return std::nullopt;
  }
  return std::string(entry->pw_dir);
}

}  // namespace

TEST(Directories, HomeComesFromTheUserDatabaseNotTheEnvironment) {
  ScopedEnvironmentVariable home("HOME", "/nonexistent/elsewhere");
  EXPECT_EQ(homeDirectory(), userDatabaseHome());
}

#ifndef __APPLE__
TEST(Directories, ApplicationSupportFollowsAnAbsoluteDataHome) {
  {
    ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", "/srv/data/");
    EXPECT_EQ(applicationSupportDirectories(), std::vector<std::string>{"/srv/data"});
  }
  const auto home = userDatabaseHome();
  if (!home) {
    GTEST_SKIP() << "the current user has no home directory";
  }
  const std::vector<std::string> fallback{(*home == "/" ? "" : *home) + "/.local/share"};
  for (const auto& value : std::vector<std::optional<std::string>>{std::nullopt, std::string(""),
                                                                   std::string("relative/data")}) {
    ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", value);
    EXPECT_EQ(applicationSupportDirectories(), fallback) << value.value_or("(unset)");
  }
}
#endif
