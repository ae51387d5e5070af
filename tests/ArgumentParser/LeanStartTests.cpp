// A run builds only the part of the tree its command line names, finds the
// version only when it is shown, and writes through the framework's own
// standard streams.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/StandardStreams.h"
#include "ArgumentParser/Tree.h"

namespace argparse {
namespace {

int versionLookups = 0;

std::string countedVersion() {
  ++versionLookups;
  return "4.5.6";
}

// A sound branch beside one whose alias repeats its own name.
struct Mixed : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "mixed",
            .version = countedVersion,
            .subcommands = {command<Good>(), command<Broken>()}};
  }
  struct Good : ParsableCommand {
    static CommandConfiguration configuration() {
      return {.subcommands = {command<Leaf>()}, .defaultSubcommand = command<Leaf>()};
    }
    struct Leaf : ParsableCommand {
      Flag loud{this, "loud"};
      void run() override { standardOutput().write(loud ? "LEAF\n" : "leaf\n"); }
    };
  };
  struct Broken : ParsableCommand {
    static CommandConfiguration configuration() {
      return {.commandName = "broken", .subcommands = {command<Inner>()}};
    }
    struct Inner : ParsableCommand {
      static CommandConfiguration configuration() { return {.aliases = {"inner"}}; }
    };
  };
};

TEST(LeanTree, GrowsOnlyWhatIsAskedFor) {
  CommandTree tree = CommandTree::lean(command<Mixed>());
  ASSERT_EQ(tree.root().children.size(), 3u);  // good, broken, help
  const CommandNode* good = tree.root().child("good");
  ASSERT_NE(good, nullptr);
  EXPECT_TRUE(good->children.empty());
  tree.grow(*good);
  tree.grow(*good);  // once only
  ASSERT_EQ(good->children.size(), 1u);
  EXPECT_EQ(good->children.front()->name(), "leaf");
  EXPECT_TRUE(tree.root().child("broken")->children.empty());
}

TEST(LeanTree, RunsTheNamedPathPastAMistakeElsewhere) {
  versionLookups = 0;
  Outcome outcome = execute<Mixed>({"good", "leaf", "--loud"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "LEAF\n");
  EXPECT_EQ(execute<Mixed>({"good"}).out, "leaf\n");
  EXPECT_EQ(versionLookups, 0);
}

struct Versioned : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "versioned",
            .version = countedVersion,
            .subcommands = {command<Mixed::Good>()}};
  }
};

TEST(LeanTree, VersionIsLookedUpWhenAsked) {
  versionLookups = 0;
  EXPECT_EQ(execute<Versioned>({"good", "leaf"}).out, "leaf\n");
  EXPECT_EQ(execute<Versioned>({"good", "--loud"}).out, "LEAF\n");
  EXPECT_EQ(versionLookups, 0);
  Outcome outcome = execute<Versioned>({"good", "--version"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "4.5.6\n");
  EXPECT_GT(versionLookups, 0);
}

// Help, errors and dumps describe the whole tree, so they check all of it.
TEST(LeanTreeDeathTest, WholeTreeIsCheckedForHelpAndErrors) {
  const std::string message =
      "The command \"Inner\" can't have an alias with the same name as the command itself.";
  EXPECT_DEATH(execute<Mixed>({"--help"}), message);
  EXPECT_DEATH(execute<Mixed>({"good", "--nonsense"}), message);
  EXPECT_DEATH(execute<Mixed>({"broken", "inner"}), message);
  EXPECT_DEATH(CommandTree{command<Mixed>()}, message);
}

// A stream over one end of a pipe; reads what reached the other end.
class PipeStreams : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::pipe(ends_), 0); }
  void TearDown() override {
    ::close(ends_[0]);
    ::close(ends_[1]);
  }
  std::string received() {
    ::fcntl(ends_[0], F_SETFL, O_NONBLOCK);
    std::string text;
    char chunk[256];
    ssize_t count = 0;
    while ((count = ::read(ends_[0], chunk, sizeof chunk)) > 0) {
      text.append(chunk, static_cast<std::size_t>(count));
    }
    return text;
  }
  int writeEnd() const { return ends_[1]; }

 private:
  int ends_[2] = {-1, -1};
};

TEST_F(PipeStreams, OutputWaitsForFlushAndErrorsFlushItFirst) {
  StandardStream out(writeEnd(), nullptr);
  StandardStream err(writeEnd(), &out);
  out.write("one ");
  EXPECT_EQ(received(), "");
  err.write("two ");
  out.write("three");
  EXPECT_EQ(received(), "one two ");
  EXPECT_TRUE(out.flush());
  EXPECT_EQ(received(), "three");
  // Text larger than the buffer goes out whole, after what was waiting.
  out.write("a");
  const std::string large(10000, 'x');
  out.write(large);
  EXPECT_EQ(received(), "a" + large);
}

TEST(StandardStreams, AFailedWriteIsReportedAndLaterTextDropped) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) {
    GTEST_SKIP() << "no /dev/full";
  }
  StandardStream out(full, nullptr);
  out.write("lost");
  EXPECT_FALSE(out.flush());
  out.write("more");
  EXPECT_FALSE(out.flush());
  ::close(full);
}

TEST(StandardStreams, CaptureTakesBothStreamsAndNests) {
  CapturedStandardStreams outer;
  standardOutput().write("a");
  {
    CapturedStandardStreams inner;
    standardError().write("b");
    EXPECT_EQ(inner.err(), "b");
  }
  standardError().write("c");
  EXPECT_EQ(outer.out(), "a");
  EXPECT_EQ(outer.err(), "c");
}

}  // namespace
}  // namespace argparse
