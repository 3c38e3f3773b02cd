// The module's exported entry points.
#include <new>

#include "VmlCmd/ICommand.h"
#include "core/NapiCommand.h"
#include "platform/Platform.h"

extern "C" {

VMLCMD_API ICommand* CreateICommand() {
  vml::platform::StartSockets();
  return new (std::nothrow) vml::NapiCommand();
}

VMLCMD_API bool VmlCmdGetOsdCaptionEx(ICommand* command, bool* show, int32_t* position, char* caption,
                                      int32_t captionSize) {
  if (command == nullptr || captionSize < 1) return vml::RefuseArguments();
  return static_cast<vml::NapiCommand*>(command)->GetOsdCaptionBounded(show, position, caption,
                                                                       static_cast<std::size_t>(captionSize));
}

VMLCMD_API int32_t VmlCmdQueryBspVersion(ICommand* command) {
  if (command == nullptr) return 0;
  return static_cast<vml::NapiCommand*>(command)->QueryBspVersion();
}

VMLCMD_API int32_t VmlCmdQueryNapiVersion(ICommand* command) {
  if (command == nullptr) return 0;
  return static_cast<vml::NapiCommand*>(command)->QueryNapiVersion();
}

VMLCMD_API void VmlCmdSetSerialConfirm(VmlCmdSerialConfirm confirm, void* context) {
  vml::platform::SetSerialConfirm(confirm, context);
}
}
