#include "Command.h"

#include <new>

namespace vmlcmd_python {

Command::Command(const std::string& host, int32_t port, const std::string& user, const std::string& password,
                 int32_t videoPort) {
  object_ = CreateICommand();
  if (object_ == nullptr) throw std::bad_alloc();
  // The target sends nothing; it fails only for texts longer than the object's fields, which
  // the Python layer has already refused.
  if (!object_->SetNetworkTarget(host.c_str(), port, user.c_str(), password.c_str())) {
    object_->Release();
    object_ = nullptr;
    throw std::invalid_argument("the library refused the device's address or account");
  }
  object_->SetVideoPort(videoPort);
  videoPort_ = videoPort;
}

// Python destroys the object when nothing refers to it any more, so no call can be running.
Command::~Command() {
  if (object_ != nullptr) object_->Release();
}

void Command::Close() {
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(mutex_);
  if (object_ != nullptr) object_->Release();
  object_ = nullptr;
}

bool Command::Closed() {
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(mutex_);
  return object_ == nullptr;
}

void Command::SetVideoPort(int32_t videoPort) {
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(mutex_);
  if (object_ == nullptr) throw ClosedDevice();
  object_->SetVideoPort(videoPort);
  videoPort_ = videoPort;
}

std::string Command::VendorName() {
  char name[16] = {};
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(mutex_);
  if (object_ == nullptr) throw ClosedDevice();
  object_->GetVendorName(static_cast<int32_t>(sizeof name), name);
  return name;
}

std::string Command::ErrorText() {
  char text[128] = {};
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(mutex_);
  if (object_ == nullptr) throw ClosedDevice();
  object_->GetErrorText(static_cast<int32_t>(sizeof text), text);
  return text;
}

VmlCmdOutcome Command::LastOutcome() {
  VmlCmdOutcome outcome{};
  outcome.size = sizeof outcome;
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(mutex_);
  if (object_ == nullptr) throw ClosedDevice();
  VmlCmdGetLastOutcome(object_, &outcome);
  return outcome;
}

}  // namespace vmlcmd_python
