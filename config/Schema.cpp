#include "Schema.h"

#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

namespace vmlcmd::config {

namespace {

std::string Join(const std::vector<std::string>& path, std::size_t count) {
  std::string joined;
  for (std::size_t i = 0; i < count && i < path.size(); ++i) {
    if (i > 0) joined += '.';
    joined += path[i];
  }
  return joined;
}

Refusal Make(const std::vector<std::string>& path, std::string problem) {
  Refusal refusal;
  refusal.key = path.empty() ? "document" : path.back();
  refusal.at = path.empty() ? std::string() : Join(path, path.size() - 1);
  refusal.problem = std::move(problem);
  return refusal;
}

bool IsIpv4(const std::string& text) {
  int parts = 0;
  std::size_t i = 0;
  while (true) {
    std::size_t digits = 0;
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0 && digits < 4) {
      value = value * 10 + (text[i] - '0');
      ++digits;
      ++i;
    }
    // No leading zeros: "010" reads as octal to some resolvers and as ten to others.
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[i - digits] == '0')) return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
}

// Characters, not bytes, as the schema language counts them (UTF-8 continuation bytes skipped).
std::size_t CodePoints(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// The patterns the schema uses, each checked by a plain scan: no regular expression runs over a
// document's text, whose length its sender chooses.
bool AllHex(const std::string& text) {
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

const std::map<std::string, bool (*)(const std::string&)>& Patterns() {
  static const std::map<std::string, bool (*)(const std::string&)> patterns = {
      {"^[^-]*$", [](const std::string& text) { return text.find('-') == std::string::npos; }},
      {"^(0|[1-9][0-9]{0,3})$",
       [](const std::string& text) {
         if (text.empty() || text.size() > 4 || (text.size() > 1 && text[0] == '0')) return false;
         for (const char c : text) {
           if (c < '0' || c > '9') return false;
         }
         return true;
       }},
      {"^([0-9a-fA-F]{2})*$", [](const std::string& text) { return text.size() % 2 == 0 && AllHex(text); }},
  };
  return patterns;
}

bool Matches(const std::string& pattern, const std::string& text) {
  const auto found = Patterns().find(pattern);
  return found != Patterns().end() && found->second(text);
}

std::string TypeWords(const std::string& type) {
  if (type == "integer") return "an integer";
  if (type == "boolean") return "true or false";
  if (type == "string") return "a text";
  if (type == "object") return "an object";
  return type;
}

bool HasType(const nlohmann::json& node, const std::string& type) {
  if (type == "integer") return node.is_number_integer();
  if (type == "boolean") return node.is_boolean();
  if (type == "string") return node.is_string();
  if (type == "object") return node.is_object();
  return false;
}

const std::set<std::string>& KnownWords() {
  static const std::set<std::string> words = {"$schema",
                                              "title",
                                              "description",
                                              "type",
                                              "const",
                                              "properties",
                                              "patternProperties",
                                              "additionalProperties",
                                              "$ref",
                                              "$defs",
                                              "minimum",
                                              "maximum",
                                              "maxLength",
                                              "pattern",
                                              "format",
                                              "anyOf",
                                              "required"};
  return words;
}

}  // namespace

std::string Refusal::Path() const { return at.empty() ? key : at + "." + key; }

std::string Refusal::Text() const {
  std::string text = key + ": " + problem;
  if (!at.empty()) text += " at " + at;
  if (line > 0) text += " (line " + std::to_string(line) + ")";
  return text;
}

SchemaChecker::SchemaChecker(nlohmann::json schema) : schema_(std::move(schema)) { Audit(schema_); }

void SchemaChecker::Audit(const nlohmann::json& schema) const {
  if (!schema.is_object()) throw std::invalid_argument("a schema is an object");
  for (const auto& [word, value] : schema.items()) {
    if (KnownWords().count(word) == 0)
      throw std::invalid_argument("schema word \"" + word + "\" is not checked");
    if (word == "properties" || word == "patternProperties" || word == "$defs") {
      for (const auto& [name, sub] : value.items()) {
        (void)name;
        Audit(sub);
      }
    }
    if (word == "additionalProperties" && value != false)
      throw std::invalid_argument("only additionalProperties false is checked");
    if (word == "format" && value != "ipv4") throw std::invalid_argument("only the ipv4 format is checked");
    if (word == "type" && !value.is_string()) throw std::invalid_argument("one type per schema");
    if (word == "pattern" && Patterns().count(value.get<std::string>()) == 0)
      throw std::invalid_argument("pattern " + value.dump() + " is not checked");
    if (word == "patternProperties") {
      for (const auto& [pattern, sub] : value.items()) {
        (void)sub;
        if (Patterns().count(pattern) == 0)
          throw std::invalid_argument("pattern \"" + pattern + "\" is not checked");
      }
    }
    if (word == "anyOf") {
      // Checked by the first choice of the node's type, so each choice needs a type of its own.
      for (const auto& choice : value) {
        if (!Resolve(choice).contains("type")) throw std::invalid_argument("every anyOf choice has a type");
        Audit(choice);
      }
    }
    if (word == "$ref") Resolve(schema);
  }
}

const nlohmann::json& SchemaChecker::Resolve(const nlohmann::json& schema) const {
  const auto ref = schema.find("$ref");
  if (ref == schema.end()) return schema;
  const std::string target = ref->get<std::string>();
  const std::string prefix = "#/$defs/";
  if (target.rfind(prefix, 0) != 0) throw std::invalid_argument("only #/$defs/ references are checked");
  return schema_.at("$defs").at(target.substr(prefix.size()));
}

std::vector<Refusal> SchemaChecker::Check(const nlohmann::json& document) const {
  std::vector<Refusal> refusals;
  CheckNode(document, schema_, {}, &refusals);
  return refusals;
}

void SchemaChecker::CheckNode(const nlohmann::json& node, const nlohmann::json& schemaIn,
                              const std::vector<std::string>& path, std::vector<Refusal>* refusals) const {
  const nlohmann::json& schema = Resolve(schemaIn);
  if (const auto choices = schema.find("anyOf"); choices != schema.end()) {
    // The choice of the node's type decides, so its refusals are the ones that explain.
    std::string types;
    for (const auto& choice : *choices) {
      const std::string type = Resolve(choice).at("type").get<std::string>();
      if (HasType(node, type)) return CheckNode(node, choice, path, refusals);
      types += (types.empty() ? "" : " or ") + TypeWords(type);
    }
    refusals->push_back(Make(path, "expected " + types));
    return;
  }
  if (const auto c = schema.find("const"); c != schema.end() && node != *c) {
    refusals->push_back(Make(path, "expected " + c->dump()));
    return;
  }
  if (const auto type = schema.find("type"); type != schema.end()) {
    const std::string name = type->get<std::string>();
    if (!HasType(node, name)) {
      refusals->push_back(Make(path, "expected " + TypeWords(name)));
      return;
    }
  }
  if (node.is_number_integer()) {
    // Unsigned values beyond int64 are above every maximum the schema sets.
    const bool huge = node.is_number_unsigned() && node.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX);
    const int64_t value = huge ? INT64_MAX : node.get<int64_t>();
    const auto min = schema.find("minimum");
    const auto max = schema.find("maximum");
    if ((min != schema.end() && value < min->get<int64_t>()) ||
        (max != schema.end() && (huge || value > max->get<int64_t>()))) {
      std::string range = "expected a whole number";
      if (min != schema.end() && max != schema.end()) {
        range += " in " + min->dump() + ".." + max->dump();
      } else if (min != schema.end()) {
        range += " of at least " + min->dump();
      } else {
        range += " of at most " + max->dump();
      }
      refusals->push_back(Make(path, range));
    }
  }
  if (node.is_string()) {
    const std::string& text = node.get_ref<const std::string&>();
    if (const auto max = schema.find("maxLength");
        max != schema.end() && CodePoints(text) > max->get<std::size_t>())
      refusals->push_back(Make(path, "longer than " + max->dump() + " characters"));
    if (const auto pattern = schema.find("pattern");
        pattern != schema.end() && !Matches(pattern->get<std::string>(), text))
      refusals->push_back(Make(path, "does not match " + pattern->get<std::string>()));
    if (const auto format = schema.find("format"); format != schema.end() && !IsIpv4(text))
      refusals->push_back(Make(path, "expected a dotted-quad IPv4 address"));
  }
  if (node.is_object()) {
    const auto properties = schema.find("properties");
    const auto patterns = schema.find("patternProperties");
    const bool closed = schema.contains("additionalProperties");
    if (const auto required = schema.find("required"); required != schema.end()) {
      for (const auto& name : *required) {
        if (!node.contains(name.get<std::string>())) {
          std::vector<std::string> child = path;
          child.push_back(name.get<std::string>());
          refusals->push_back(Make(child, "is missing"));
        }
      }
    }
    for (const auto& [key, value] : node.items()) {
      std::vector<std::string> child = path;
      child.push_back(key);
      bool known = false;
      if (properties != schema.end()) {
        if (const auto sub = properties->find(key); sub != properties->end()) {
          known = true;
          CheckNode(value, *sub, child, refusals);
        }
      }
      if (!known && patterns != schema.end()) {
        for (const auto& [pattern, sub] : patterns->items()) {
          if (!Matches(pattern, key)) continue;
          known = true;
          CheckNode(value, sub, child, refusals);
          break;
        }
      }
      if (!known && closed) refusals->push_back(Make(child, "unknown key"));
    }
  }
}

namespace {

// Just enough of a JSON reader to find where a value starts; the text is known to parse.
class LineFinder {
 public:
  explicit LineFinder(const std::string& text) : text_(text) {}

  int Find(const std::vector<std::string>& path, std::size_t depth) {
    Blank();
    if (depth == path.size()) return line_;
    if (Peek() != '{') return 0;
    ++i_;
    while (true) {
      Blank();
      if (Peek() != '"') return 0;
      const std::string key = Text();
      Blank();
      if (Peek() != ':') return 0;
      ++i_;
      if (key == path[depth]) return Find(path, depth + 1);
      SkipValue();
      Blank();
      if (Peek() != ',') return 0;
      ++i_;
    }
  }

 private:
  char Peek() const { return i_ < text_.size() ? text_[i_] : '\0'; }

  void Blank() {
    while (i_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[i_])) != 0) {
      if (text_[i_] == '\n') ++line_;
      ++i_;
    }
  }

  std::string Text() {
    std::string out;
    ++i_;  // the opening quote
    while (i_ < text_.size() && text_[i_] != '"') {
      if (text_[i_] == '\\' && i_ + 1 < text_.size()) ++i_;
      out += text_[i_++];
    }
    ++i_;
    return out;
  }

  void SkipValue() {
    Blank();
    int nesting = 0;
    while (i_ < text_.size()) {
      const char c = text_[i_];
      if (c == '"') {
        Text();
        if (nesting == 0) return;
        continue;
      }
      if (c == '\n') ++line_;
      if (c == '{' || c == '[') ++nesting;
      if (c == '}' || c == ']') {
        if (nesting == 0) return;
        if (--nesting == 0) {
          ++i_;
          return;
        }
      }
      if (nesting == 0 && c == ',') return;
      ++i_;
    }
  }

  const std::string& text_;
  std::size_t i_ = 0;
  int line_ = 1;
};

}  // namespace

int LineOf(const std::string& text, const std::vector<std::string>& path) {
  return LineFinder(text).Find(path, 0);
}

const SchemaChecker& DocumentSchema() {
  static const SchemaChecker checker(nlohmann::json::parse(DocumentSchemaText()));
  return checker;
}

}  // namespace vmlcmd::config
