#include "app/Version.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDirectory.h"
#include "platform/TestSupport.h"

namespace kestrune {
namespace {

std::string plist(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n" +
         entries + "</dict>\n</plist>\n";
}

class VersionTest : public ::testing::Test {
 protected:
  // A bundle whose Contents/Info.plist holds the given entries, with the
  // program in Contents/Helpers.
  std::string makeBundle(const std::string& infoEntries) {
    dir.write("Kestrune.app/Contents/Info.plist", plist(infoEntries));
    return dir.write("Kestrune.app/Contents/Helpers/kestrune", "#!/bin/sh\n");
  }

  testing::TempDirectory dir;
};

TEST_F(VersionTest, ReadsTheShortVersionOfTheEnclosingBundle) {
  const std::string program = makeBundle(
      "<key>CFBundleShortVersionString</key><string>2.4.1</string>\n"
      "<key>CFBundleVersion</key><string>241</string>\n");
  EXPECT_EQ(versionStringFor(program), "2.4.1");
}

TEST_F(VersionTest, FollowsASymbolicLinkIntoTheBundle) {
  const std::string program =
      makeBundle("<key>CFBundleShortVersionString</key><string>3.0</string>\n");
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::create_symlink(program, dir / "bin/kestrune");
  EXPECT_EQ(versionStringFor(dir / "bin/kestrune"), "3.0");
}

TEST_F(VersionTest, IsUnknownOutsideAHelpersDirectoryOfAContentsDirectory) {
  makeBundle("<key>CFBundleShortVersionString</key><string>3.0</string>\n");
  EXPECT_EQ(versionStringFor(dir.write("Kestrune.app/Contents/MacOS/kestrune", "")), "unknown");
  dir.write("Other/Info.plist", plist("<key>CFBundleShortVersionString</key><string>1</string>"));
  EXPECT_EQ(versionStringFor(dir.write("Other/Helpers/kestrune", "")), "unknown");
  dir.write("X/contents/Info.plist",
            plist("<key>CFBundleShortVersionString</key><string>1</string>"));
  EXPECT_EQ(versionStringFor(dir.write("X/contents/Helpers/kestrune", "")), "unknown");
  EXPECT_EQ(versionStringFor(std::nullopt), "unknown");
  EXPECT_EQ(versionStringFor(std::string()), "unknown");
}

TEST_F(VersionTest, IsUnknownWhenTheShortVersionIsMissingOrNotAString) {
  EXPECT_EQ(versionStringFor(makeBundle("<key>CFBundleVersion</key><string>241</string>\n")),
            "unknown");
  EXPECT_EQ(
      versionStringFor(makeBundle("<key>CFBundleShortVersionString</key><integer>2</integer>\n")),
      "unknown");
}

TEST_F(VersionTest, IsUnknownWhenInfoPlistIsMissingOrMalformed) {
  const std::string program = dir.write("A.app/Contents/Helpers/kestrune", "");
  EXPECT_EQ(versionStringFor(program), "unknown");
  dir.write("A.app/Contents/Info.plist", "not a property list");
  EXPECT_EQ(versionStringFor(program), "unknown");
  dir.write("A.app/Contents/Info.plist",
            plist("").replace(plist("").find("<dict>"), 15, "<array></array>\n"));
  EXPECT_EQ(versionStringFor(program), "unknown");
}

TEST_F(VersionTest, ResolvesARelativeProgramPathAgainstTheCurrentDirectory) {
  const std::string program =
      makeBundle("<key>CFBundleShortVersionString</key><string>5.5</string>\n");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir / "Kestrune.app/Contents");
  const std::string version = versionStringFor("Helpers/kestrune");
  std::filesystem::current_path(previous);
  EXPECT_EQ(version, "5.5");
}

// As a shell runs an installed program: argv[0] is the bare name it found on
// PATH, in bin/ as a link into the bundle.
TEST_F(VersionTest, LooksUpABareProgramNameOnThePathLikeAShell) {
  const std::string program =
      makeBundle("<key>CFBundleShortVersionString</key><string>6.1</string>\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::create_symlink(program, dir / "bin/kestrune");
  // Earlier entries without the program, or with a file that is not
  // executable or not a file, are passed over as the shell passes them over.
  dir.write("plain/kestrune", "");
  std::filesystem::create_directories(dir / "folder/kestrune");
  std::string found;
  std::string missing;
  {
    testing_support::ScopedEnvironmentVariable path(
        "PATH", dir / "none:" + dir / "plain:" + dir / "folder:" + dir / "bin");
    found = versionStringFor("kestrune");
  }
  {
    testing_support::ScopedEnvironmentVariable path("PATH", dir / "none:" + dir / "plain");
    missing = versionStringFor("kestrune");
  }
  EXPECT_EQ(found, "6.1");
  EXPECT_EQ(missing, "unknown");
}

}  // namespace
}  // namespace kestrune
