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
#include "support/TableSlot.h"

namespace {

using vmltest::SlotOf;

TEST(Table, EveryOperationSitsAtItsSlot) {
  struct Entry {
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
    const char* name;
  } entries[] = {{SlotOf(&ICommand::GetVendorName), 0, "GetVendorName"},
                 {SlotOf(&ICommand::Reserved1), 1, "Reserved1"},
                 {SlotOf(&ICommand::Reserved2), 2, "Reserved2"},
                 {SlotOf(&ICommand::Reserved3), 3, "Reserved3"},
                 {SlotOf(&ICommand::Reserved4), 4, "Reserved4"},
                 {SlotOf(&ICommand::GetErrorText), 5, "GetErrorText"},
                 {SlotOf(&ICommand::SetReservedValue), 6, "SetReservedValue"},
                 {SlotOf(&ICommand::Release), 7, "Release"},
                 {SlotOf(&ICommand::OpenSerialLink), 8, "OpenSerialLink"},
                 {SlotOf(&ICommand::SetNetworkTarget), 9, "SetNetworkTarget"},
                 {SlotOf(&ICommand::Reserved10), 10, "Reserved10"},
                 {SlotOf(&ICommand::Reserved11), 11, "Reserved11"},
                 {SlotOf(&ICommand::Reserved12), 12, "Reserved12"},
                 {SlotOf(&ICommand::SetDeviceTime), 13, "SetDeviceTime"},
                 {SlotOf(&ICommand::SetNetworkConfig), 14, "SetNetworkConfig"},
                 {SlotOf(&ICommand::SendCommand8), 15, "SendCommand8"},
                 {SlotOf(&ICommand::SendCommand9), 16, "SendCommand9"},
                 {SlotOf(&ICommand::SetAccount), 17, "SetAccount"},
                 {SlotOf(&ICommand::SetPortSetting), 18, "SetPortSetting"},
                 {SlotOf(&ICommand::SetVideoPort), 19, "SetVideoPort"},
                 {SlotOf(&ICommand::CloseLink), 20, "CloseLink"},
                 {SlotOf(&ICommand::Reserved21), 21, "Reserved21"},
                 {SlotOf(&ICommand::Reserved22), 22, "Reserved22"},
                 {SlotOf(&ICommand::SetIpAddress), 23, "SetIpAddress"},
                 {SlotOf(&ICommand::GetIpAddress), 24, "GetIpAddress"},
                 {SlotOf(&ICommand::SetSubnetMask), 25, "SetSubnetMask"},
                 {SlotOf(&ICommand::GetSubnetMask), 26, "GetSubnetMask"},
                 {SlotOf(&ICommand::SetGateway), 27, "SetGateway"},
                 {SlotOf(&ICommand::GetGateway), 28, "GetGateway"},
                 {SlotOf(&ICommand::ShowDeviceConfigDialog), 29, "ShowDeviceConfigDialog"},
                 {SlotOf(&ICommand::SetPtzProtocol), 30, "SetPtzProtocol"},
                 {SlotOf(&ICommand::SetPtzAddress), 31, "SetPtzAddress"},
                 {SlotOf(&ICommand::SetSerialBaudRate), 32, "SetSerialBaudRate"},
                 {SlotOf(&ICommand::GetSerialBaudRate), 33, "GetSerialBaudRate"},
                 {SlotOf(&ICommand::SetPtzAux), 34, "SetPtzAux"},
                 {SlotOf(&ICommand::SetPtzLight), 35, "SetPtzLight"},
                 {SlotOf(&ICommand::SetPtzWiper), 36, "SetPtzWiper"},
                 {SlotOf(&ICommand::PtzAuto), 37, "PtzAuto"},
                 {SlotOf(&ICommand::PtzFocus), 38, "PtzFocus"},
                 {SlotOf(&ICommand::PtzPan), 39, "PtzPan"},
                 {SlotOf(&ICommand::Reserved40), 40, "Reserved40"},
                 {SlotOf(&ICommand::PtzTilt), 41, "PtzTilt"},
                 {SlotOf(&ICommand::Reserved42), 42, "Reserved42"},
                 {SlotOf(&ICommand::Reserved43), 43, "Reserved43"},
                 {SlotOf(&ICommand::PtzZoom), 44, "PtzZoom"},
                 {SlotOf(&ICommand::PtzIris), 45, "PtzIris"},
                 {SlotOf(&ICommand::PtzStop), 46, "PtzStop"},
                 {SlotOf(&ICommand::ShowPtzControlDialog), 47, "ShowPtzControlDialog"},
                 {SlotOf(&ICommand::SendCommand51), 48, "SendCommand51"},
                 {SlotOf(&ICommand::SendCommand52), 49, "SendCommand52"},
                 {SlotOf(&ICommand::SetVideoBitrate), 50, "SetVideoBitrate"},
                 {SlotOf(&ICommand::GetVideoBitrate), 51, "GetVideoBitrate"},
                 {SlotOf(&ICommand::SetVideoFrameRate), 52, "SetVideoFrameRate"},
                 {SlotOf(&ICommand::GetVideoFrameRate), 53, "GetVideoFrameRate"},
                 {SlotOf(&ICommand::SetVideoIFrameInterval), 54, "SetVideoIFrameInterval"},
                 {SlotOf(&ICommand::GetVideoIFrameInterval), 55, "GetVideoIFrameInterval"},
                 {SlotOf(&ICommand::SetVideoParamR), 56, "SetVideoParamR"},
                 {SlotOf(&ICommand::GetVideoParamR), 57, "GetVideoParamR"},
                 {SlotOf(&ICommand::SetBrightness), 58, "SetBrightness"},
                 {SlotOf(&ICommand::GetBrightness), 59, "GetBrightness"},
                 {SlotOf(&ICommand::SetContrast), 60, "SetContrast"},
                 {SlotOf(&ICommand::GetContrast), 61, "GetContrast"},
                 {SlotOf(&ICommand::SetSaturation), 62, "SetSaturation"},
                 {SlotOf(&ICommand::GetSaturation), 63, "GetSaturation"},
                 {SlotOf(&ICommand::SetHue), 64, "SetHue"},
                 {SlotOf(&ICommand::GetHue), 65, "GetHue"},
                 {SlotOf(&ICommand::SetMaskRegion), 66, "SetMaskRegion"},
                 {SlotOf(&ICommand::GetMaskRegion), 67, "GetMaskRegion"},
                 {SlotOf(&ICommand::SetMotionRegion), 68, "SetMotionRegion"},
                 {SlotOf(&ICommand::GetMotionRegion), 69, "GetMotionRegion"},
                 {SlotOf(&ICommand::SetOsdCaption), 70, "SetOsdCaption"},
                 {SlotOf(&ICommand::GetOsdCaption), 71, "GetOsdCaption"},
                 {SlotOf(&ICommand::SetOsdTime), 72, "SetOsdTime"},
                 {SlotOf(&ICommand::GetOsdTime), 73, "GetOsdTime"},
                 {SlotOf(&ICommand::Reserved74), 74, "Reserved74"},
                 {SlotOf(&ICommand::Reserved75), 75, "Reserved75"},
                 {SlotOf(&ICommand::Reserved76), 76, "Reserved76"},
                 {SlotOf(&ICommand::SetVideoQuantStep), 77, "SetVideoQuantStep"},
                 {SlotOf(&ICommand::GetVideoQuantStep), 78, "GetVideoQuantStep"},
                 {SlotOf(&ICommand::ShowVideoSettingsDialog), 79, "ShowVideoSettingsDialog"},
                 {SlotOf(&ICommand::Reserved80), 80, "Reserved80"},
                 {SlotOf(&ICommand::Reserved81), 81, "Reserved81"},
                 {SlotOf(&ICommand::Reserved82), 82, "Reserved82"},
                 {SlotOf(&ICommand::Reserved83), 83, "Reserved83"},
                 {SlotOf(&ICommand::GetVideoSettings), 84, "GetVideoSettings"},
                 {SlotOf(&ICommand::SetVideoSettings), 85, "SetVideoSettings"},
                 {SlotOf(&ICommand::RestoreVideoDefaults), 86, "RestoreVideoDefaults"},
                 {SlotOf(&ICommand::SetAudioVolume), 87, "SetAudioVolume"},
                 {SlotOf(&ICommand::Reserved88), 88, "Reserved88"},
                 {SlotOf(&ICommand::SetAudioMute), 89, "SetAudioMute"},
                 {SlotOf(&ICommand::SetPtzParameters), 90, "SetPtzParameters"},
                 {SlotOf(&ICommand::SetVideoParamT), 91, "SetVideoParamT"}};
  static_assert(sizeof entries / sizeof entries[0] == 92);
  for (const Entry& entry : entries) EXPECT_EQ(entry.actual, entry.expected) << entry.name;
  EXPECT_EQ(SlotOf(&vml::NapiCommand::DeletingDestructor), 92);
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
