#include "support/HostText.h"

namespace vml::testing {

std::string HostText(const std::string& utf8) { return utf8; }

}  // namespace vml::testing
