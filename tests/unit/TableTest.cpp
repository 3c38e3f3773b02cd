// The table is the contract with hosts: they call operations by position. These tests read the
// positions the compiler gave each operation and call the object through a raw table, the way a
// host that never saw our headers does.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "VmlCmd/ICommand.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"

namespace {

// Under the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte offset of
// its table entry.
template <class Member>
std::ptrdiff_t Slot(Member member) {
  struct Representation {
    std::ptrdiff_t pointer;
    std::ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(Member) == sizeof(Representation));
  std::memcpy(&representation, &member, sizeof representation);
  return (representation.pointer - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(Table, EveryOperationSitsAtItsSlot) {
  struct Entry {
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
    const char* name;
  } entries[] = {{Slot(&ICommand::GetVendorName), 0, "GetVendorName"},
                 {Slot(&ICommand::Reserved1), 1, "Reserved1"},
                 {Slot(&ICommand::Reserved2), 2, "Reserved2"},
                 {Slot(&ICommand::Reserved3), 3, "Reserved3"},
                 {Slot(&ICommand::Reserved4), 4, "Reserved4"},
                 {Slot(&ICommand::GetErrorText), 5, "GetErrorText"},
                 {Slot(&ICommand::SetReservedValue), 6, "SetReservedValue"},
                 {Slot(&ICommand::Release), 7, "Release"},
                 {Slot(&ICommand::OpenSerialLink), 8, "OpenSerialLink"},
                 {Slot(&ICommand::SetNetworkTarget), 9, "SetNetworkTarget"},
                 {Slot(&ICommand::Reserved10), 10, "Reserved10"},
                 {Slot(&ICommand::Reserved11), 11, "Reserved11"},
                 {Slot(&ICommand::Reserved12), 12, "Reserved12"},
                 {Slot(&ICommand::SetDeviceTime), 13, "SetDeviceTime"},
                 {Slot(&ICommand::SetNetworkConfig), 14, "SetNetworkConfig"},
                 {Slot(&ICommand::SendCommand8), 15, "SendCommand8"},
                 {Slot(&ICommand::SendCommand9), 16, "SendCommand9"},
                 {Slot(&ICommand::SetAccount), 17, "SetAccount"},
                 {Slot(&ICommand::SetPortSetting), 18, "SetPortSetting"},
                 {Slot(&ICommand::SetVideoPort), 19, "SetVideoPort"},
                 {Slot(&ICommand::CloseLink), 20, "CloseLink"},
                 {Slot(&ICommand::Reserved21), 21, "Reserved21"},
                 {Slot(&ICommand::Reserved22), 22, "Reserved22"},
                 {Slot(&ICommand::SetIpAddress), 23, "SetIpAddress"},
                 {Slot(&ICommand::GetIpAddress), 24, "GetIpAddress"},
                 {Slot(&ICommand::SetSubnetMask), 25, "SetSubnetMask"},
                 {Slot(&ICommand::GetSubnetMask), 26, "GetSubnetMask"},
                 {Slot(&ICommand::SetGateway), 27, "SetGateway"},
                 {Slot(&ICommand::GetGateway), 28, "GetGateway"},
                 {Slot(&ICommand::ShowDeviceConfigDialog), 29, "ShowDeviceConfigDialog"},
                 {Slot(&ICommand::SetPtzProtocol), 30, "SetPtzProtocol"},
                 {Slot(&ICommand::SetPtzAddress), 31, "SetPtzAddress"},
                 {Slot(&ICommand::SetSerialBaudRate), 32, "SetSerialBaudRate"},
                 {Slot(&ICommand::GetSerialBaudRate), 33, "GetSerialBaudRate"},
                 {Slot(&ICommand::SetPtzAux), 34, "SetPtzAux"},
                 {Slot(&ICommand::SetPtzLight), 35, "SetPtzLight"},
                 {Slot(&ICommand::SetPtzWiper), 36, "SetPtzWiper"},
                 {Slot(&ICommand::PtzAuto), 37, "PtzAuto"},
                 {Slot(&ICommand::PtzFocus), 38, "PtzFocus"},
                 {Slot(&ICommand::PtzPan), 39, "PtzPan"},
                 {Slot(&ICommand::Reserved40), 40, "Reserved40"},
                 {Slot(&ICommand::PtzTilt), 41, "PtzTilt"},
                 {Slot(&ICommand::Reserved42), 42, "Reserved42"},
                 {Slot(&ICommand::Reserved43), 43, "Reserved43"},
                 {Slot(&ICommand::PtzZoom), 44, "PtzZoom"},
                 {Slot(&ICommand::PtzIris), 45, "PtzIris"},
                 {Slot(&ICommand::PtzStop), 46, "PtzStop"},
                 {Slot(&ICommand::ShowPtzControlDialog), 47, "ShowPtzControlDialog"},
                 {Slot(&ICommand::SendCommand51), 48, "SendCommand51"},
                 {Slot(&ICommand::SendCommand52), 49, "SendCommand52"},
                 {Slot(&ICommand::SetVideoBitrate), 50, "SetVideoBitrate"},
                 {Slot(&ICommand::GetVideoBitrate), 51, "GetVideoBitrate"},
                 {Slot(&ICommand::SetVideoFrameRate), 52, "SetVideoFrameRate"},
                 {Slot(&ICommand::GetVideoFrameRate), 53, "GetVideoFrameRate"},
                 {Slot(&ICommand::SetVideoIFrameInterval), 54, "SetVideoIFrameInterval"},
                 {Slot(&ICommand::GetVideoIFrameInterval), 55, "GetVideoIFrameInterval"},
                 {Slot(&ICommand::SetVideoParamR), 56, "SetVideoParamR"},
                 {Slot(&ICommand::GetVideoParamR), 57, "GetVideoParamR"},
                 {Slot(&ICommand::SetBrightness), 58, "SetBrightness"},
                 {Slot(&ICommand::GetBrightness), 59, "GetBrightness"},
                 {Slot(&ICommand::SetContrast), 60, "SetContrast"},
                 {Slot(&ICommand::GetContrast), 61, "GetContrast"},
                 {Slot(&ICommand::SetSaturation), 62, "SetSaturation"},
                 {Slot(&ICommand::GetSaturation), 63, "GetSaturation"},
                 {Slot(&ICommand::SetHue), 64, "SetHue"},
                 {Slot(&ICommand::GetHue), 65, "GetHue"},
                 {Slot(&ICommand::SetMaskRegion), 66, "SetMaskRegion"},
                 {Slot(&ICommand::GetMaskRegion), 67, "GetMaskRegion"},
                 {Slot(&ICommand::SetMotionRegion), 68, "SetMotionRegion"},
                 {Slot(&ICommand::GetMotionRegion), 69, "GetMotionRegion"},
                 {Slot(&ICommand::SetOsdCaption), 70, "SetOsdCaption"},
                 {Slot(&ICommand::GetOsdCaption), 71, "GetOsdCaption"},
                 {Slot(&ICommand::SetOsdTime), 72, "SetOsdTime"},
                 {Slot(&ICommand::GetOsdTime), 73, "GetOsdTime"},
                 {Slot(&ICommand::Reserved74), 74, "Reserved74"},
                 {Slot(&ICommand::Reserved75), 75, "Reserved75"},
                 {Slot(&ICommand::Reserved76), 76, "Reserved76"},
                 {Slot(&ICommand::SetVideoQuantStep), 77, "SetVideoQuantStep"},
                 {Slot(&ICommand::GetVideoQuantStep), 78, "GetVideoQuantStep"},
                 {Slot(&ICommand::ShowVideoSettingsDialog), 79, "ShowVideoSettingsDialog"},
                 {Slot(&ICommand::Reserved80), 80, "Reserved80"},
                 {Slot(&ICommand::Reserved81), 81, "Reserved81"},
                 {Slot(&ICommand::Reserved82), 82, "Reserved82"},
                 {Slot(&ICommand::Reserved83), 83, "Reserved83"},
                 {Slot(&ICommand::GetVideoSettings), 84, "GetVideoSettings"},
                 {Slot(&ICommand::SetVideoSettings), 85, "SetVideoSettings"},
                 {Slot(&ICommand::RestoreVideoDefaults), 86, "RestoreVideoDefaults"},
                 {Slot(&ICommand::SetAudioVolume), 87, "SetAudioVolume"},
                 {Slot(&ICommand::Reserved88), 88, "Reserved88"},
                 {Slot(&ICommand::SetAudioMute), 89, "SetAudioMute"},
                 {Slot(&ICommand::SetPtzParameters), 90, "SetPtzParameters"},
                 {Slot(&ICommand::SetVideoParamT), 91, "SetVideoParamT"}};
  static_assert(sizeof entries / sizeof entries[0] == 92);
  for (const Entry& entry : entries) EXPECT_EQ(entry.actual, entry.expected) << entry.name;
  EXPECT_EQ(Slot(&vml::NapiCommand::DeletingDestructor), 92);
}

TEST(Table, ObjectStaysSmall) {
  static_assert(sizeof(ICommand) == sizeof(void*));
  static_assert(sizeof(vml::NapiCommand) < 1024);
  static_assert(sizeof(VideoSettings) == 44);
}

// A host calls an entry the way the compiler calls a member function: on 32-bit x86 that is
// thiscall (the object in ECX, the callee pops the arguments), which a pointer to a free
// function does not do; elsewhere the object is simply the first argument.
#if defined(__i386__)
#pragma GCC diagnostic ignored "-Wattributes"  // thiscall on a plain function pointer is meant
#define TABLE_ENTRY_CALL __attribute__((thiscall))
#else
#define TABLE_ENTRY_CALL
#endif
template <class Result, class... Arguments>
using EntryOf = Result(TABLE_ENTRY_CALL*)(ICommand*, Arguments...);

using Table = void* const*;
Table TableOf(ICommand* command) { return *reinterpret_cast<Table*>(command); }

template <class Function>
Function Entry(ICommand* command, int slot) {
  Function function;
  void* entry = TableOf(command)[slot];
  std::memcpy(&function, &entry, sizeof function);
  return function;
}

TEST(Table, HostsCallingByPositionReachTheRightOperations) {
  ICommand* command = CreateICommand();
  ASSERT_NE(command, nullptr);
  char name[16] = {};
  EXPECT_EQ((Entry<EntryOf<int32_t, int32_t, char*>>(command, 0))(command, 0, name), 7);
  EXPECT_STREQ(name, "vormel");
  EXPECT_EQ((Entry<EntryOf<int32_t>>(command, 1))(command), 0);
  EXPECT_EQ((Entry<EntryOf<int32_t>>(command, 2))(command), 1);
  vml::SetLastErrorCode(vml::kSuccess);
  EXPECT_EQ((Entry<EntryOf<int32_t>>(command, 11))(command), 0);
  EXPECT_EQ(vml::LastErrorCode(), vml::kNotImplemented);
  (Entry<EntryOf<void, int32_t>>(command, 19))(command, 3);
  EXPECT_EQ(static_cast<vml::NapiCommand*>(command)->VideoPort(), 3);
  // Entry 92 with bit 0 set destroys and frees (checked for leaks under the sanitizers).
  (Entry<EntryOf<void, unsigned>>(command, 92))(command, 1);
}

}  // namespace
