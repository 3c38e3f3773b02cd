// Writes docs/c-api.md from vmlcmd.h and the operation table: the header's own words for the
// statuses, records and functions, and for each device function the table operation it calls.
// `cmake --build --preset default --target c-api-doc` rewrites the committed file; the test
// c_api_doc_current fails while the two differ.
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "capi/Names.h"
#include "reference/Operations.h"

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The words of a comment block: "/* a\n * b */" → "a\nb".
std::string CommentText(const std::vector<std::string>& lines) {
  std::string text;
  for (std::string line : lines) {
    line = Trim(line);
    if (line.rfind("/*", 0) == 0) line = line.substr(2);
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "*/") == 0)
      line = line.substr(0, line.size() - 2);
    line = Trim(line);
    if (line.rfind("* ", 0) == 0 || line == "*") line = line.substr(line == "*" ? 1 : 2);
    text += line + "\n";
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A comment's lines joined into paragraphs; lines indented by two or more are kept as code.
std::string Paragraphs(const std::string& text) {
  std::istringstream lines(text);
  std::string out;
  std::string paragraph;
  bool inCode = false;
  auto flush = [&]() {
    if (!paragraph.empty()) out += paragraph + "\n\n";
    paragraph.clear();
  };
  for (std::string line; std::getline(lines, line);) {
    const bool code = line.rfind("  ", 0) == 0;
    if (code != inCode) {
      flush();
      out += code ? "```c\n" : "```\n\n";
      inCode = code;
    }
    if (code) {
      out += line.substr(2) + "\n";
    } else if (Trim(line).empty()) {
      flush();
    } else {
      paragraph += (paragraph.empty() ? "" : " ") + Trim(line);
    }
  }
  if (inCode) out += "```\n\n";
  flush();
  return out;
}

std::string Anchor(const vml::reference::Operation& op) {
  std::string anchor = std::to_string(op.slot) + "-";
  for (char c : op.name) anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return anchor;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_c_api_doc OUTPUT.md\n";
    return 2;
  }
  std::ifstream in(VMLCMD_C_HEADER);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (lines.empty()) {
    std::cerr << "cannot read " << VMLCMD_C_HEADER << "\n";
    return 1;
  }

  std::map<std::string, const vml::reference::Operation*> operations;
  for (const auto& op : vml::reference::Operations()) {
    if (op.slot >= 0 && !op.requests.empty()) operations[vml::capi::Snake(op.name)] = &op;
  }

  std::ostringstream doc;
  doc << "# C interface reference\n\n"
      << "<!-- Generated from include/VmlCmd/vmlcmd.h and the operation table by make_c_api_doc; "
         "edit those, then `cmake --build --preset default --target c-api-doc`. -->\n\n";

  std::size_t i = 0;
  // The header's opening comment.
  std::vector<std::string> block;
  for (; i < lines.size(); ++i) {
    block.push_back(lines[i]);
    if (lines[i].find("*/") != std::string::npos) break;
  }
  ++i;
  std::string intro = CommentText(block);
  intro = intro.substr(intro.find('\n') + 1);  // the first line names the header
  doc << Paragraphs(intro);

  const std::regex status("#define (VMLCMD_(?:OK|STATUS_[A-Z_]+)) ([0-9]+) *(?:/\\* (.*) \\*/)?");
  const std::regex section("/\\* ---- (.*?) -*\\s*\\*/");
  const std::regex function("VMLCMD_CALL\\s+(vmlcmd_[a-z0-9_]+)\\(");
  bool statusTable = false;
  std::vector<std::string> comment;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::smatch match;
    if (std::regex_match(line, match, status)) {
      if (!statusTable) {
        doc << "## Statuses\n\n| status | value | meaning |\n|---|---|---|\n";
        statusTable = true;
      }
      std::string meaning = match[3].matched ? match[3].str() : std::string("success");
      doc << "| `" << match[1] << "` | " << match[2] << " | " << meaning << " |\n";
      comment.clear();
      continue;
    }
    if (statusTable && Trim(line).empty()) {
      doc << "\nThe numbers are those of `VmlCmdStage` in ICommand.h; `vmlcmd_status_text()` gives each its "
             "English text.\n\n";
      statusTable = false;
    }
    const std::string trimmed = Trim(line);
    if (std::regex_match(trimmed, match, section)) {
      doc << "## " << match[1] << "\n\n";
      comment.clear();
      continue;
    }
    if (Trim(line).rfind("/*", 0) == 0 && Trim(line).find("*/") == std::string::npos) {
      comment.clear();
      for (; i < lines.size(); ++i) {
        comment.push_back(lines[i]);
        if (lines[i].find("*/") != std::string::npos) break;
      }
      continue;
    }
    if (Trim(line).rfind("/*", 0) == 0) {
      comment = {line};
      continue;
    }
    if (line.rfind("typedef struct", 0) == 0 && line.find('{') != std::string::npos) {
      std::string code;
      for (; i < lines.size(); ++i) {
        code += lines[i] + "\n";
        if (lines[i].rfind("}", 0) == 0) break;
      }
      doc << "### `" << line.substr(15, line.find(' ', 15) - 15) << "`\n\n```c\n"
          << code << "```\n\n"
          << Paragraphs(CommentText(comment));
      comment.clear();
      continue;
    }
    if (line.rfind("VMLCMD_C_API", 0) == 0) {
      std::string declaration = line;
      while (declaration.find(';') == std::string::npos && i + 1 < lines.size())
        declaration += " " + Trim(lines[++i]);
      declaration = std::regex_replace(declaration, std::regex("VMLCMD_C_API |VMLCMD_CALL "), "");
      std::smatch name;
      std::regex_search(line, name, function);
      const std::string full = name[1];
      doc << "### `" << full << "`\n\n```c\n" << declaration << "\n```\n\n";
      if (!comment.empty()) doc << Paragraphs(CommentText(comment));
      const auto op = operations.find(full.substr(7));
      if (op != operations.end()) {
        doc << "Calls [`" << op->second->name << "`](operations.md#" << Anchor(*op->second) << ") (slot "
            << op->second->slot << ", command";
        for (std::size_t r = 0; r < op->second->requests.size(); ++r) {
          doc << (r == 0 ? " " : " then ") << op->second->requests[r].command;
        }
        doc << ").\n\n";
      }
      comment.clear();
      continue;
    }
    if (!Trim(line).empty()) comment.clear();
  }

  std::string text = doc.str();
  while (text.size() > 1 && text.compare(text.size() - 2, 2, "\n\n") == 0) text.pop_back();
  std::ofstream out(argv[1], std::ios::binary);
  out << text;
  return out ? 0 : 1;
}
