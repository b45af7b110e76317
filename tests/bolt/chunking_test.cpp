// The focus of this file is Bolt's chunk framing: messages split into
// chunks of at most 65535 bytes, reassembled whatever pieces the bytes
// arrive in, keep-alives skipped, and a message over the limit refused
// before its bytes are held.
#include "bolt/chunking.h"

#include <gtest/gtest.h>

#include "bolt/bolt_error.h"
#include "bolt_client.h"

namespace orvane::bolt {
namespace {

using testing::bytes_of;
using testing::hex_of;

TEST(Chunking, SplitsAtTheChunkLimit) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> chunks;
  };
  const Case cases[] = {{1, {1}}, {65535, {65535}}, {65536, {65535, 1}}, {200000, {65535, 65535, 65535, 3395}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string message(c.size, 'm');
    std::string wire;
    append_chunked(wire, message);
    std::size_t at = 0;
    for (const std::size_t chunk : c.chunks) {
      const std::size_t length = (static_cast<unsigned char>(wire[at]) << 8) | static_cast<unsigned char>(wire[at + 1]);
      EXPECT_EQ(chunk, length);
      at += 2 + length;
    }
    EXPECT_EQ("00 00", hex_of(wire.substr(at)));
    ChunkReader reader;
    reader.feed(wire);
    ASSERT_TRUE(reader.has_message());
    EXPECT_EQ(message, reader.take_message());
    EXPECT_FALSE(reader.has_message());
  }
}

TEST(Chunking, ReassemblesWhateverPiecesArrive) {
  std::string wire = bytes_of("00 00");  // a keep-alive first
  append_chunked(wire, "first");
  wire += bytes_of("00 02 AB CD 00 01 EF 00 00");  // one message in two chunks
  wire += bytes_of("00 00 00 00");                 // keep-alives
  append_chunked(wire, std::string(70000, 'z'));
  for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, wire.size()}) {
    SCOPED_TRACE(piece);
    ChunkReader reader;
    std::vector<std::string> got;
    for (std::size_t at = 0; at < wire.size(); at += piece) {
      reader.feed(std::string_view(wire).substr(at, piece));
      while (reader.has_message()) got.push_back(reader.take_message());
    }
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("first", got[0]);
    EXPECT_EQ("AB CD EF", hex_of(got[1]));
    EXPECT_EQ(std::string(70000, 'z'), got[2]);
    EXPECT_EQ(0u, reader.buffered());
  }
}

TEST(Chunking, RefusesAMessageOverTheLimit) {
  ChunkReader reader(100);
  std::string wire;
  append_chunked(wire, std::string(100, 'a'));
  reader.feed(wire);
  EXPECT_EQ(std::string(100, 'a'), reader.take_message());
  // 60 + 60 bytes in two chunks: refused at the second header, before its
  // bytes arrive.
  ChunkReader second(100);
  second.feed(bytes_of("00 3C") + std::string(60, 'b'));
  try {
    second.feed(bytes_of("00 3C"));
    ADD_FAILURE() << "accepted";
  } catch (const BoltError& e) {
    EXPECT_EQ("message exceeds the limit of 100 bytes", std::string(e.what()));
  }
}

TEST(Chunking, HoldsAPartialMessage) {
  ChunkReader reader;
  reader.feed(bytes_of("00 03 01 02"));
  EXPECT_FALSE(reader.has_message());
  EXPECT_EQ(2u, reader.buffered());
  reader.feed(bytes_of("03 00"));
  EXPECT_EQ(4u, reader.buffered());
  reader.feed(bytes_of("00"));
  EXPECT_EQ("01 02 03", hex_of(reader.take_message()));
}

}  // namespace
}  // namespace orvane::bolt
