// A host program as a user of the library writes it, built three ways by the consumer checks:
// with find_package from the unpacked packages, with a Makefile and pkg-config, and with the
// source tree added by add_subdirectory. Usage: host ADDRESS PORT (a device, here napi-sim).
#include <VmlCmd/ICommand.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: host ADDRESS PORT\n");
    return 2;
  }
  ICommand* camera = CreateICommand();
  if (camera == nullptr) return 1;
  camera->SetNetworkTarget(argv[1], std::atoi(argv[2]), "admin", "admin");
  camera->SetVideoPort(1);
  const bool written = camera->SetVideoBitrate(1024);
  const int32_t bitrate = camera->GetVideoBitrate();
  char text[64] = "";
  camera->GetErrorText(static_cast<int32_t>(sizeof text), text);
  std::printf("VmlCmd %d.%d.%d: bitrate %d, %s\n", VMLCMD_VERSION_MAJOR, VMLCMD_VERSION_MINOR,
              VMLCMD_VERSION_PATCH, static_cast<int>(bitrate), text);
  camera->Release();
  return written && bitrate == 1024 ? 0 : 1;
}
