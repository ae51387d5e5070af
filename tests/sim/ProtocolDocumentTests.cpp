// The examples of docs/protocol.md, sent to kestrune-sim as written: every
// request there is accepted, every subscription answered with a snapshot,
// and every frame whose bytes are shown whole has the length it claims and
// (for a reply) is the reply the simulator gives.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "json/Value.h"
#include "platform/TestSupport.h"
#include "server/support/ServerTestSupport.h"

namespace kestrune::sim {
namespace {

using server::testing::connectTo;
using server::testing::exchangeRaw;
using server::testing::lengthPrefix;
using server::testing::readFrameBody;
using server::testing::requestFrame;
using server::testing::writeAll;
using testing::SimProcess;
using testing_support::TemporaryDirectory;

// A frame as the document draws it: "→ 00 00 00 1c {...}".
struct DrawnFrame {
  bool fromClient = false;
  std::string prefix;  // "00 00 00 1c"
  std::string body;
  bool whole = false;  // on one line and without an ellipsis
};

struct Examples {
  std::vector<std::string> requests;  // the lines of the json blocks
  std::vector<DrawnFrame> frames;     // the lines of the byte-level blocks
};

bool contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

Examples examplesIn(const std::string& path) {
  std::ifstream file(path);
  Examples examples;
  std::string fence;  // the open block's language, or "" outside one
  bool inBlock = false;
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("```", 0) == 0) {
      inBlock = !inBlock;
      fence = inBlock ? line.substr(3) : "";
      continue;
    }
    if (!inBlock) {
      continue;
    }
    if (fence == "json" && line.rfind("{\"", 0) == 0 && !contains(line, "…")) {
      examples.requests.push_back(line);
    }
    const bool sent = line.rfind("→ ", 0) == 0;
    if (fence.empty() && (sent || line.rfind("← ", 0) == 0)) {
      const std::size_t start = std::string_view("→ ").size();
      DrawnFrame frame;
      frame.fromClient = sent;
      frame.prefix = line.substr(start, 11);
      frame.body = line.substr(start + 12);
      frame.whole = !contains(frame.body, "…") && frame.body.back() == '}';
      examples.frames.push_back(frame);
    } else if (fence.empty() && !examples.frames.empty() && line.rfind("   ", 0) == 0 &&
               line.find_first_not_of(' ') > 3) {
      examples.frames.back().whole = false;  // continued on the next line
    }
  }
  return examples;
}

std::string drawnPrefix(std::size_t length) {
  static constexpr std::string_view hex = "0123456789abcdef";
  std::string drawn;
  for (const char byte : lengthPrefix(static_cast<std::uint32_t>(length))) {
    const auto value = static_cast<unsigned char>(byte);
    drawn += drawn.empty() ? "" : " ";
    drawn += hex[value >> 4U];
    drawn += hex[value & 0xFU];
  }
  return drawn;
}

class ProtocolDocumentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { examples_ = examplesIn(KESTRUNE_SOURCE_DIR "/docs/protocol.md"); }

  void SetUp() override {
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--socket", socket_},
                                        directory_.path());
    ASSERT_TRUE(sim_->waitForError("listening on " + socket_)) << sim_->errorOutput();
  }

  // The first frame the simulator sends for a subscription.
  std::optional<std::string> firstFeedFrame(const std::string& subscription) const {
    const auto fd = connectTo(socket_);
    writeAll(fd.get(), requestFrame(subscription));
    return readFrameBody(fd.get());
  }

  static Examples examples_;
  TemporaryDirectory directory_;
  std::string socket_ = directory_ / "cli.sock";
  std::unique_ptr<SimProcess> sim_;
};

Examples ProtocolDocumentTest::examples_;

TEST_F(ProtocolDocumentTest, EveryRequestShownIsAcceptedAndEverySubscriptionFollowed) {
  ASSERT_GE(examples_.requests.size(), 5U) << "the examples were not found";
  for (const std::string& request : examples_.requests) {
    if (request.rfind("{\"subscribe\"", 0) == 0) {
      const auto first = firstFeedFrame(request);
      ASSERT_TRUE(first) << request;
      const json::Value event = json::parse(*first);
      ASSERT_NE(event.find("event"), nullptr) << request << ": " << *first;
      EXPECT_EQ(*event.find("event"), json::Value("snapshot")) << request;
      // Only what was asked for.
      EXPECT_EQ(event.find("devices") == nullptr, contains(request, "only")) << request;
      continue;
    }
    const CLIResponse reply = exchangeRaw(socket_, requestFrame(request));
    EXPECT_TRUE(reply.success) << request << ": " << reply.error.value_or("");
  }
}

TEST_F(ProtocolDocumentTest, FramesShownWholeHaveTheirLengthAndRepliesAreTheOnesGiven) {
  ASSERT_GE(examples_.frames.size(), 4U) << "the examples were not found";
  std::optional<std::string> lastReply;
  for (const DrawnFrame& frame : examples_.frames) {
    if (!frame.whole) {
      lastReply.reset();
      continue;
    }
    EXPECT_EQ(frame.prefix, drawnPrefix(frame.body.size())) << frame.body;
    if (frame.fromClient && frame.body.rfind("{\"subscribe\"", 0) != 0) {
      const auto fd = connectTo(socket_);
      writeAll(fd.get(), requestFrame(frame.body));
      lastReply = readFrameBody(fd.get());
      ASSERT_TRUE(lastReply) << frame.body;
    } else if (!frame.fromClient && lastReply) {
      EXPECT_EQ(frame.body, *lastReply);
      lastReply.reset();
    }
  }
}

TEST_F(ProtocolDocumentTest, TheSixtyFifthSubscriberIsToldAsShown) {
  std::vector<platform::FileDescriptor> followers;
  for (int i = 0; i < 64; ++i) {
    followers.push_back(connectTo(socket_));
    writeAll(followers.back().get(), requestFrame(R"({"subscribe":{}})"));
    ASSERT_TRUE(readFrameBody(followers.back().get())) << i;
  }
  const auto refusal = firstFeedFrame(R"({"subscribe":{}})");
  ASSERT_TRUE(refusal);
  std::ifstream file(KESTRUNE_SOURCE_DIR "/docs/protocol.md");
  const std::string document{std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>()};
  EXPECT_TRUE(contains(document, "`" + *refusal + "`")) << *refusal;
}

}  // namespace
}  // namespace kestrune::sim
