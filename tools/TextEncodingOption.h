// --text-encoding, the one option name every tool gives the code page its devices keep their
// texts in, with the one check of its value.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "VmlCmd/vmlcmd.h"

namespace vmlctl {

inline CLI::Option* AddTextEncodingOption(CLI::App& app, std::string* name, const std::string& help) {
  return app.add_option("--text-encoding", *name, help)
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& value) {
            return vmlcmd_text_encoding(value.c_str()) < 0
                       ? "is none this system converts (cp936, utf-8 or cpN)"
                       : std::string();
          },
          "ENCODING"));
}

}  // namespace vmlctl
