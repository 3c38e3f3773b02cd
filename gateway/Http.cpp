#include "Http.h"

#include <algorithm>

namespace gateway {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool HttpRequest::has_header(const std::string& name) const {
  const std::string key = Lower(name);
  for (const auto& [header, value] : headers) {
    if (header == key) return true;
  }
  return false;
}

std::string HttpRequest::get_header_value(const std::string& name) const {
  const std::string key = Lower(name);
  for (const auto& [header, value] : headers) {
    if (header == key) return value;
  }
  return {};
}

bool HttpRequest::has_param(const std::string& name) const {
  for (const auto& [key, value] : params) {
    if (key == name) return true;
  }
  return false;
}

std::string HttpRequest::get_param_value(const std::string& name) const {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return {};
}

void HttpResponse::set_header(const std::string& name, const std::string& value) {
  for (auto& [header, text] : headers) {
    if (Lower(header) == Lower(name)) {
      text = value;
      return;
    }
  }
  headers.emplace_back(name, value);
}

void HttpResponse::set_content(std::string text, std::string type) {
  body = std::move(text);
  contentType = std::move(type);
}

void HttpResponse::set_content(const char* data, std::size_t size, std::string type) {
  body.assign(data, size);
  contentType = std::move(type);
}

bool PercentDecode(const std::string& text, bool query, std::string* out) {
  out->clear();
  out->reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
      if (high < 0 || low < 0) return false;
      out->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c == '+' && query) {
      out->push_back(' ');
    } else {
      out->push_back(c);
    }
  }
  return true;
}

bool SplitTarget(const std::string& target, std::string* path,
                 std::vector<std::pair<std::string, std::string>>* params) {
  params->clear();
  const std::size_t question = target.find('?');
  if (!PercentDecode(target.substr(0, question), false, path)) return false;
  if (question == std::string::npos) return true;
  const std::string query = target.substr(question + 1);
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string pair = query.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      std::string key;
      std::string value;
      if (!PercentDecode(pair.substr(0, equals), true, &key)) return false;
      if (equals != std::string::npos && !PercentDecode(pair.substr(equals + 1), true, &value)) return false;
      params->emplace_back(std::move(key), std::move(value));
    }
    start = end + 1;
  }
  return true;
}

}  // namespace gateway
