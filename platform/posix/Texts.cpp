// The string table, compiled in as UTF-8 (on Windows it is a resource of the module).
#include <cstring>

#include "platform/Platform.h"

namespace vml::platform {
namespace {

const char* const kTexts[] = {
    nullptr,
    "视频参数",          // 1
    "遮挡设置",          // 2
    "移动侦察设置",      // 3
    "OSD 设置",          // 4
    "OSD 设置",          // 5
    "OSD 设置",          // 6
    "OSD 设置",          // 7
    "OSD 设置",          // 8
    "成功",              // 9
    "方法没有实现",      // 10
    "错误的用户名",      // 11
    "错误的口令",        // 12
    "无效的视频连接票",  // 13
    "错误的视频端口",    // 14
    "无效的参数",        // 15
    "未知NAPI错误",      // 16
    "无效NAPI命令",      // 17
    "NAPI版本冲突",      // 18
};

// The texts of the outcome stages, from identifier 200 on.
constexpr int kStageBase = 200;
const char* const kStageTexts[] = {
    "尚无操作",
    "成功",
    "未设置网络目标",
    "参数在发送前被拒绝",
    "地址不是点分十进制的 IPv4 地址",
    "连接被拒绝",
    "100 毫秒内未能连接",
    "连接失败",
    "登录被拒绝",
    "请求发送失败",
    "1 秒内无应答",
    "设备关闭了连接",
    "接收失败",
    "设备拒绝了请求",
    "应答缺少数值",
    "方法没有实现",
    "不是 NAPI 设备",
};

template <std::size_t Count>
const char* Find(const char* const (&texts)[Count], int index) {
  return index >= 0 && index < static_cast<int>(Count) ? texts[index] : nullptr;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

int LoadText(int id, char* buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize < 1) return 0;
  const char* text = id >= kStageBase ? Find(kStageTexts, id - kStageBase) : Find(kTexts, id);
  if (text == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  std::size_t length = std::strlen(text);
  std::size_t room = static_cast<std::size_t>(bufferSize) - 1;
  if (length > room) {
    // Cut before a whole character so the copy stays valid UTF-8.
    length = room;
    while (length > 0 && IsContinuationByte(text[length])) --length;
  }
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

}  // namespace vml::platform
