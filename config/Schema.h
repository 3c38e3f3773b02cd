// A checker for the part of JSON Schema that the configuration document's schema uses: type,
// const, properties, patternProperties, additionalProperties false, $ref to #/$defs/...,
// minimum, maximum, maxLength, pattern and the ipv4 format. A schema word outside that set is
// refused when the checker is made, so the schema cannot grow a rule that is silently ignored.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vmlcmd::config {

// One fault of a document: the key it concerns, where that key stands (dotted, from the root)
// and what was wrong, e.g. key "bitrate", at "video_ports.0.encoder", "expected an integer".
struct Refusal {
  std::string key;
  std::string at;
  std::string problem;
  int line = 0;  // in the document's text, 0 when unknown

  // "bitrate: expected an integer at video_ports.0.encoder (line 5)"
  std::string Text() const;
  // The key's whole path, "video_ports.0.encoder.bitrate".
  std::string Path() const;
};

class SchemaChecker {
 public:
  // Throws std::invalid_argument for a schema that uses a word the checker does not know.
  explicit SchemaChecker(nlohmann::json schema);

  // Every fault of the document, in document order; empty when it conforms.
  std::vector<Refusal> Check(const nlohmann::json& document) const;

 private:
  void CheckNode(const nlohmann::json& node, const nlohmann::json& schema,
                 const std::vector<std::string>& path, std::vector<Refusal>* refusals) const;
  const nlohmann::json& Resolve(const nlohmann::json& schema) const;
  void Audit(const nlohmann::json& schema) const;

  nlohmann::json schema_;
};

// The schema of the configuration document, as shipped beside the library.
const SchemaChecker& DocumentSchema();
const std::string& DocumentSchemaText();

// The line (from 1) on which the value at path begins in the JSON text, 0 when not found.
// Used only to point at refusals; the text has already been parsed.
int LineOf(const std::string& text, const std::vector<std::string>& path);

}  // namespace vmlcmd::config
