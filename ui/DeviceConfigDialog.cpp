#include "ui/DeviceConfigDialog.h"

#include <initializer_list>

#include "VmlCmd/ICommand.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

// The address controls hold dotted quads; 40 bytes leave room for whatever a device sends.
constexpr std::size_t kAddressSize = 40;

// List index i stands for protocol i + 1.
constexpr const char* kProtocols[] = {"1-PECOL_P", "2-PECOL_D"};

}  // namespace

void DeviceConfigDialog::Start(ICommand* command) {
  if (!hold_.Take(command)) {
    // Never shown, so there is nothing to read from the device either.
    view_.EndDialog(0);
    return;
  }
  for (int list : {IDC_CONFIG_PTZ1_PROTOCOL, IDC_CONFIG_PTZ2_PROTOCOL}) {
    for (const char* protocol : kProtocols) view_.AddComboItem(list, protocol);
    view_.SelectComboItem(list, 0);
  }
  view_.SetUnsigned(IDC_CONFIG_BAUD_RATE, static_cast<std::uint32_t>(command->GetSerialBaudRate()));

  char ip[kAddressSize] = {};
  char mask[kAddressSize] = {};
  char gateway[kAddressSize] = {};
  if (queries_.QueryNetworkConfig(*command, ip, mask, gateway)) {
    view_.SetText(IDC_CONFIG_DEVICE_IP, ip);
    view_.SetText(IDC_CONFIG_SUBNET_MASK, mask);
    view_.SetText(IDC_CONFIG_GATEWAY, gateway);
  }
  view_.SetUnsigned(IDC_CONFIG_BSP_VERSION, static_cast<std::uint32_t>(queries_.QueryBspVersion(*command)));
  view_.SetUnsigned(IDC_CONFIG_NAPI_VERSION, static_cast<std::uint32_t>(queries_.QueryNapiVersion(*command)));
}

void DeviceConfigDialog::Command(int id) {
  switch (id) {
    case IDC_CONFIG_APPLY:
      if (ICommand* command = hold_.Command()) Apply(*command);
      break;
    case IDC_OK_BUTTON:
    case IDC_CANCEL_BUTTON:
      Close();
      break;
    default:
      break;
  }
}

// Every write runs whatever the earlier ones returned; the user sees no result.
void DeviceConfigDialog::Apply(ICommand& command) {
  char ip[kAddressSize] = {};
  char mask[kAddressSize] = {};
  char gateway[kAddressSize] = {};
  view_.GetText(IDC_CONFIG_DEVICE_IP, ip, sizeof ip);
  view_.GetText(IDC_CONFIG_SUBNET_MASK, mask, sizeof mask);
  view_.GetText(IDC_CONFIG_GATEWAY, gateway, sizeof gateway);
  const auto baudRate = static_cast<std::int32_t>(view_.GetUnsigned(IDC_CONFIG_BAUD_RATE));
  const auto address1 = static_cast<std::int32_t>(view_.GetUnsigned(IDC_CONFIG_PTZ1_ADDRESS));
  const auto address2 = static_cast<std::int32_t>(view_.GetUnsigned(IDC_CONFIG_PTZ2_ADDRESS));
  // With nothing selected (-1) the protocol sent is 0.
  const std::int32_t protocol1 = view_.ComboSelection(IDC_CONFIG_PTZ1_PROTOCOL) + 1;
  const std::int32_t protocol2 = view_.ComboSelection(IDC_CONFIG_PTZ2_PROTOCOL) + 1;

  command.SetNetworkConfig(ip, mask, gateway);
  command.SetPtzAddress(address1, 0);
  command.SetPtzAddress(address2, 1);
  command.SetSerialBaudRate(baudRate);
  command.SetPtzProtocol(protocol1, 0);
  command.SetPtzProtocol(protocol2, 1);
}

void DeviceConfigDialog::Close() {
  hold_.Release();
  view_.EndDialog(0);
}

}  // namespace vml::ui
