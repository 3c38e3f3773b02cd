// What the Windows platform files share about the module they are linked into.
#pragma once

#include <windows.h>

namespace vml::platform::win32 {

// The module (VmlCmd.dll, or the executable a test links the core into) whose resources hold
// the string table.
HMODULE ModuleHandle();
// Called by DllMain when the DLL is loaded.
void RememberModule(HMODULE module);

}  // namespace vml::platform::win32
