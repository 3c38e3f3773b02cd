// How the flat C interface names the table's operations.
#pragma once

#include <cctype>
#include <string>

namespace vml::capi {

// "GetVideoIFrameInterval" → "get_video_i_frame_interval", "SendCommand51" → "send_command_51".
inline std::string Snake(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool digitAfterLetter =
        std::isdigit(c) && i > 0 && !std::isdigit(static_cast<unsigned char>(name[i - 1]));
    if ((std::isupper(c) && i > 0) || digitAfterLetter) out += '_';
    out += static_cast<char>(std::tolower(c));
  }
  return out;
}

}  // namespace vml::capi
