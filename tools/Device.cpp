#include "Device.h"

#include <array>
#include <utility>

#include "Terminal.h"

namespace vmlctl {

int32_t CodeForText(const std::string& text) {
  static const std::array<const char*, 10> kTexts = {
      "成功",           "方法没有实现", "错误的用户名", "错误的口令",   "无效的视频连接票",
      "错误的视频端口", "无效的参数",   "未知NAPI错误", "无效NAPI命令", "NAPI版本冲突",
  };
  for (std::size_t i = 0; i < kTexts.size(); ++i) {
    if (text == kTexts[i]) return kSuccess + static_cast<int32_t>(i);
  }
  return kUnknownCode;
}

Device::Device(Target target) : target_(std::move(target)), command_(CreateICommand()) {}

Device::~Device() {
  if (command_ != nullptr) command_->Release();
}

bool Device::Begin() {
  if (!command_->SetNetworkTarget(target_.host.c_str(), target_.port, target_.user.c_str(),
                                  target_.password.c_str())) {
    return false;
  }
  command_->SetVideoPort(target_.videoPort);
  return true;
}

std::string Device::Text() const {
  std::array<char, 256> buffer{};
  const int32_t length = command_->GetErrorText(static_cast<int32_t>(buffer.size()), buffer.data());
  return length > 0 ? LibraryTextToUtf8(buffer.data()) : std::string();
}

Result Device::Act(bool ok) const {
  Result result;
  result.ok = ok;
  return result;
}

Result Device::Read(const char* name, const std::function<int32_t(ICommand&)>& get) {
  command_->Reserved11();  // sets "not implemented" and does nothing else
  const int32_t value = get(*command_);
  Result result;
  const int32_t code = Code();
  result.ok = code == kSuccess;
  if (result.ok) {
    result.values[name] = value;
  } else if (code == kNotImplemented) {
    // Still the primed code: the getter failed without naming a reason. Put the code back to
    // what the library itself would show after such a failure.
    Begin();
  }
  return result;
}

Result Device::ReadKeepingCode(const char* name, const std::function<int32_t(ICommand&)>& get) {
  const int32_t value = get(*command_);
  Result result;
  result.ok = Code() == kSuccess;
  if (result.ok) result.values[name] = value;
  return result;
}

}  // namespace vmlctl
