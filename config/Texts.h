// Device texts in the document. A device keeps its texts as bytes of one code page (936 unless a
// deployment says otherwise); the document holds UTF-8. Bytes that are not valid text in the
// device's encoding (written by another host, or corrupted) still belong to a backup: they are
// kept as {"hex": "..."}, and a document that carries that form writes the same bytes back.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "VmlCmd/vmlcmd.h"

namespace vmlcmd::config {

using Json = nlohmann::ordered_json;

constexpr int kDefaultTextEncoding = VMLCMD_TEXT_ENCODING_CP936;

// The document's form of device bytes: their UTF-8 text when they are valid in the encoding,
// {"hex": "<two lower-case hex digits a byte>"} otherwise.
Json DocumentText(const std::string& bytes, int encoding);

// The device bytes of a document's text (a string, or the {"hex": ...} form). False, with the
// reason, for a character the encoding lacks or hex digits that are not whole bytes.
bool DeviceBytes(const Json& text, int encoding, std::string* bytes, std::string* why);

// The same text in the form DocumentText gives, so that a wanted text compares equal to what a
// device holds whenever their bytes are the same. False, with the reason, as DeviceBytes.
bool NormalText(const Json& text, int encoding, Json* normal, std::string* why);

}  // namespace vmlcmd::config
