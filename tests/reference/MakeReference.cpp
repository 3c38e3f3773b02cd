// Writes docs/operations.md from the operation table (reference/Operations.cpp).
// `cmake --build --preset default --target operations-doc` rewrites the committed file;
// the test reference_doc_current fails while the two differ.
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "reference/Operations.h"

namespace vml::reference {
namespace {

std::string LengthRule(const Request& request) {
  switch (request.length) {
    case Length::Plain:
      return "plain: textLength is the text's characters, no NUL sent (16 + n bytes)";
    case Length::CountedNul:
      return "counted NUL: textLength is the characters + 1, the NUL is sent (17 + n bytes)";
    case Length::HeaderOnly:
      return "header only: textLength 0, the 16-byte header alone";
  }
  return "";
}

// "-p %d -b %d" leaves 255 - 8 characters for what fills it.
std::size_t FixedCharacters(const std::string& format) {
  std::size_t fixed = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 'd' || format[i + 1] == 's')) {
      ++i;
    } else {
      ++fixed;
    }
  }
  return fixed;
}

bool HasText(const std::string& format) { return format.find("%s") != std::string::npos; }

std::string Quoted(const std::string& text) { return "‹" + text + "›"; }

std::string RequestLine(const Request& request) {
  std::ostringstream out;
  out << "command " << request.command;
  if (request.length == Length::HeaderOnly) {
    out << ", no text";
  } else {
    out << ", text `" << request.format << "`";
    if (!request.values.empty()) out << " with " << request.values;
  }
  out << "; " << LengthRule(request);
  if (HasText(request.format)) {
    out << "; the filled text must fit 255 characters (" << FixedCharacters(request.format)
        << " are fixed), a longer one is refused with code 15 before anything is sent";
  }
  return out.str();
}

std::string Codes(const Operation& op) {
  std::ostringstream out;
  if (op.requests.empty()) {
    switch (op.local) {
      case Local::Keeps:
        out << "never changes the result code";
        break;
      case Local::Sets9:
        out << "sets 9 (成功)";
        break;
      case Local::Sets10:
        out << "sets 10 (方法没有实现) every time";
        break;
      case Local::Sets10InSerial:
        out << "sets 10 (方法没有实现) when the serial link is chosen; otherwise leaves the code as it was";
        break;
    }
    return out.str();
  }
  out << (op.success == Success::Sets9 ? "9 (成功) on success" : "on success the code is left as it was");
  switch (op.status) {
    case Status::Mapped:
      out << "; 11 to 18 from a non-zero reply status (see [Result codes](#result-codes))";
      break;
    case Status::Ignored:
      out << "; a non-zero reply status fails the operation and leaves the code as it was";
      break;
    case Status::NoReply:
      out << "; no reply is read, so no status can change the code";
      break;
  }
  out << "; left as it was when the device never answered (no network target, login refused, connection, "
         "send "
         "or receive failure"
      << (!op.reads.empty() && op.missingValueFails ? ", a value missing from the reply" : "") << ")";
  if (!op.refused.empty()) out << "; 15 (无效的参数) before anything is sent for " << op.refused;
  out << "; never 10";
  return out.str();
}

// The call at the start of an example's text as code, the words after it as they are.
std::string ExampleCall(const std::string& text) {
  const std::size_t open = text.find('(');
  if (open == std::string::npos) return text;
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
    if (depth == 0) return "`" + text.substr(0, i + 1) + "`" + text.substr(i + 1);
  }
  return text;
}

std::string Example(const Operation& op) {
  std::ostringstream out;
  out << ExampleCall(op.exampleText);
  if (!op.requests.empty()) {
    out << " sends";
    for (std::size_t i = 0; i < op.requests.size(); ++i) {
      const Request& request = op.requests[i];
      out << (i == 0 ? " " : ", then ") << "command " << request.command;
      if (request.length == Length::HeaderOnly) {
        out << " with no text (16 bytes)";
      } else {
        const std::string text = Fill(request.format, op.wireValues[i]);
        const std::size_t bytes = 16 + text.size() + (request.length == Length::CountedNul ? 1 : 0);
        out << " " << Quoted(text) << (request.length == Length::CountedNul ? " and its NUL" : "") << " ("
            << bytes << " bytes)";
      }
    }
    if (!op.reply.empty()) out << "; the device answers " << Quoted(op.reply);
    out << ";";
  }
  const bool isBool = op.synopsis.rfind("bool ", 0) == 0;
  const bool isVoid = op.synopsis.rfind("void ", 0) == 0;
  if (isVoid) {
    out << " returns nothing";
  } else if (isBool) {
    out << " returns " << (op.expected != 0 ? "true" : "false");
  } else {
    out << " returns " << op.expected;
  }
  out << ".";
  return out.str();
}

std::string Anchor(const Operation& op) {
  std::string anchor = op.slot >= 0 ? std::to_string(op.slot) + "-" : "";
  for (char c : op.name) anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return anchor;
}

void Write(std::ostream& out) {
  out << "# Operation reference\n\n"
         "<!-- Generated by make_reference from tests/reference/Operations.cpp: edit that table, then run\n"
         "     `cmake --build --preset default --target operations-doc`. The test reference_doc_current "
         "fails\n"
         "     while this file and the table differ; ReferenceTest runs every example below. -->\n\n"
         "Every operation of the `ICommand` table (slots 0 to 91, called by position) and the functions the\n"
         "library exports beside it. Entry 92 of the object's table is its deleting destructor, reached "
         "only\n"
         "through `Release` (slot 7). Each example was run against the simulated device `napi-sim` (and\n"
         "through `vmlctl`, where it has a command) when this file was checked.\n\n"
         "## How to read an entry\n\n"
         "- **Request**: a device operation logs in first (command 45, text `-u %s -p %s`, plain), on a\n"
         "  fresh TCP connection, then sends its request(s) and closes the connection. A request is a\n"
         "  16-byte header (100, textLength, command, 0, little-endian 32-bit) and the text.\n"
         "  `videoPort` is the number chosen with `SetVideoPort` (slot 19), 0 on a new object.\n"
         "- **Length rule**: *plain* counts the text's characters and sends no NUL; *counted NUL* counts\n"
         "  and sends the NUL too; *header only* sends the header alone.\n"
         "- **Reads**: what the operation takes from the reply text. \"The number after the first letter\n"
         "  x anywhere\" means the letter is searched from the start of the text, also inside other values,\n"
         "  and the number is read as `atoi` does (0 when no digit follows).\n"
         "- **Result codes**: the library-wide result code that `GetErrorText` (slot 5) turns into a text.\n"
         "  It is shared by every object; read it right after the call whose outcome you want.\n\n"
         "A device's whole configuration (network, serial, and per video port the encoder, picture,\n"
         "regions and overlays) is read and written as one document by `vmlctl config get|plan|apply`\n"
         "and by Python's `Device.read_config` / `plan_config` / `apply_config`, through the operations\n"
         "below: `GetVideoSettings`, `GetMaskRegion`, `GetMotionRegion`, `GetOsdCaption`, `GetOsdTime`,\n"
         "the three address reads and `GetSerialBaudRate` to read; to write, the single setter where one\n"
         "field of a unit differs and `SetVideoSettings` or `SetNetworkConfig` where several do\n"
         "([Configurations and fleets](fleets.md#configurations-and-fleets)).\n\n"
         "## Device texts\n\n"
         "A device keeps its texts (the caption, its addresses, the account, the texts of commands 51\n"
         "and 52 and the encoder's t value) as bytes of one code page: 936 (Simplified Chinese), as\n"
         "Windows hosts write them through this table, whose texts are in the host's ANSI code page.\n"
         "The table passes bytes as they are. Every front end that speaks UTF-8 converts in one place,\n"
         "the C interface's converter (`vmlcmd_text_to_device`, `vmlcmd_text_from_device`):\n\n"
         "- **Writing** (vmlctl, the configuration document, Python, the gateway, the C interface and\n"
         "  the C# and Go bindings): UTF-8 to the device's code page. A character the code page cannot\n"
         "  carry is refused with the field named, and nothing is sent.\n"
         "- **Reading**: the device's code page to UTF-8. Bytes that are not text in it (written by\n"
         "  another host, or corrupted) are never replaced where they could be written back: the\n"
         "  configuration document, vmlctl's output and the gateway keep them as `{\"hex\": \"...\"}`\n"
         "  (two hexadecimal digits a byte), Python returns them as `bytes`, and writing either form\n"
         "  back sends the very same bytes. Only the C interface's getters, whose outputs are plain\n"
         "  UTF-8 strings, show such a byte as U+FFFD (and refuse that character on the way back).\n"
         "- **Another encoding**: devices that keep UTF-8 (or another code page) are named once with\n"
         "  one option: `--text-encoding` (vmlctl, vmlcmd-gateway), the inventory column\n"
         "  `text-encoding`, `textEncoding` in the gateway's `POST /api/v1/devices`, Python's\n"
         "  `Device(..., text_encoding=...)` and `vmlcmd_set_text_encoding` in C: `cp936` (the\n"
         "  default), `utf-8`, or `cpN` for the system's code page N.\n\n"
         "## Result codes\n\n"
         "| Code | Text | When |\n"
         "|---|---|---|\n"
         "| 9 | 成功 | success under the usual rule; `CloseLink`, `SetNetworkTarget` |\n"
         "| 10 | 方法没有实现 | an operation that is not implemented |\n"
         "| 11 | 错误的用户名 | the device answered an operation's request with status 6 |\n"
         "| 12 | 错误的口令 | status 7 |\n"
         "| 13 | 无效的视频连接票 | status 8 |\n"
         "| 14 | 错误的视频端口 | status 5 |\n"
         "| 15 | 无效的参数 | status 3, or the library refused an argument before sending anything |\n"
         "| 16 | 未知NAPI错误 | any other non-zero status |\n"
         "| 17 | 无效NAPI命令 | status 9 |\n"
         "| 18 | NAPI版本冲突 | status 1 |\n\n"
         "A refused login never yields 11 or 12: the login's status is not mapped, the code stays as it\n"
         "was. Those codes come only from a status that an operation's own request gets.\n\n"
         "## All operations\n\n"
         "| Slot | Operation | Family | Commands | Result code |\n"
         "|---|---|---|---|---|\n";
  for (const Operation& op : Operations()) {
    std::string commands;
    for (const Request& request : op.requests)
      commands += (commands.empty() ? "" : ", ") + std::to_string(request.command);
    std::string success;
    if (op.requests.empty()) {
      success = op.local == Local::Sets10           ? "sets 10"
                : op.local == Local::Sets9          ? "sets 9"
                : op.local == Local::Sets10InSerial ? "10 in serial mode"
                                                    : "unchanged";
    } else {
      success = op.success == Success::Sets9 ? "9 on success" : "kept on success";
    }
    out << "| " << (op.slot >= 0 ? std::to_string(op.slot) : "—") << " | [`" << op.name << "`](#"
        << Anchor(op) << ") | " << op.family << " | " << (commands.empty() ? "—" : commands) << " | "
        << success << " |\n";
  }
  bool outside = false;
  for (const Operation& op : Operations()) {
    if (op.slot < 0 && !outside) {
      out << "\n## Outside the table\n\nExported by name (`extern \"C\"`), declared in "
             "`VmlCmd/ICommand.h`.\n";
      outside = true;
    }
    out << "\n### " << (op.slot >= 0 ? std::to_string(op.slot) + " " : "") << op.name << "\n\n"
        << "```cpp\n"
        << op.synopsis << "\n```\n\n"
        << op.summary << "\n\n";
    if (!op.params.empty()) {
      std::string arguments;
      for (const Param& param : op.params) {
        arguments += (arguments.empty() ? "" : "; ") + ("`" + param.name + "`: " + param.meaning);
      }
      out << "- **Arguments**: " << arguments << ".\n";
    }
    out << "- **Result**: " << op.result << ".\n";
    for (const Request& request : op.requests) out << "- **Request**: " << RequestLine(request) << ".\n";
    if (!op.reads.empty()) out << "- **Reads**: " << op.reads << ".\n";
    out << "- **Result codes**: " << Codes(op) << ".\n";
    out << "- **Example**: " << Example(op) << "\n";
    if (!op.vmlctl.empty()) {
      out << "- **vmlctl**: `vmlctl " << op.vmlctl << "`"
          << (op.vmlctlNote.empty() ? "" : " (" + op.vmlctlNote + ")") << ".\n";
    } else if (!op.vmlctlNote.empty()) {
      out << "- **vmlctl**: " << op.vmlctlNote << ".\n";
    }
  }
}

}  // namespace
}  // namespace vml::reference

// With a path, writes that file; otherwise stdout.
int main(int argc, char** argv) {
  if (argc < 2) {
    vml::reference::Write(std::cout);
    return 0;
  }
  std::ofstream file(argv[1], std::ios::binary);
  vml::reference::Write(file);
  return file ? 0 : 1;
}
