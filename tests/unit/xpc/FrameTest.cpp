#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/xpc/Frame.h"

namespace {

using xpc::FrameDecoder;

struct Collected {
  std::vector<std::string> bodies;
  bool error = false;
};

// Feeds `stream` in pieces of `piece` bytes and collects what the decoder yields.
Collected decodeInPieces(const std::string& stream, size_t piece, size_t maxBody) {
  FrameDecoder d(maxBody);
  Collected c;
  for (size_t at = 0; at < stream.size(); at += piece) {
    d.feed(std::string_view(stream).substr(at, piece));
    std::string body;
    for (;;) {
      const auto s = d.next(body);
      if (s == FrameDecoder::Status::Frame) c.bodies.push_back(body);
      if (s == FrameDecoder::Status::Error) c.error = true;
      if (s != FrameDecoder::Status::Frame) break;
    }
  }
  return c;
}

TEST(Frame, HeaderIsBigEndianLength) {
  const std::string f = xpc::frame(std::string(0x010203, 'x'));
  ASSERT_EQ(f.size(), 4u + 0x010203);
  EXPECT_EQ(f.substr(0, 4), std::string("\x00\x01\x02\x03", 4));
}

TEST(Frame, DecodesWhateverTheChunking) {
  const std::string stream =
      xpc::frame("first") + xpc::frame("") + xpc::frame(std::string(300, 'b')) + xpc::frame("z");
  for (size_t piece : {1u, 3u, 4u, 5u, 64u, 100000u}) {
    SCOPED_TRACE(piece);
    const auto c = decodeInPieces(stream, piece, 1024);
    EXPECT_FALSE(c.error);
    EXPECT_EQ(c.bodies, (std::vector<std::string>{"first", "", std::string(300, 'b'), "z"}));
  }
}

TEST(Frame, LengthBound) {
  struct Case {
    size_t bodySize;
    size_t maxBody;
    bool error;
  };
  for (const Case& c : {Case{16, 16, false}, Case{17, 16, true}, Case{0, 0, false}}) {
    SCOPED_TRACE(c.bodySize);
    const auto got = decodeInPieces(xpc::frame(std::string(c.bodySize, 'q')), 2, c.maxBody);
    EXPECT_EQ(got.error, c.error);
    EXPECT_EQ(got.bodies.size(), c.error ? 0u : 1u);
  }
}

TEST(Frame, OversizedHeaderFailsBeforeTheBodyArrives) {
  FrameDecoder d(1000);
  d.feed(std::string("\xff\xff\xff\xff", 4));
  std::string body;
  EXPECT_EQ(d.next(body), FrameDecoder::Status::Error);
  // The stream cannot be resynchronised: later bytes are refused too.
  d.feed(xpc::frame("ok"));
  EXPECT_EQ(d.next(body), FrameDecoder::Status::Error);
  EXPECT_TRUE(d.failed());
}

TEST(Frame, MidFrameTellsTruncationFromACleanEnd) {
  FrameDecoder d(100);
  std::string body;
  EXPECT_FALSE(d.midFrame());
  const std::string f = xpc::frame("hello");
  d.feed(f.substr(0, 6));
  EXPECT_EQ(d.next(body), FrameDecoder::Status::NeedMore);
  EXPECT_TRUE(d.midFrame());
  d.feed(f.substr(6));
  EXPECT_EQ(d.next(body), FrameDecoder::Status::Frame);
  EXPECT_FALSE(d.midFrame());
}

}  // namespace
