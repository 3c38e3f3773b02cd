// Files built into the program: the web console and the OpenAPI description. Nothing is read
// from disk or fetched at run time.
#pragma once

#include <cstddef>
#include <string>

namespace gateway {

struct Resource {
  const char* path;  // "/", "/console/app.js", "/openapi.json"
  const char* type;  // its Content-Type
  const unsigned char* data;
  std::size_t size;
};

// nullptr for a path that is not built in.
const Resource* EmbeddedFile(const std::string& path);

}  // namespace gateway
