// Who may call the gateway: a file of bearer tokens, one a line as "ROLE NAME TOKEN" (or
// "ROLE TOKEN", named after its line), ROLE "read", "write" or "metrics", '#' lines as comments.
// The name says who made a change in the audit trail; the token itself is never written down.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace gateway {

// kMetrics may read the metrics and nothing else; every other role may read them too.
enum class Role { kNone, kRead, kWrite, kMetrics };

const char* RoleName(Role role);

// Who a request's token belongs to.
struct Caller {
  Role role = Role::kNone;
  std::string name;  // empty for no token or an unknown one
};

struct TokenError {
  int line = 0;  // 0 when the fault is the file as a whole
  std::string message;
};

class Tokens {
 public:
  // False with error filled for a bad file; the message never repeats a token.
  bool Parse(std::istream& in, TokenError* error);
  void Add(Role role, std::string token, std::string name = {});

  // The role of the token in an "Authorization: Bearer TOKEN" header value, kNone for a missing
  // or unknown one. Every known token is compared in full, so the time taken does not tell how
  // much of a guess was right.
  Role RoleOf(const std::string& authorization) const { return CallerOf(authorization).role; }
  Caller CallerOf(const std::string& authorization) const;
  bool Empty() const { return entries_.empty(); }

 private:
  struct Entry {
    Role role;
    std::string token;
    std::string name;
  };
  std::vector<Entry> entries_;
};

// The shortest token the file may hold: anything shorter is a password, not a token.
constexpr std::size_t kMinTokenLength = 16;

// A token of 32 hex digits from the system's random source, for --demo.
std::string NewToken();

}  // namespace gateway
