#include "Tokens.h"

#include <istream>
#include <random>
#include <sstream>

namespace gateway {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  // Length is not secret (every token is at least kMinTokenLength); the bytes are.
  if (a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    differ = static_cast<unsigned char>(
        differ | (static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i])));
  return differ == 0;
}

bool Fail(TokenError* error, int line, std::string message) {
  error->line = line;
  error->message = std::move(message);
  return false;
}

}  // namespace

const char* RoleName(Role role) {
  switch (role) {
    case Role::kRead:
      return "read";
    case Role::kWrite:
      return "write";
    case Role::kMetrics:
      return "metrics";
    case Role::kNone:
      break;
  }
  return "none";
}

bool Tokens::Parse(std::istream& in, TokenError* error) {
  entries_.clear();
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string role, first, second, extra;
    fields >> role;
    if (role.empty() || role[0] == '#') continue;
    fields >> first >> second >> extra;
    if (first.empty()) return Fail(error, number, "a role without a token (expected \"ROLE NAME TOKEN\")");
    if (!extra.empty()) return Fail(error, number, "more than a role, a name and a token on the line");
    // The older two-field form names its token after its line.
    const std::string token = second.empty() ? first : second;
    const std::string name = second.empty() ? "line-" + std::to_string(number) : first;
    Role parsed = Role::kNone;
    if (role == "read") parsed = Role::kRead;
    if (role == "write") parsed = Role::kWrite;
    if (role == "metrics") parsed = Role::kMetrics;
    if (parsed == Role::kNone)
      return Fail(error, number, "unknown role \"" + role + "\" (expected read, write or metrics)");
    if (token.size() < kMinTokenLength)
      return Fail(error, number, "a token shorter than " + std::to_string(kMinTokenLength) + " characters");
    for (const char c : name) {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                         c == '-' || c == '_' || c == '.' || c == '@';
      if (!plain) return Fail(error, number, "a name may hold only letters, digits and - _ . @");
    }
    for (const Entry& entry : entries_) {
      if (SameText(entry.token, token)) return Fail(error, number, "a token listed twice");
      if (entry.name == name) return Fail(error, number, "the name \"" + name + "\" is listed twice");
    }
    entries_.push_back({parsed, token, name});
  }
  if (entries_.empty()) return Fail(error, 0, "no tokens listed");
  return true;
}

void Tokens::Add(Role role, std::string token, std::string name) {
  if (name.empty()) name = RoleName(role);
  entries_.push_back({role, std::move(token), std::move(name)});
}

Caller Tokens::CallerOf(const std::string& authorization) const {
  // The scheme's name is case-insensitive in HTTP ("bearer" is as good as "Bearer").
  static const std::string kScheme = "bearer ";
  Caller found;
  if (authorization.size() <= kScheme.size()) return found;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = authorization[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i]) return found;
  }
  const std::string token = authorization.substr(kScheme.size());
  for (const Entry& entry : entries_) {
    if (SameText(entry.token, token)) found = {entry.role, entry.name};
  }
  return found;
}

std::string NewToken() {
  std::random_device source;
  static const char kDigits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kDigits[source() % 16];
  return token;
}

}  // namespace gateway
