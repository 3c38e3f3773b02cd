// The gateway's HTTP messages as its routes see them: a whole request (method, decoded path and
// query, headers, body) and the response a route fills. The server (HttpServer.h) reads and
// writes them; nothing else of HTTP reaches the routes.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace gateway {

struct HttpRequest {
  std::string method;
  std::string target;                                        // as it came: path and query, percent-encoded
  std::string path;                                          // decoded
  std::vector<std::pair<std::string, std::string>> params;   // the query's, decoded, in order
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;
  std::string remote_addr;
  // The path and the parts of it a route captured (the device id): matches[1].
  std::vector<std::string> matches;

  bool has_header(const std::string& name) const;
  // The first header of the name (any case), or "".
  std::string get_header_value(const std::string& name) const;
  bool has_param(const std::string& name) const;
  std::string get_param_value(const std::string& name) const;
};

struct HttpResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string contentType;

  void set_header(const std::string& name, const std::string& value);
  void set_content(std::string text, std::string type);
  void set_content(const char* data, std::size_t size, std::string type);
};

// %XX decoded; in a query, '+' is a blank too. False for a '%' without two hex digits.
bool PercentDecode(const std::string& text, bool query, std::string* out);
// Splits a request target into its decoded path and query parameters; false for a bad escape.
bool SplitTarget(const std::string& target, std::string* path,
                 std::vector<std::pair<std::string, std::string>>* params);

}  // namespace gateway
