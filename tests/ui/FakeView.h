// A dialog window for the dialogs' logic: it keeps what the logic sets, answers what a test
// put there, and logs every call in order. Geometry: controls have client rectangles, and the
// window's client area starts at `origin` on the screen.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ui/View.h"

namespace vml::ui::testing {

class FakeView final : public View {
 public:
  struct Combo {
    std::vector<std::string> items;
    std::int32_t selection = -1;
  };

  // What the logic set or what a test prepared.
  std::map<int, std::string> texts;
  std::map<int, bool> checked;
  std::map<int, Combo> combos;
  std::map<int, std::pair<std::int32_t, std::int32_t>> ranges;
  std::map<int, std::int32_t> positions;
  std::map<int, bool> enabled;
  std::map<int, bool> shown;
  std::map<int, Rect> controls;  // client coordinates
  std::vector<int> created;
  std::vector<std::size_t> textSizesAsked;
  Point origin;
  Point cursor;  // screen
  bool captured = false;
  int cursorShowCount = 0;  // the platform's display counter: below 0 is hidden
  bool ended = false;
  std::int32_t endResult = -99;
  std::vector<std::string> log;

  void SetText(int id, const char* text) override {
    texts[id] = text;
    Log("SetText", id, text);
  }
  void GetText(int id, char* buffer, std::size_t size) override {
    textSizesAsked.push_back(size);
    const std::string& text = texts[id];
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
  }
  void SetUnsigned(int id, std::uint32_t value) override {
    texts[id] = std::to_string(value);
    Log("SetUnsigned", id, texts[id]);
  }
  std::uint32_t GetUnsigned(int id) override {
    const std::string& text = texts[id];
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<std::uint32_t>(std::stoul(text));
  }
  bool IsChecked(int id) override { return checked[id]; }
  void SetChecked(int id, bool value) override {
    checked[id] = value;
    Log("SetChecked", id, value ? "1" : "0");
  }
  void AddComboItem(int id, const char* label) override {
    combos[id].items.push_back(label);
    Log("AddComboItem", id, label);
  }
  void SelectComboItem(int id, std::int32_t index) override {
    Combo& combo = combos[id];
    const bool inside = index >= 0 && static_cast<std::size_t>(index) < combo.items.size();
    combo.selection = inside ? index : -1;
    Log("SelectComboItem", id, std::to_string(index));
  }
  std::int32_t ComboSelection(int id) override { return combos[id].selection; }
  void SetTrackbarRange(int id, std::int32_t low, std::int32_t high) override {
    ranges[id] = {low, high};
    positions.emplace(id, low);
  }
  std::int32_t TrackbarPosition(int id) override { return positions[id]; }
  void EnableControl(int id, bool value) override { enabled[id] = value; }
  void ShowControl(int id, bool value) override { shown[id] = value; }
  void EndDialog(std::int32_t result) override {
    ended = true;
    endResult = result;
    log.push_back("EndDialog(" + std::to_string(result) + ")");
  }

  Rect ControlScreenRect(int id) override {
    auto found = controls.find(id);
    if (found == controls.end()) return {};
    const Rect& r = found->second;
    return {r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
  }
  Point ClientToScreen(Point p) override { return {p.x + origin.x, p.y + origin.y}; }
  Point ScreenToClient(Point p) override { return {p.x - origin.x, p.y - origin.y}; }
  Point ScreenToControl(int id, Point p) override {
    const Rect r = ControlScreenRect(id);
    return {p.x - r.left, p.y - r.top};
  }
  void MoveControl(int id, Rect rect) override {
    if (controls.count(id) != 0) controls[id] = rect;
  }
  Point CursorPosition() override { return cursor; }
  void CaptureMouse() override { captured = true; }
  void ReleaseMouse() override { captured = false; }
  void ShowCursor(bool value) override { cursorShowCount += value ? 1 : -1; }
  void CreateControlLike(int templateId, int newId) override {
    if (controls.count(templateId) == 0) return;
    controls[newId] = {};
    created.push_back(newId);
  }

 private:
  void Log(const char* what, int id, const std::string& value) {
    log.push_back(std::string(what) + "(" + std::to_string(id) + "," + value + ")");
  }
};

}  // namespace vml::ui::testing
