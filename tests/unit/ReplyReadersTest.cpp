// The reply readers on plain texts. Devices depend on their quirks (last token wins versus first
// letter anywhere), so these cases pin them down.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "napi/Message.h"
#include "napi/ReplyReaders.h"

namespace vml::napi {
namespace {

TEST(ReadNumber, ReadsLikeAtoi) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {{"512", 512},
               {"  25 ", 25},
               {"-57", -57},
               {"+7x", 7},
               {"x1", 0},
               {"", 0},
               {"\t\n 3", 3},
               {"- 3", 0},
               {"2147483647", 2147483647},
               {"99999999999", 2147483647},
               {"-2147483648", -2147483647 - 1},
               {"-99999999999", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(ReadNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(TokenText, LastTokenOfALetterWinsAndKeepsTrailingBlanks) {
  EXPECT_EQ(TokenText("-b 512 -f 25", 'b'), std::optional<std::string_view>("512 "));
  EXPECT_EQ(TokenText("-b 512 -f 25", 'f'), std::optional<std::string_view>("25"));
  EXPECT_EQ(TokenText("-b 512 -f 25", 'q'), std::nullopt);
  EXPECT_EQ(TokenText("-m 1.1.1.1-m 2.2.2.2", 'm'), std::optional<std::string_view>("2.2.2.2"));
}

TEST(TokenText, HyphensSplitValuesAndRunsOfHyphensMakeNoEmptyTokens) {
  // A negative number loses its sign and its digits become a token of their own.
  EXPECT_EQ(TokenText("-b -5", 'b'), std::optional<std::string_view>(""));
  EXPECT_EQ(TokenText("---a x----m y", 'm'), std::optional<std::string_view>("y"));
  // A bare letter, or a letter and one character, has an empty value.
  EXPECT_EQ(TokenText("-a-m 1", 'a'), std::optional<std::string_view>(""));
  EXPECT_EQ(TokenText("-ax", 'a'), std::optional<std::string_view>(""));
  // The second character is skipped whatever it is.
  EXPECT_EQ(TokenText("-a:1.2.3.4", 'a'), std::optional<std::string_view>("1.2.3.4"));
}

TEST(LetterNumber, FirstOccurrenceAnywhereWins) {
  EXPECT_EQ(LetterNumber("-p 1 -b 512", 'b'), 512);
  EXPECT_EQ(LetterNumber("-p 1 -b 512", 'p'), 1);
  EXPECT_EQ(LetterNumber("b512", 'b'), 512);
  EXPECT_EQ(LetterNumber("-b x -b 5", 'b'), 0);
  // Inside another token's value: the word "about" holds the b first.
  EXPECT_EQ(LetterNumber("-w about -b 512", 'b'), 0);
  EXPECT_EQ(LetterNumber("-b 512 -b 9", 'b'), 512);
  EXPECT_EQ(LetterNumber("-f 25", 'b'), std::nullopt);
  EXPECT_EQ(LetterNumber("-l -5", 'l'), -5);
}

TEST(ReadPortOneValue, SearchesForPortOneThenTheFirstBOfTheWholeText) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"-p 1 -b 9600", 9600},
      {"-p 2 -b 4800 -p 1 -b 9600", 4800},  // the b search starts over at the beginning
      {"-p 2 -x 3 -p 1 -b 9600", 9600},
      {"-b 1200 -p 1", 1200},
      {"-p 2 -b 9600", std::nullopt},
      {"-p 1 -c 9600", std::nullopt},
      {"", std::nullopt},
      {"-p 1 -b 0", 0},
      {"speed -p 1 -b 2400", 2400},  // the 'p' of "speed" reads 0 and the search moves on
  };
  for (const Case& c : cases) EXPECT_EQ(ReadPortOneValue(c.text), c.value) << c.text;
}

TEST(CopyValue, NeverWritesPastTheBuffer) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  CopyValue("192.0.2.10", buffer, 5);
  EXPECT_STREQ(buffer, "192.");
  EXPECT_EQ(buffer[5], 'x');
  CopyValue("ab", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "ab");
  CopyValue("ab", buffer, 1);
  EXPECT_STREQ(buffer, "");
}

// A reply buffer as the transaction leaves it: cleared, then filled with what arrived.
struct Reply {
  std::uint8_t buffer[kReplyBufferSize] = {};
  std::size_t received = 0;

  Reply(std::int32_t status, std::int32_t textLength, const std::string& text,
        std::size_t arrived = SIZE_MAX) {
    PutInt32(buffer, 100);
    PutInt32(buffer + 4, textLength);
    PutInt32(buffer + 16, status);
    std::memcpy(buffer + kReplyHeaderSize, text.data(),
                std::min(text.size(), kReplyReceiveLimit - kReplyHeaderSize));
    received = std::min(arrived, std::min(kReplyHeaderSize + text.size(), kReplyReceiveLimit));
    std::memset(buffer + received, 0, kReplyBufferSize - received);
  }
  ReplyView View() const { return {buffer, received}; }
};

TEST(ReplyView, ReadsOnlyWhatArrived) {
  Reply whole(0, 6, "-b 512");
  EXPECT_EQ(whole.View().Text(), "-b 512");
  EXPECT_EQ(whole.View().AnnouncedText(), "-b 512");

  // A text length larger than what arrived, or negative, never reaches past the bytes received.
  Reply overstated(0, 5000, "-b 512", 23);
  EXPECT_EQ(overstated.View().AnnouncedText(), "-b ");
  Reply negative(0, -1, "-b 512");
  EXPECT_EQ(negative.View().AnnouncedText(), "");
  // A shorter text length cuts the token text but not the letter reader's text.
  Reply understated(0, 2, "-b 512");
  EXPECT_EQ(understated.View().AnnouncedText(), "-b");
  EXPECT_EQ(understated.View().Text(), "-b 512");
  // An embedded NUL ends the text.
  Reply nul(0, 9, std::string("-b 5\0-f 1", 9));
  EXPECT_EQ(nul.View().Text(), "-b 5");
}

TEST(ReplyView, ShortRepliesReadTheirMissingHeaderAsZero) {
  Reply oneByte(7, 6, "-b 512", 1);
  EXPECT_EQ(oneByte.View().Status(), 0);
  EXPECT_EQ(oneByte.View().Text(), "");
  Reply sixteen(7, 6, "-b 512", 16);
  EXPECT_EQ(sixteen.View().Status(), 0);
  Reply seventeen(0x0107, 0, "", 17);
  EXPECT_EQ(seventeen.View().Status(), 7);
}

TEST(ReplyView, AFullBufferStaysTerminated) {
  Reply full(0, 279, std::string(400, 'b'));
  EXPECT_EQ(full.received, kReplyReceiveLimit);
  EXPECT_EQ(full.View().Text().size(), kReplyReceiveLimit - kReplyHeaderSize);
  EXPECT_EQ(full.buffer[kReplyBufferSize - 1], 0);
}

}  // namespace
}  // namespace vml::napi
