// Whoever may write to the socket's directory could replace the socket:
// only the user's own private directory is used.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/TestSupport.h"
#include "server/ListeningSocket.h"
#include "server/ServerError.h"

namespace kestrune::server {
namespace {

// The refusal's description, or "" when the socket was set up.
std::string refusal(const std::string& path) {
  try {
    const ListeningSocket socket(path);
    return "";
  } catch (const ServerError& error) {
    return error.description();
  }
}

std::string untrusted(const std::string& directory, const std::string& why) {
  return "Refusing the socket directory \"" + directory + "\": " + why +
         ", so another user could replace the socket; use a directory of your own that only "
         "you can write to.";
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

class SocketDirectoryTest : public ::testing::Test {
 protected:
  std::string directoryWithMode(const std::string& name, mode_t mode) const {
    const std::string path = temporary / name;
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);  // whatever the umask
    return path;
  }

  testing_support::TemporaryDirectory temporary;
};

TEST_F(SocketDirectoryTest, ADirectoryGroupOrOthersMayWriteToIsRefusedBeforeAnythingIsMade) {
  const std::string open = directoryWithMode("open", 0777);
  EXPECT_EQ(refusal(open + "/cli.sock"),
            untrusted(open, "it is writable by others than its owner (mode 0777)"));
  EXPECT_FALSE(exists(open + "/cli.sock"));
  const std::string group = directoryWithMode("group", 0770);
  EXPECT_EQ(refusal(group + "/cli.sock"),
            untrusted(group, "it is writable by others than its owner (mode 0770)"));
  if (::geteuid() != 0) {  // root's own sticky directories are /tmp's kind
    const std::string sticky = directoryWithMode("sticky", 01777);
    EXPECT_EQ(refusal(sticky + "/cli.sock"),
              untrusted(sticky, "it is writable by others than its owner (mode 1777)"));
  }
}

TEST_F(SocketDirectoryTest, PrivateDirectoriesCreatedOrReadableAndLinksOfOurOwnAreUsed) {
  EXPECT_EQ(refusal(temporary / "made/for/it/cli.sock"), "");
  EXPECT_EQ(refusal(directoryWithMode("readable", 0755) + "/cli.sock"), "");
  const std::string target = directoryWithMode("target", 0700);
  ASSERT_EQ(::symlink(target.c_str(), (temporary / "link").c_str()), 0);
  EXPECT_EQ(refusal(temporary / "link/cli.sock"), "");
}

TEST_F(SocketDirectoryTest, ADirectoryOrLinkOfAnotherUserIsRefused) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only root can give a directory to another user";
  }
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const std::string theirs = directoryWithMode("theirs", 0700);
  ASSERT_EQ(::chown(theirs.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  EXPECT_EQ(refusal(theirs + "/cli.sock"), untrusted(theirs, "it is owned by another user"));

  const std::string ours = directoryWithMode("ours", 0700);
  const std::string link = temporary / "their-link";
  ASSERT_EQ(::symlink(ours.c_str(), link.c_str()), 0);
  ASSERT_EQ(::lchown(link.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  EXPECT_EQ(refusal(link + "/cli.sock"),
            untrusted(link, "it is a symbolic link owned by another user"));
}

TEST_F(SocketDirectoryTest, RootsStickyDirectoryIsUsedUnlessAnotherUserPlantedThePath) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only root can make a sticky directory of root's, like /tmp";
  }
  const std::string shared = directoryWithMode("shared", 01777);
  EXPECT_EQ(refusal(shared + "/cli.sock"), "");

  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const std::string planted = shared + "/planted.sock";
  ASSERT_EQ(::mknod(planted.c_str(), S_IFSOCK | 0600, 0), 0);
  ASSERT_EQ(::lchown(planted.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  EXPECT_EQ(refusal(planted), "Refusing \"" + planted +
                                  "\": it belongs to another user, who could answer in its "
                                  "place; choose another path with --socket.");
  EXPECT_TRUE(exists(planted));
}

}  // namespace
}  // namespace kestrune::server
