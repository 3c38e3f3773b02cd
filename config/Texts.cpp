#include "Texts.h"

#include <array>

namespace vmlcmd::config {

namespace {

// Longer than any text a reply or a request can carry, converted or not.
constexpr std::size_t kCapacity = 1024;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Json DocumentText(const std::string& bytes, int encoding) {
  std::array<char, kCapacity> utf8{};
  std::array<char, kCapacity> back{};
  // A NUL ends a device text, so bytes past one are none of the text's. The text stands for the
  // bytes only when it converts back to the very same ones: where two byte sequences read as one
  // character, the bytes are kept as they are.
  if (vmlcmd_text_from_device(encoding, bytes.c_str(), utf8.data(), utf8.size()) >= 0 &&
      vmlcmd_text_to_device(encoding, utf8.data(), back.data(), back.size()) >= 0 &&
      bytes.compare(0, std::string::npos, back.data()) == 0)
    return std::string(utf8.data());
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    if (c == '\0') break;
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return Json{{"hex", hex}};
}

bool DeviceBytes(const Json& text, int encoding, std::string* bytes, std::string* why) {
  bytes->clear();
  if (text.is_string()) {
    const std::string& utf8 = text.get_ref<const std::string&>();
    std::array<char, kCapacity> converted{};
    if (utf8.size() >= kCapacity / 2 ||
        vmlcmd_text_to_device(encoding, utf8.c_str(), converted.data(), converted.size()) < 0) {
      *why = "holds a character that the device's text encoding cannot carry";
      return false;
    }
    *bytes = converted.data();
    return true;
  }
  const auto hex = text.is_object() ? text.find("hex") : text.end();
  if (hex == text.end() || !hex->is_string()) {
    *why = "expected a text or {\"hex\": \"...\"}";
    return false;
  }
  const std::string& digits = hex->get_ref<const std::string&>();
  if (digits.size() % 2 != 0) {
    *why = "hex: expected two digits a byte";
    return false;
  }
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexDigit(digits[i]);
    const int low = HexDigit(digits[i + 1]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) {
      *why =
          high < 0 || low < 0 ? "hex: expected hexadecimal digits" : "hex: a device text holds no NUL byte";
      return false;
    }
    bytes->push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

bool NormalText(const Json& text, int encoding, Json* normal, std::string* why) {
  std::string bytes;
  if (!DeviceBytes(text, encoding, &bytes, why)) return false;
  *normal = DocumentText(bytes, encoding);
  return true;
}

}  // namespace vmlcmd::config
