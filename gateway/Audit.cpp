#include "Audit.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <deque>

namespace gateway {

namespace {

// A file read back for GET /audit is read from its last this many bytes: a trail of years
// must not be read whole for the newest hundred records.
constexpr std::streamoff kTailBytes = 16 << 20;

bool Matches(const Json& record, const AuditQuery& query) {
  if (!query.device.empty() && (!record.contains("device") || record["device"] != query.device)) return false;
  if (query.sinceMilliseconds > 0 && (!record.contains("at") || !record["at"].is_number() ||
                                      record["at"].get<int64_t>() < query.sinceMilliseconds))
    return false;
  return true;
}

}  // namespace

std::string UtcText(int64_t milliseconds, bool withMilliseconds) {
  const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  if (!withMilliseconds) return std::string(text, length) + "Z";
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(milliseconds % 1000));
  return std::string(text, length) + fraction;
}

Audit::Audit(std::string path) : path_(std::move(path)) {}

bool Audit::Open(std::string* problem) {
  if (path_.empty()) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  file_.open(path_, std::ios::out | std::ios::app | std::ios::binary);
  if (!file_) {
    *problem = "cannot open it for appending";
    return false;
  }
  return true;
}

void Audit::Append(Json record) {
  const int64_t now = NowMilliseconds();
  Json line;
  line["time"] = UtcText(now);
  line["at"] = now;
  for (auto it = record.begin(); it != record.end(); ++it) line[it.key()] = it.value();
  // A device's bytes that are no text are replaced rather than failing the record.
  const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace);
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_.is_open()) {
    file_ << text << '\n';
    file_.flush();
  }
  recent_.push_back(std::move(line));
  if (recent_.size() > kKeptInMemory) recent_.pop_front();
}

std::vector<Json> Audit::Find(const AuditQuery& query) const {
  std::deque<Json> found;
  const std::size_t limit = std::min(std::max<std::size_t>(query.limit, 1), kMostAnswered);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!path_.empty()) {
    // The file holds the records of earlier runs too.
    std::ifstream in(path_, std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const bool cut = size > kTailBytes;
    in.seekg(cut ? size - kTailBytes : 0);
    std::string line;
    if (cut) std::getline(in, line);  // a partial first line
    while (std::getline(in, line)) {
      const Json record = Json::parse(line, nullptr, false);
      if (record.is_discarded() || !record.is_object() || !Matches(record, query)) continue;
      found.push_back(record);
      if (found.size() > limit) found.pop_front();
    }
    return {found.begin(), found.end()};
  }
  for (const Json& record : recent_) {
    if (!Matches(record, query)) continue;
    found.push_back(record);
    if (found.size() > limit) found.pop_front();
  }
  return {found.begin(), found.end()};
}

}  // namespace gateway
