// What the library's dialogs share across one module: the command object of the dialog that
// is open, the PTZ dialog's motion and auto flags, and the mask page's editor state.
//
// Only one library dialog is open at a time. A dialog that starts while DialogCommand is held
// closes at once and leaves the slot to the open dialog: taking it over would let the open
// dialog carry on with an object it was never given, and the refused dialog's pages would
// overwrite the open dialog's page state.
#pragma once

#include <cstdint>
#include <vector>

class ICommand;

namespace vml::ui {

struct MaskRegionEntry {
  std::int32_t id = 0;  // also the control identifier of the region's window on the mask page
  bool enabled = false;
};

struct DialogState {
  ICommand* dialogCommand = nullptr;

  // A press has started a head motion that the next pointer event stops.
  bool ptzMotionActive = false;
  // The auto toggle was last switched on.
  bool ptzAutoOn = false;

  bool maskDragging = false;
  std::int32_t maskSelectedId = 0;  // 0: no region selected
  // Oldest first. The page empties it when it is destroyed, so ids start at 501 again and no
  // entry outlives its window.
  std::vector<MaskRegionEntry> maskRegionList;
};

// The module's one instance, used by the Win32 dialogs.
DialogState& ModuleDialogState();

// One dialog's hold on DialogCommand.
class DialogCommandHold {
 public:
  explicit DialogCommandHold(DialogState& state) : state_(state) {}
  DialogCommandHold(const DialogCommandHold&) = delete;
  DialogCommandHold& operator=(const DialogCommandHold&) = delete;
  ~DialogCommandHold() { Release(); }

  // Takes the slot unless another dialog holds it; false means this dialog must close.
  bool Take(ICommand* command);
  // Empties the slot if this dialog holds it.
  void Release();
  // The object to work with, null when this dialog holds nothing.
  ICommand* Command() const { return held_ ? state_.dialogCommand : nullptr; }

 private:
  DialogState& state_;
  bool held_ = false;
};

}  // namespace vml::ui
