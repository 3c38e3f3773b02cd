// The audit trail: every change made through the gateway as one JSON line (when, who by the
// token's name, from which address, the device, the operation, the values before and after,
// the result and its stage), appended to a file and flushed line by line so that a crash loses
// at most the change in flight. Passwords and tokens never reach it: the records are built from
// plans, device descriptions and the callers' names only.
#pragma once

#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "Devices.h"

namespace gateway {

struct AuditQuery {
  std::string device;             // empty: every device
  int64_t sinceMilliseconds = 0;  // records at or after this time
  std::size_t limit = 100;        // the newest this many
};

class Audit {
 public:
  // path empty: the records are kept in memory only (the newest kKeptInMemory).
  explicit Audit(std::string path = {});

  // False with why when the file cannot be opened for appending.
  bool Open(std::string* problem);
  // Adds the time (UTC) to record and appends it.
  void Append(Json record);
  // The records that match, oldest first.
  std::vector<Json> Find(const AuditQuery& query) const;

  static constexpr std::size_t kKeptInMemory = 1000;
  static constexpr std::size_t kMostAnswered = 1000;

 private:
  const std::string path_;
  mutable std::mutex mutex_;
  std::ofstream file_;
  std::deque<Json> recent_;  // the newest records, also when there is a file
};

// "2026-12-10T13:20:00.123Z", or "2026-12-10T13:20:00Z" without the milliseconds.
std::string UtcText(int64_t milliseconds, bool withMilliseconds = true);

}  // namespace gateway
