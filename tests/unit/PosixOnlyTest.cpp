// What only the POSIX build promises.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/mman.h>

#include <cstdint>

#include "VmlCmd/ICommand.h"
#include "platform/Platform.h"

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

// Addresses read as the system's inet_aton reads them, whichever way the library takes: a plain
// dotted quad without it, every other form through it.
TEST(Addresses, ReadAsTheSystemReadsThem) {
  const char* texts[] = {
      "127.0.0.1",  "0.0.0.0",      "10.1.2.3",   "255.255.255.254", "255.255.255.255", "1.2.3.256",
      "1.2.3.1000", "01.2.3.4",     "1.2.3.08",   "0.00.0.1",        "1.2.3",           "1.2",
      "16909060",   "0x7f.0.0.1",   "1.2.3.4.5",  "1..2.3",          ".1.2.3",          "1.2.3.",
      "1.2.3.4 ",   "1.2.3.4 junk", " 1.2.3.4",   "+1.2.3.4",        "-1.2.3.4",        "",
      "localhost",  "192.168.1.1",  "4294967295", "1.2.3.4\n",       "999.1.1.1",       "00001.2.3.4"};
  for (const char* text : texts) {
    in_addr expected{};
    const bool readable = ::inet_aton(text, &expected) != 0 && expected.s_addr != INADDR_NONE;
    std::uint32_t address = 0;
    EXPECT_EQ(vml::platform::ParseIpv4(text, address), readable) << '"' << text << '"';
    if (readable) {
      EXPECT_EQ(address, expected.s_addr) << '"' << text << '"';
    }
  }
  std::uint32_t address = 0;
  EXPECT_FALSE(vml::platform::ParseIpv4(nullptr, address));
}

}  // namespace
