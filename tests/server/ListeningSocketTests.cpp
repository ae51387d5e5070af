#include "server/ListeningSocket.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "platform/TestSupport.h"
#include "server/ServerError.h"
#include "server/support/ServerTestSupport.h"

namespace kestrune::server {
namespace {

using testing_support::TemporaryDirectory;

mode_t permissions(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

bool isSocket(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> entries(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.c_str());
  while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  if (dir != nullptr) {
    ::closedir(dir);
  }
  return names;
}

// A socket file that nobody listens on, as a crashed server leaves behind.
void leaveStaleSocket(const std::string& path) {
  platform::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

ServerError setupFailure(const std::string& path) {
  try {
    ListeningSocket socket(path);
  } catch (const ServerError& error) {
    return error;
  }
  return ServerError(ServerError::Kind::socketSetup, "(no error)");
}

TEST(ListeningSocketTest, CreatesPrivateDirectoriesAndAPrivateSocket) {
  TemporaryDirectory directory;
  ASSERT_EQ(::chmod(directory.path().c_str(), 0755), 0);
  const std::string path = directory / "Application Support/Kestrune/cli.sock";
  {
    ListeningSocket socket(path);
    EXPECT_TRUE(isSocket(path));
    EXPECT_EQ(permissions(path), 0600);
    EXPECT_EQ(permissions(directory / "Application Support"), 0700);
    EXPECT_EQ(permissions(directory / "Application Support/Kestrune"), 0700);
    // Directories that already existed keep their permissions.
    EXPECT_EQ(permissions(directory.path()), 0755);
    // Nothing is left beside the socket from setting it up.
    EXPECT_EQ(entries(directory / "Application Support/Kestrune"),
              std::vector<std::string>{"cli.sock"});
    EXPECT_NO_THROW(testing::connectTo(path));
  }
  EXPECT_FALSE(exists(path)) << "the socket outlived its server";
}

TEST(ListeningSocketTest, RefusesToStartWhereAnotherServerAnswers) {
  TemporaryDirectory directory;
  const std::string path = directory / "cli.sock";
  ListeningSocket first(path);
  const ServerError error = setupFailure(path);
  EXPECT_EQ(error.kind(), ServerError::Kind::alreadyRunning);
  EXPECT_EQ(error.description(), "Another server is already answering on \"" + path + "\".");
  EXPECT_TRUE(isSocket(path));
  EXPECT_NO_THROW(testing::connectTo(path));
}

TEST(ListeningSocketTest, ReplacesAStaleSocket) {
  TemporaryDirectory directory;
  const std::string path = directory / "cli.sock";
  leaveStaleSocket(path);
  ASSERT_TRUE(isSocket(path));
  ListeningSocket socket(path);
  EXPECT_NO_THROW(testing::connectTo(path));
}

TEST(ListeningSocketTest, NeverReplacesSomethingThatIsNotASocket) {
  TemporaryDirectory directory;
  const std::string path = directory / "cli.sock";
  std::ofstream(path) << "precious";
  const ServerError error = setupFailure(path);
  EXPECT_EQ(error.kind(), ServerError::Kind::socketSetup);
  EXPECT_EQ(error.description(), "\"" + path +
                                     "\" exists and is not a socket; remove it or choose another "
                                     "path with --socket.");
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
}

TEST(ListeningSocketTest, LeavesASocketThatReplacedItsOwn) {
  TemporaryDirectory directory;
  const std::string path = directory / "cli.sock";
  auto first = std::make_unique<ListeningSocket>(path);
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ListeningSocket second(path);
  first.reset();
  EXPECT_TRUE(isSocket(path));
  EXPECT_NO_THROW(testing::connectTo(path));
}

TEST(ListeningSocketTest, RefusesPathsTheSocketAddressCannotHold) {
  TemporaryDirectory directory;
  std::string path = directory.path() + "/";
  path += std::string(maxSocketPathLength() + 1 - path.size(), 's');
  const ServerError error = setupFailure(path);
  EXPECT_EQ(error.kind(), ServerError::Kind::socketSetup);
  EXPECT_EQ(error.description(), "The socket path is too long (" + std::to_string(path.size()) +
                                     " bytes; at most " + std::to_string(maxSocketPathLength()) +
                                     "): " + path);
  EXPECT_EQ(setupFailure("").description(), "The socket path is empty.");

  // The longest path that fits works, although no staging name fits beside it.
  path.pop_back();
  ListeningSocket socket(path);
  EXPECT_NO_THROW(testing::connectTo(path));
}

}  // namespace
}  // namespace kestrune::server
