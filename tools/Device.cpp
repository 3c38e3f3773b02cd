#include "Device.h"

#include <array>

#include "Texts.h"

#include <array>
#include <utility>

namespace vmlctl {

const char* TextForCode(int32_t code) {
  static const std::array<const char*, 10> kTexts = {
      "成功",           "方法没有实现", "错误的用户名", "错误的口令",   "无效的视频连接票",
      "错误的视频端口", "无效的参数",   "未知NAPI错误", "无效NAPI命令", "NAPI版本冲突",
  };
  if (code < kSuccess || code >= kSuccess + static_cast<int32_t>(kTexts.size())) return "";
  return kTexts[static_cast<std::size_t>(code - kSuccess)];
}

Device::Device(Target target) : target_(std::move(target)), command_(CreateICommand()) {}

Device::~Device() {
  if (command_ != nullptr) command_->Release();
}

std::string EncodingName(int32_t encoding) {
  if (encoding == VMLCMD_TEXT_ENCODING_UTF8) return "utf-8";
  return "cp" + std::to_string(encoding);
}

bool ToDeviceText(int32_t encoding, const std::string& utf8, std::string* bytes) {
  std::array<char, 1024> converted{};
  if (utf8.size() >= converted.size() / 2 ||
      vmlcmd_text_to_device(encoding, utf8.c_str(), converted.data(), converted.size()) < 0)
    return false;
  *bytes = converted.data();
  return true;
}

bool Device::ToDevice(const std::string& utf8, std::string* bytes) const {
  return ToDeviceText(target_.textEncoding, utf8, bytes);
}

nlohmann::ordered_json Device::FromDevice(const char* bytes) const {
  return vmlcmd::config::DocumentText(bytes, target_.textEncoding);
}

bool Device::Begin() {
  operations_.clear();
  std::string user;
  std::string password;
  if (!ToDevice(target_.user, &user) || !ToDevice(target_.password, &password) ||
      !command_->SetNetworkTarget(target_.host.c_str(), target_.port, user.c_str(), password.c_str())) {
    return false;
  }
  command_->SetVideoPort(target_.videoPort);
  return true;
}

const VmlCmdOutcome& Device::Capture() {
  VmlCmdOutcome outcome{};
  outcome.size = sizeof outcome;
  if (!VmlCmdGetLastOutcome(command_, &outcome)) outcome.stage = VmlCmdStageNone;
  operations_.push_back(outcome);
  return operations_.back();
}

Result Device::Act(bool ok) {
  Capture();
  Result result;
  result.ok = ok;
  return result;
}

Result Device::Local(bool ok) const {
  Result result;
  result.ok = ok;
  return result;
}

Result Device::Read(const char* name, const std::function<int32_t(ICommand&)>& get) {
  const int32_t value = get(*command_);
  Result result;
  result.ok = Capture().stage == VmlCmdStageSuccess;
  if (result.ok) result.values[name] = value;
  return result;
}

}  // namespace vmlctl
