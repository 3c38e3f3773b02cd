// "设备配置": shows the device's address, baud rate and versions, and writes the edited
// address, baud rate and PTZ head settings back on "确定". The dialog stays open after that.
#pragma once

#include <cstdint>

#include "ui/DeviceQueries.h"
#include "ui/DialogState.h"
#include "ui/View.h"

namespace vml::ui {

class DeviceConfigDialog {
 public:
  DeviceConfigDialog(DialogState& state, View& view, DeviceQueries& queries)
      : view_(view), queries_(queries), hold_(state) {}

  void Start(ICommand* command);
  // Any command notification, by control identifier.
  void Command(int id);
  // The window is going away; lets go of DialogCommand whatever closed it.
  void Destroyed() { hold_.Release(); }

 private:
  void Apply(ICommand& command);
  void Close();

  View& view_;
  DeviceQueries& queries_;
  DialogCommandHold hold_;
};

}  // namespace vml::ui
