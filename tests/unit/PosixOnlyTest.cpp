// What only the POSIX build promises.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include "VmlCmd/ICommand.h"

namespace {

// A host that passes a buffer it cannot write must get 0, not a crash.
TEST(VendorName, AReadOnlyBufferGivesZero) {
  ICommand* command = CreateICommand();
  void* page = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  EXPECT_EQ(command->GetVendorName(0, static_cast<char*>(page)), 0);
  ::munmap(page, 4096);
  command->Release();
}

// There is no window system to show the dialogs on: the show operations fail as a dialog that
// cannot be created does.
TEST(Dialogs, AreUnavailableWithoutAWindowSystem) {
  ICommand* command = CreateICommand();
  EXPECT_EQ(command->ShowDeviceConfigDialog(), -1);
  EXPECT_EQ(command->ShowPtzControlDialog(), -1);
  EXPECT_EQ(command->ShowVideoSettingsDialog(), -1);
  command->Release();
}

}  // namespace
