// The DLL entry point. It only remembers the module handle: anything that loads other DLLs or
// waits (such as starting Winsock) would run under the loader lock, so that happens on the
// first CreateICommand instead.
#include "platform/win32/Module.h"

#include <atomic>

#include "platform/Platform.h"

namespace vml::platform::win32 {
namespace {

std::atomic<HMODULE> moduleHandle{nullptr};

}  // namespace

void RememberModule(HMODULE module) { moduleHandle.store(module); }

HMODULE ModuleHandle() {
  HMODULE module = moduleHandle.load();
  if (module != nullptr) return module;
  // Linked statically into an executable, no DllMain runs: the module is the one that holds
  // this code.
  static const char anchor = 0;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, &anchor,
          &module)) {
    return nullptr;
  }
  moduleHandle.store(module);
  return module;
}

}  // namespace vml::platform::win32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      vml::platform::win32::RememberModule(instance);
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved non-null) other threads are already gone and Winsock may be
      // unloaded: cleaning up then can only do harm. On FreeLibrary, give Winsock back.
      if (reserved == nullptr) vml::platform::StopSockets();
      break;
    default:
      break;
  }
  return TRUE;
}
