// The server's reading of one request frame, fed the byte stream in pieces
// of every size the input chooses: whatever the split, it reads what a
// reading of the whole stream at once says (the body, a refusal on the
// length prefix alone, or where a cut frame ended), and never takes a byte
// past the frame.
//   input: one byte choosing the bound, eight bytes choosing piece sizes,
//   then the stream.

#include <algorithm>
#include <array>
#include <string>

#include "FuzzSupport.h"
#include "server/FrameReader.h"
#include "server/Framing.h"

namespace {

using kestrune::server::FrameReader;

struct Outcome {
  FrameReader::State state;
  std::size_t consumed;
  std::string body;
  std::string error;
};

Outcome read(std::uint32_t bound, std::string_view stream,
             const std::array<std::size_t, 8>& pieces) {
  FrameReader reader(bound);
  std::size_t used = 0;
  for (std::size_t turn = 0; used < stream.size() && !reader.room().empty(); ++turn) {
    const auto room = reader.room();
    const std::size_t count =
        std::min({pieces[turn % pieces.size()], room.size(), stream.size() - used});
    std::copy_n(stream.data() + used, count, room.data());
    reader.took(count);
    used += count;
  }
  Outcome outcome{reader.state(), used, std::string(reader.body()), ""};
  if (outcome.state == FrameReader::State::tooLarge) {
    outcome.error = reader.tooLargeError();
  } else if (outcome.state != FrameReader::State::complete && reader.started()) {
    outcome.error = reader.endedEarlyError();
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) {
    return 0;
  }
  // Small bounds reach the refusal often; the real one is among them.
  const std::uint32_t bound = data[0] == 0xFF ? kestrune::server::maxRequestSize : data[0];
  std::array<std::size_t, 8> pieces{};
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    pieces[i] = std::size_t{data[1 + i]} % 17 + 1;
  }
  const std::string_view stream = fuzzing::asText(data + 9, size - 9);

  std::array<std::size_t, 8> whole{};
  whole.fill(stream.size() + 1);
  const Outcome once = read(bound, stream, whole);
  const Outcome split = read(bound, stream, pieces);
  fuzzing::require(split.state == once.state, "the split changed the state");
  fuzzing::require(split.consumed == once.consumed, "the split changed what was consumed");
  fuzzing::require(split.body == once.body, "the split changed the body");
  fuzzing::require(split.error == once.error, "the split changed the error");

  if (stream.size() >= kestrune::server::frameHeaderSize) {
    std::array<unsigned char, kestrune::server::frameHeaderSize> header{};
    std::copy_n(data + 9, header.size(), header.begin());
    const std::uint32_t length = kestrune::server::frameLength(header);
    if (length > bound) {
      fuzzing::require(once.state == FrameReader::State::tooLarge, "an oversize body was read");
      fuzzing::require(once.consumed == header.size(), "a refused body was consumed");
    } else if (stream.size() >= header.size() + length) {
      fuzzing::require(once.state == FrameReader::State::complete, "a whole frame is incomplete");
      fuzzing::require(once.body == stream.substr(header.size(), length), "the body differs");
      fuzzing::require(once.consumed == header.size() + length, "bytes past the frame were taken");
    }
  }
  return 0;
}
