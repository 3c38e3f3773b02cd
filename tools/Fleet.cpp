#include "Fleet.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "Output.h"
#include "Reason.h"

namespace vmlctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 30;

// What ended a failed device, for the summary: the stage's name, or "other" for an entry that
// failed on a successful operation.
std::string FailureKind(const Report& report) {
  if (report.operations.empty()) return "other";
  const int32_t stage = report.operations.back().stage;
  return stage == VmlCmdStageSuccess || stage == VmlCmdStageNone ? "other" : StageName(stage);
}

std::string StageWords(const std::string& name) {
  for (int32_t stage = 0; stage < VmlCmdStageCount; ++stage) {
    if (name != StageName(stage)) continue;
    char text[64] = {};
    if (VmlCmdGetStageText(stage, 0, text, static_cast<int32_t>(sizeof text)) > 0) return text;
  }
  return name == "other" ? "other failures" : name;
}

// Runs work(i) for every row on a pool of threads and hands the finished rows back in inventory
// order. Its results are the caller's, one slot per row: a worker fills its slot before it marks
// the row finished under mutex_, and the caller reads a slot only after TakeReady has said so.
class Pool {
 public:
  Pool(std::size_t count, const FleetOptions& options, const std::function<bool(std::size_t)>& work)
      : count_(count), options_(options), work_(work), finished_(count, false) {}

  void Start() {
    const std::size_t workers = std::min(count_, static_cast<std::size_t>(std::max(1, options_.jobs)));
    active_ = workers;
    for (std::size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  }

  // Waits a redraw interval, or less when the last worker ends; true while workers still run.
  // Finished devices wait for the next look, so a fast fleet is printed in batches and the
  // bar is not redrawn for every device.
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kRedraw, [this] { return active_ == 0; });
    return active_ != 0;
  }

  void Join() {
    for (std::thread& thread : threads_) thread.join();
  }

  // The rows finished since the last call that have no unfinished row before them.
  std::vector<std::size_t> TakeReady() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::size_t> ready;
    while (taken_ < count_ && finished_[taken_]) ready.push_back(taken_++);
    return ready;
  }

  std::size_t Finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
  }
  std::size_t Failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
  }

 private:
  bool Stopping() const { return options_.stop != nullptr && options_.stop->load(); }

  void Work() {
    while (!Stopping()) {
      const std::size_t i = next_.fetch_add(1);
      if (i >= count_) break;
      const bool ok = work_(i);
      std::lock_guard<std::mutex> lock(mutex_);
      if (!ok) ++failed_;
      finished_[i] = true;
      ++done_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    --active_;
    changed_.notify_one();
  }

  const std::size_t count_;
  const FleetOptions& options_;
  const std::function<bool(std::size_t)>& work_;
  std::vector<std::thread> threads_;
  std::atomic<std::size_t> next_{0};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<bool> finished_;
  std::size_t taken_ = 0;
  std::size_t done_ = 0;
  std::size_t failed_ = 0;
  std::size_t active_ = 0;
};

Report RunOne(const Target& target, const Entry& entry, const Args& args) {
  Device device(target);
  if (device.Created()) return Run(device, entry, args);
  Report report;
  report.command = entry.path;
  report.target = target;
  report.reason = "CreateICommand returned no object";
  return report;
}

std::string HumanLine(const InventoryRow& row, const Report& report, std::size_t width, bool timing) {
  std::string line = PaddedLabel(row, width) + "  " + (report.result.ok ? "ok" : "failed");
  const std::string why = Why(report);
  if (!why.empty()) line += ": " + why;
  if (!report.result.values.empty()) line += ": " + InlineValues(report.result.values);
  if (report.codeShown) line += "  " + CodeTag(report);
  if (timing) line += "  (" + Timing(report) + ")";
  return line;
}

}  // namespace

std::string Address(const Target& target) { return target.host + ":" + std::to_string(target.port); }

std::string Label(const InventoryRow& row) {
  return row.name.empty() ? Address(row.target) : row.name + " " + Address(row.target);
}

std::string ShortLabel(const InventoryRow& row) { return row.name.empty() ? Address(row.target) : row.name; }

std::size_t LabelWidth(const std::vector<InventoryRow>& rows) {
  std::size_t width = 0;
  for (const InventoryRow& row : rows) width = std::max(width, Label(row).size());
  return width;
}

std::string PaddedLabel(const InventoryRow& row, std::size_t width) {
  std::string label = Label(row);
  if (label.size() < width) label += std::string(width - label.size(), ' ');
  return label;
}

nlohmann::ordered_json RowJson(const InventoryRow& row) {
  nlohmann::ordered_json json;
  json["line"] = row.line;
  if (!row.name.empty()) json["name"] = row.name;
  json["host"] = row.target.host;
  json["port"] = row.target.port;
  json["video_port"] = row.target.videoPort;
  return json;
}

std::string ProgressBar(std::size_t done, std::size_t total, std::size_t failed, Clock::duration elapsed) {
  const std::size_t filled = total == 0 ? kBarWidth : done * kBarWidth / total;
  const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 100;
  return "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " +
         std::to_string(done) + "/" + std::to_string(total) + "  failed " + std::to_string(failed) + "  " +
         std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s\x1b[K";
}

int FleetStatus(std::size_t devices, std::size_t finished, std::size_t failed) {
  if (finished < devices) return kExitInterrupted;
  if (failed == 0) return kExitOk;
  return failed == devices ? kExitNoneSucceeded : kExitFailed;
}

std::size_t RunInOrder(std::size_t count, const FleetOptions& options, std::ostream& err,
                       const std::function<bool(std::size_t)>& work,
                       const std::function<void(std::size_t)>& show) {
  const auto start = Clock::now();
  Pool pool(count, options, work);
  pool.Start();
  std::size_t shown = 0;
  bool barShown = false;
  auto clearBar = [&] {
    if (barShown) err << "\r\x1b[K" << std::flush;
    barShown = false;
  };
  auto flush = [&] {
    const std::vector<std::size_t> ready = pool.TakeReady();
    if (ready.empty()) return;
    clearBar();
    for (std::size_t i : ready) show(i);
    shown += ready.size();
  };
  bool running = true;
  while (running) {
    running = pool.Wait();
    flush();
    if (options.progress && running) {
      err << ProgressBar(pool.Finished(), count, pool.Failed(), Clock::now() - start) << std::flush;
      barShown = true;
    }
  }
  pool.Join();
  flush();
  clearBar();
  return shown;
}

int RunFleet(const std::vector<InventoryRow>& rows, const Entry& entry, const Args& args,
             const FleetOptions& options, std::ostream& out, std::ostream& err) {
  const std::size_t width = LabelWidth(rows);
  const auto start = Clock::now();
  std::size_t succeeded = 0;
  std::map<std::string, std::size_t> failures;
  // A report lives from its device's end until its line is printed.
  std::vector<std::optional<Report>> reports(rows.size());
  const std::size_t shown = RunInOrder(
      rows.size(), options, err,
      [&](std::size_t i) {
        const Args own = options.prepare ? options.prepare(args) : args;
        reports[i] = RunOne(rows[i].target, entry, own);
        return reports[i]->result.ok;
      },
      [&](std::size_t i) {
        const Report& report = *reports[i];
        if (report.result.ok) {
          ++succeeded;
        } else {
          ++failures[FailureKind(report)];
        }
        if (options.json) {
          nlohmann::ordered_json json = RowJson(rows[i]);
          const nlohmann::ordered_json fields = ToJson(report);
          for (const auto& [key, value] : fields.items()) json[key] = value;
          out << Dump(json) << '\n';
        } else {
          out << HumanLine(rows[i], report, width, options.timing) << '\n';
        }
        out << std::flush;
        reports[i].reset();
      });

  const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  const std::size_t failed = shown - succeeded;
  const std::size_t notStarted = rows.size() - shown;
  if (options.json) {
    nlohmann::ordered_json summary;
    summary["devices"] = rows.size();
    summary["succeeded"] = succeeded;
    summary["failed"] = failed;
    nlohmann::ordered_json byStage = nlohmann::ordered_json::object();
    for (const auto& [kind, count] : failures) byStage[kind] = count;
    summary["failed_by_stage"] = byStage;
    summary["not_started"] = notStarted;
    summary["interrupted"] = notStarted != 0;
    summary["jobs"] = options.jobs;
    summary["wall_us"] = wall;
    out << Dump({{"summary", summary}}) << '\n';
  } else {
    std::string line = std::to_string(rows.size()) + " devices: " + std::to_string(succeeded) +
                       " succeeded, " + std::to_string(failed) + " failed";
    if (!failures.empty()) {
      std::string kinds;
      for (const auto& [kind, count] : failures) {
        if (!kinds.empty()) kinds += ", ";
        kinds += std::to_string(count) + " " + StageWords(kind);
      }
      line += " (" + kinds + ")";
    }
    if (notStarted != 0) line += ", " + std::to_string(notStarted) + " not started (interrupted)";
    line += "; wall time " + FormatElapsed(static_cast<uint64_t>(wall)) + " with " +
            std::to_string(options.jobs) + (options.jobs == 1 ? " job" : " jobs");
    out << line << '\n';
  }
  out << std::flush;
  return FleetStatus(rows.size(), shown, failed);
}

}  // namespace vmlctl
