// The library's three modal dialogs. Where the platform has no dialogs, ShowDialog returns -1,
// the value of a dialog that could not be created, and changes nothing.
#pragma once

#include <cstdint>

class ICommand;

namespace vml::ui {

enum class DialogKind { DeviceConfig, PtzControl, VideoSettings };

std::int32_t ShowDialog(DialogKind kind, ICommand* command);

}  // namespace vml::ui
