#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/FileDescriptor.h"
#include "platform/TestSupport.h"

using namespace platform;
using testing_support::TemporaryDirectory;

namespace {

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writePlainFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::vector<std::string> entriesOf(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t permissionsOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

template <typename Operation>
std::string fileErrorOf(Operation operation) {
  try {
    operation();
  } catch (const FileError& error) {
    return error.what();
  }
  return "(no error)";
}

}  // namespace

TEST(Files, PathExistsCountsEveryKindOfEntry) {
  TemporaryDirectory dir;
  writePlainFile(dir / "file", "x");
  ASSERT_EQ(::symlink((dir / "missing").c_str(), (dir / "dangling").c_str()), 0);
  FileDescriptor listener(::socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir / "s";
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  EXPECT_TRUE(pathExists(dir.path()));
  EXPECT_TRUE(pathExists(dir / "file"));
  EXPECT_TRUE(pathExists(dir / "dangling"));
  EXPECT_TRUE(pathExists(socketPath));
  EXPECT_FALSE(pathExists(dir / "missing"));
  EXPECT_FALSE(pathExists(""));
}

TEST(Files, ReadFileGivesWholeFilesUpToTheLimit) {
  TemporaryDirectory folder;
  const std::string small = folder.path() + "/small";
  const std::string large = folder.path() + "/large";
  writePlainFile(small, "one\ntwo\n");
  writePlainFile(large, std::string(10000, 'x'));
  EXPECT_EQ(readFile(small, 100), "one\ntwo\n");
  EXPECT_EQ(readFile(large, 10000), std::string(10000, 'x'));
  EXPECT_EQ(readFile(large, 9999), std::nullopt);
  EXPECT_EQ(readFile(folder.path(), 1U << 20U), std::nullopt);
  EXPECT_EQ(readFile(folder.path() + "/missing", 100), std::nullopt);
}

TEST(Files, ReadFileReadsProcFilesThatReportNoSize) {
  const auto status = readFile("/proc/self/status", 1U << 20U);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->rfind("Name:", 0), 0U);
  EXPECT_NE(status->find("\nUmask:"), std::string::npos);
}

TEST(Files, CreateDirectoriesMakesEveryMissingLevel) {
  TemporaryDirectory dir;
  const std::string nested = dir / ".zsh/completions";
  createDirectories(nested);
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  createDirectories(nested);  // already there
  createDirectories(nested + "/");
  EXPECT_EQ(entriesOf(dir / ".zsh"), std::vector<std::string>{"completions"});
}

TEST(Files, CreateDirectoriesRefusesAFileInTheWay) {
  TemporaryDirectory dir;
  writePlainFile(dir / ".zsh", "not a folder");
  EXPECT_EQ(fileErrorOf([&] { createDirectories(dir / ".zsh/completions"); }),
            "Could not create the folder \"" + (dir / ".zsh/completions") + "\": Not a directory");
  EXPECT_EQ(fileErrorOf([&] { createDirectories(dir / ".zsh"); }),
            "Could not create the folder \"" + (dir / ".zsh") + "\": Not a directory");
  EXPECT_EQ(contentsOf(dir / ".zsh"), "not a folder");
}

TEST(Files, WriteFileAtomicallyCreatesAndReplacesWholeFiles) {
  TemporaryDirectory dir;
  const std::string path = dir / "_kestrune";
  writeFileAtomically(path, "first version\n");
  EXPECT_EQ(contentsOf(path), "first version\n");
  writeFileAtomically(path, "second\n");
  EXPECT_EQ(contentsOf(path), "second\n");
  writeFileAtomically(path, "");
  EXPECT_EQ(contentsOf(path), "");
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"_kestrune"});
}

TEST(Files, WriteFileAtomicallyGivesOrdinaryPermissions) {
  TemporaryDirectory dir;
  const mode_t oldMask = ::umask(022);
  writeFileAtomically(dir / "new", "x");
  ::umask(027);
  writeFileAtomically(dir / "restricted", "x");
  ::umask(oldMask);
  EXPECT_EQ(permissionsOf(dir / "new"), 0644U);
  EXPECT_EQ(permissionsOf(dir / "restricted"), 0640U);

  writePlainFile(dir / "private", "old");
  ASSERT_EQ(::chmod((dir / "private").c_str(), 0600), 0);
  writeFileAtomically(dir / "private", "new");
  EXPECT_EQ(permissionsOf(dir / "private"), 0600U);
}

TEST(Files, FailedWriteLeavesNothingBehind) {
  TemporaryDirectory dir;
  // A directory cannot be replaced by a file: the rename fails at the end.
  createDirectories(dir / "target/inside");
  EXPECT_EQ(fileErrorOf([&] { writeFileAtomically(dir / "target", "data"); }),
            "Could not write \"" + (dir / "target") + "\": Is a directory");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "target/inside"));
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"target"});

  EXPECT_EQ(fileErrorOf([&] { writeFileAtomically(dir / "absent/file", "data"); }),
            "Could not write \"" + (dir / "absent/file") + "\": No such file or directory");
}

TEST(Files, WriteIntoReadOnlyFolderKeepsTheOldFile) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "permissions do not apply to the superuser";
  }
  TemporaryDirectory dir;
  createDirectories(dir / "completions");
  const std::string path = dir / "completions/_kestrune";
  writePlainFile(path, "old");
  ASSERT_EQ(::chmod((dir / "completions").c_str(), 0500), 0);
  const auto message = fileErrorOf([&] { writeFileAtomically(path, "new"); });
  ASSERT_EQ(::chmod((dir / "completions").c_str(), 0700), 0);
  EXPECT_EQ(message, "Could not write \"" + path + "\": Permission denied");
  EXPECT_EQ(contentsOf(path), "old");
  EXPECT_EQ(entriesOf(dir / "completions"), std::vector<std::string>{"_kestrune"});
}

TEST(Files, RemoveItemTakesFilesAndEmptyFolders) {
  TemporaryDirectory dir;
  writePlainFile(dir / "file", "x");
  createDirectories(dir / "empty");
  createDirectories(dir / "full/child");
  removeItem(dir / "file");
  removeItem(dir / "empty");
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"full"});
  EXPECT_EQ(fileErrorOf([&] { removeItem(dir / "file"); }),
            "Could not remove \"" + (dir / "file") + "\": No such file or directory");
  EXPECT_NE(fileErrorOf([&] { removeItem(dir / "full"); }), "(no error)");
}

TEST(Files, ResolveSymlinksFollowsLinksAsFarAsThePathExists) {
  TemporaryDirectory dir;
  const std::string real = resolveSymlinks(dir.path());
  createDirectories(dir / "App/Contents/Helpers");
  writePlainFile(dir / "App/Contents/Helpers/kestrune", "");
  ASSERT_EQ(::symlink((dir / "App/Contents/Helpers/kestrune").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink("App/Contents", (dir / "relative").c_str()), 0);

  EXPECT_EQ(resolveSymlinks(dir / "link"), real + "/App/Contents/Helpers/kestrune");
  EXPECT_EQ(resolveSymlinks(dir / "relative/Helpers/"), real + "/App/Contents/Helpers");
  EXPECT_EQ(resolveSymlinks(dir / "relative/missing/file"), real + "/App/Contents/missing/file");
  EXPECT_EQ(resolveSymlinks("/nonexistent-kestrune-root/x"), "/nonexistent-kestrune-root/x");
  EXPECT_EQ(resolveSymlinks(""), "");
}

TEST(Files, AppendingPathComponentJoinsWithOneSlash) {
  EXPECT_EQ(appendingPathComponent("/home/user", ".zsh/completions"),
            "/home/user/.zsh/completions");
  EXPECT_EQ(appendingPathComponent("/home/user/", "/_kestrune"), "/home/user/_kestrune");
  EXPECT_EQ(appendingPathComponent("/", "tmp"), "/tmp");
  EXPECT_EQ(appendingPathComponent("relative", "file"), "relative/file");
  EXPECT_EQ(appendingPathComponent("/home/user", ""), "/home/user");
  EXPECT_EQ(appendingPathComponent("", "file"), "file");
}
