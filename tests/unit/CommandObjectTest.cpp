// The operations that never talk to a device: vendor name, result texts, reserved slots, and
// the choice of link.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "VmlCmd/ICommand.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"
#include "support/HostText.h"

namespace vml {
namespace {

using testing::HostText;

struct Released {
  void operator()(ICommand* command) const { command->Release(); }
};
using CommandPtr = std::unique_ptr<ICommand, Released>;
CommandPtr NewCommand() { return CommandPtr(CreateICommand()); }

std::string ErrorText(ICommand& command, int bufferSize = 64) {
  std::string text(static_cast<std::size_t>(bufferSize) + 8, '#');
  int length = command.GetErrorText(bufferSize, text.data());
  EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(text.c_str()));
  return text.c_str();
}

TEST(VendorName, WritesSevenBytesWhenTheyFit) {
  auto command = NewCommand();
  for (int bufferSize : {0, 7, 100}) {
    char name[7];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(command->GetVendorName(bufferSize, name), 7);
    EXPECT_EQ(std::string(name, 7), std::string("vormel\0", 7));
  }
}

TEST(VendorName, RefusesBuffersThatCannotHoldIt) {
  auto command = NewCommand();
  char name[8] = "xxxxxxx";
  for (int bufferSize : {1, 6, -1}) EXPECT_EQ(command->GetVendorName(bufferSize, name), 0);
  EXPECT_STREQ(name, "xxxxxxx");
  EXPECT_EQ(command->GetVendorName(0, nullptr), 0);
}

TEST(ResultCode, TextsFollowTheSharedCode) {
  auto first = NewCommand();
  auto second = NewCommand();
  SetLastErrorCode(kSuccess);
  EXPECT_EQ(ErrorText(*first), HostText("成功"));
  EXPECT_EQ(first->Reserved11(), 0);
  // The code is module-wide: the other object reports the first one's failure.
  EXPECT_EQ(ErrorText(*second), HostText("方法没有实现"));
  struct Case {
    int32_t code;
    const char* text;
  } cases[] = {{11, "错误的用户名"}, {12, "错误的口令"},   {13, "无效的视频连接票"}, {14, "错误的视频端口"},
               {15, "无效的参数"},   {16, "未知NAPI错误"}, {17, "无效NAPI命令"},     {18, "NAPI版本冲突"}};
  for (const Case& c : cases) {
    SetLastErrorCode(c.code);
    EXPECT_EQ(ErrorText(*first), HostText(c.text)) << c.code;
  }
}

// Sizes count in the host's bytes: a character is three of them in UTF-8, two in code page 936.
TEST(ResultCode, TextsAreCutAtWholeCharacters) {
  auto command = NewCommand();
  const int one = static_cast<int>(HostText("方").size());
  if (one < 2)
    GTEST_SKIP() << "the host's code page has no Chinese characters (run under LC_ALL=zh_CN.UTF-8)";
  SetLastErrorCode(kNotImplemented);  // six characters
  EXPECT_EQ(ErrorText(*command, one + 1), HostText("方"));
  EXPECT_EQ(ErrorText(*command, 2 * one), HostText("方"));
  EXPECT_EQ(ErrorText(*command, 2 * one + 1), HostText("方法"));
  EXPECT_EQ(ErrorText(*command, 1), "");
  EXPECT_EQ(command->GetErrorText(0, nullptr), 0);
  SetLastErrorCode(16);
  EXPECT_EQ(ErrorText(*command, 2 * one + 1), HostText("未知"));
  EXPECT_EQ(ErrorText(*command, 2 * one + 2), HostText("未知N"));  // ASCII after CJK
  SetLastErrorCode(kSuccess);
}

TEST(ReservedSlots, AnswerAsNotImplementedOrUnsupported) {
  auto command = NewCommand();
  SetLastErrorCode(kSuccess);
  EXPECT_EQ(command->Reserved1(), 0);
  EXPECT_EQ(command->Reserved2(), 1);
  EXPECT_FALSE(command->Reserved10(1, 2, 3));
  EXPECT_FALSE(command->Reserved74(1));
  EXPECT_FALSE(command->Reserved76());
  EXPECT_EQ(command->Reserved82(), 0);
  EXPECT_FALSE(command->SetPtzLight(true));
  EXPECT_FALSE(command->SetPtzWiper(true));
  EXPECT_FALSE(command->Reserved21(0));  // not in serial mode: the code stays
  EXPECT_TRUE(command->SetReservedValue(42));
  EXPECT_EQ(LastErrorCode(), kSuccess);

  struct Case {
    const char* name;
    bool (*call)(ICommand&);
  } codeTen[] = {
      {"Reserved3", [](ICommand& c) { return c.Reserved3(1, 2, 3); }},
      {"Reserved4", [](ICommand& c) { return c.Reserved4(1, 2, 3) != 0; }},
      {"Reserved12", [](ICommand& c) { return c.Reserved12() != 0; }},
      {"Reserved40", [](ICommand& c) { return c.Reserved40(1); }},
      {"Reserved81", [](ICommand& c) { return c.Reserved81(1, 2, 3, 4, 5, 6); }},
      {"Reserved88", [](ICommand& c) { return c.Reserved88() != 0; }},
      {"SetPtzAux", [](ICommand& c) { return c.SetPtzAux(0, true); }},
      {"SetAudioVolume", [](ICommand& c) { return c.SetAudioVolume(5); }},
      {"SetAudioMute", [](ICommand& c) { return c.SetAudioMute(true); }},
  };
  for (const Case& c : codeTen) {
    SetLastErrorCode(kSuccess);
    EXPECT_FALSE(c.call(*command)) << c.name;
    EXPECT_EQ(LastErrorCode(), kNotImplemented) << c.name;
  }
}

TEST(NetworkTarget, IsStoredWithoutTouchingTheNetwork) {
  auto command = NewCommand();
  auto* object = static_cast<NapiCommand*>(command.get());
  EXPECT_EQ(object->Mode(), ConnectionModeNone);
  SetLastErrorCode(kInvalidArgument);
  // No device listens on this name, and none is asked: it only shows at the next operation.
  EXPECT_TRUE(command->SetNetworkTarget("no.such.device", 1, "u", "p"));
  EXPECT_EQ(object->Mode(), ConnectionModeNetwork);
  EXPECT_EQ(LastErrorCode(), kSuccess);
  EXPECT_FALSE(object->Channel().IsOpen());
}

TEST(NetworkTarget, RefusesNullAndOversizedTextsAndChangesNothing) {
  auto command = NewCommand();
  auto* object = static_cast<NapiCommand*>(command.get());
  std::string longAddress(151, '1');
  std::string longName(49, 'u');
  EXPECT_TRUE(command->SetNetworkTarget(longAddress.c_str(), 1, longName.c_str(), longName.c_str()));
  ASSERT_TRUE(command->CloseLink());
  SetLastErrorCode(kInvalidArgument);
  EXPECT_FALSE(command->SetNetworkTarget(nullptr, 1, "u", "p"));
  EXPECT_FALSE(command->SetNetworkTarget("1.2.3.4", 1, nullptr, "p"));
  EXPECT_FALSE(command->SetNetworkTarget("1.2.3.4", 1, "u", nullptr));
  EXPECT_FALSE(command->SetNetworkTarget((longAddress + "1").c_str(), 1, "u", "p"));
  EXPECT_FALSE(command->SetNetworkTarget("1.2.3.4", 1, (longName + "u").c_str(), "p"));
  EXPECT_FALSE(command->SetNetworkTarget("1.2.3.4", 1, "u", (longName + "p").c_str()));
  EXPECT_EQ(object->Mode(), ConnectionModeNone);
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
}

TEST(CloseLink, AlwaysSucceedsAndReportsSuccess) {
  auto command = NewCommand();
  SetLastErrorCode(kWrongPassword);
  EXPECT_TRUE(command->CloseLink());
  EXPECT_EQ(LastErrorCode(), kSuccess);
  EXPECT_EQ(static_cast<NapiCommand*>(command.get())->Mode(), ConnectionModeNone);
}

}  // namespace
}  // namespace vml
