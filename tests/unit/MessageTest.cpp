#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "napi/Message.h"
#include "napi/Session.h"

namespace vml::napi {
namespace {

std::vector<std::uint8_t> Bytes(const Request& request) {
  return {request.Data(), request.Data() + request.Size()};
}

TEST(Request, MatchesTheProtocolsOwnExamples) {
  Request stop;
  ASSERT_TRUE(stop.Format(60, TextRule::Plain, "-p %d -c %d", 0, 12));
  EXPECT_EQ(Bytes(stop), (std::vector<std::uint8_t>{0x64, 0,    0,    0,    0x0a, 0,    0,    0,    0x3c,
                                                    0,    0,    0,    0,    0,    0,    0,    0x2d, 0x70,
                                                    0x20, 0x30, 0x20, 0x2d, 0x63, 0x20, 0x31, 0x32}));
  Request bitrate;
  ASSERT_TRUE(bitrate.Format(31, TextRule::CountedNul, "-p %d -b %d", 1, 128));
  EXPECT_EQ(Bytes(bitrate),
            (std::vector<std::uint8_t>{0x64, 0,    0,    0,    0x0c, 0,    0,    0,    0x1f, 0,
                                       0,    0,    0,    0,    0,    0,    0x2d, 0x70, 0x20, 0x31,
                                       0x20, 0x2d, 0x62, 0x20, 0x31, 0x32, 0x38, 0x00}));
}

TEST(Request, JoinedPiecesAreTheBytesFormatMakes) {
  const std::string longest(255 - 7, 'u');
  struct Case {
    const char* user;
    const char* password;
  } cases[] = {{"admin", "admin"}, {"", ""}, {"a%sb%d", "%n"}, {"管理员", "口令"}, {longest.c_str(), ""}};
  for (const Case& c : cases) {
    Request joined, formatted;
    ASSERT_TRUE(formatted.Format(45, TextRule::Plain, "-u %s -p %s", c.user, c.password)) << c.user;
    ASSERT_TRUE(joined.Join(45, {"-u ", c.user, " -p ", c.password})) << c.user;
    EXPECT_EQ(Bytes(joined), Bytes(formatted)) << c.user;
  }
  Request request;
  EXPECT_FALSE(request.Join(45, {"-u ", longest + "u", " -p ", ""}));  // 256 characters
  EXPECT_EQ(request.Size(), 0);
}

TEST(Request, HeaderOnlyIsSixteenBytes) {
  Request request;
  ASSERT_TRUE(request.HeaderOnly(5));
  EXPECT_EQ(Bytes(request), (std::vector<std::uint8_t>{0x64, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(request.Format(9, TextRule::HeaderOnly, "ignored"));
  EXPECT_EQ(request.Size(), 16);
}

TEST(Request, RefusesTextsLongerThan255Characters) {
  Request request;
  EXPECT_TRUE(request.Format(31, TextRule::Plain, "-t %s", std::string(252, 'x').c_str()));
  EXPECT_EQ(request.Size(), 16 + 255);
  EXPECT_TRUE(request.Format(31, TextRule::CountedNul, "-t %s", std::string(252, 'x').c_str()));
  EXPECT_EQ(request.Size(), 16 + 256);
  EXPECT_FALSE(request.Format(31, TextRule::Plain, "-t %s", std::string(253, 'x').c_str()));
  EXPECT_EQ(request.Size(), 0);
}

TEST(Request, NegativeAndLargeNumbersKeepTheirSign) {
  Request request;
  ASSERT_TRUE(request.Format(31, TextRule::Plain, "-b %d", -2147483647 - 1));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.Data() + 16), 14), "-b -2147483648");
}

// A reply as the wire carries it: textLength declared, status 0, the text.
std::vector<std::uint8_t> ReplyOnWire(const std::string& text, std::int32_t declared,
                                      std::int32_t first = 100) {
  std::vector<std::uint8_t> bytes(kReplyHeaderSize, 0);
  PutInt32(bytes.data(), first);
  PutInt32(bytes.data() + 4, declared);
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

// Reads what is owed from the rest of the stream, `piece` bytes at most per read, as the session
// does; the count of bytes skipped.
std::size_t SkipFrom(OwedBytes& owed, const std::vector<std::uint8_t>& stream, std::size_t at,
                     std::size_t piece) {
  std::size_t skipped = 0;
  while (std::size_t next = std::min(owed.Next(), piece)) {
    if (at + skipped + next > stream.size()) break;
    owed.Take(stream.data() + at + skipped, next);
    skipped += next;
  }
  return skipped;
}

TEST(OwedBytes, AReplyCutAnywhereOwesExactlyItsRest) {
  const std::string text = "-p 0 -b 640 -f 25";
  for (const auto& reply : {ReplyOnWire("", 0), ReplyOnWire(text, static_cast<std::int32_t>(text.size()))}) {
    for (std::size_t cut = 1; cut < reply.size(); ++cut) {
      for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{1024}}) {
        std::uint8_t buffer[kReplyBufferSize] = {};
        std::copy(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(cut), buffer);
        OwedBytes owed;
        owed.After(buffer, cut, static_cast<std::int64_t>(cut));
        // The next reply follows on the stream: only the rest of this one may be skipped.
        std::vector<std::uint8_t> stream = reply;
        const auto next = ReplyOnWire("-b 1", 4);
        stream.insert(stream.end(), next.begin(), next.end());
        EXPECT_EQ(SkipFrom(owed, stream, cut, piece), reply.size() - cut) << cut << " " << piece;
        EXPECT_EQ(owed.Next(), 0u);
      }
    }
  }
}

TEST(OwedBytes, AShortReplyOfADeviceThatDoesNotWrite100IsAllItMeantToSend) {
  // Without the usual first field nothing tells a late device's header from its next reply, so
  // the next reply is read whole: a device that sends short replies on purpose is read right.
  for (std::int32_t first : {0, 101, -1, 0x164}) {
    const auto reply = ReplyOnWire("", 0, first);
    for (std::size_t cut = 1; cut < kReplyHeaderSize; ++cut) {
      std::uint8_t buffer[kReplyBufferSize] = {};
      std::copy(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(cut), buffer);
      OwedBytes owed;
      owed.After(buffer, cut, static_cast<std::int64_t>(cut));
      const bool prefixOf100 = cut == 1 && first == 0x164;  // its first byte alone reads as 100's
      EXPECT_EQ(owed.Next() == 0, !prefixOf100) << first << " " << cut;
    }
  }
}

TEST(OwedBytes, OnlyBelievableTextIsOwed) {
  std::uint8_t buffer[kReplyBufferSize] = {};
  const struct {
    std::int32_t declared;
    std::size_t received;
    std::int64_t consumed;
    std::size_t owed;
  } cases[] = {
      {0, 20, 20, 0},           // whole
      {10, 20, 20, 10},         // the text still to come
      {500, 299, 400, 120},     // text beyond the buffer, partly read and dropped
      {4, 30, 30, 0},           // more came than declared
      {-5, 20, 20, 0},          // a negative length owes nothing
      {0x7FFFFFFF, 92, 92, 0},  // a broken header, not a promise
      {OwedBytes::kMostOwedText, 20, 20, static_cast<std::size_t>(OwedBytes::kMostOwedText)},
      {12, 0, 0, 0},  // no reply at all
  };
  for (const auto& c : cases) {
    PutInt32(buffer + 4, c.declared);
    OwedBytes owed;
    owed.After(buffer, c.received, c.consumed);
    EXPECT_EQ(owed.Next(), c.owed) << c.declared;
  }
}

}  // namespace
}  // namespace vml::napi
