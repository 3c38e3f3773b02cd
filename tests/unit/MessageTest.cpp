#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "napi/Message.h"

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

}  // namespace
}  // namespace vml::napi
