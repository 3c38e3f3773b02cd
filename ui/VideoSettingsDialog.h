// "视频设置": a frame with four tab buttons, each showing one page that lies over the frame's
// page area. The picture page writes a slider's value when the slider is released, the
// overlay page reads and writes the caption and clock settings, the mask page is MaskPage.h,
// the motion page has no behaviour.
#pragma once

#include <cstdint>

#include "ui/DialogState.h"
#include "ui/View.h"

namespace vml::ui {

enum class Page { Picture, Mask, Motion, Osd };

// The frame's page windows.
class PageHost {
 public:
  virtual ~PageHost() = default;
  // Creates the page hidden, owned by the frame. A page that cannot be created stays absent
  // and the other two operations then do nothing for it.
  virtual void CreatePage(Page page) = 0;
  // Moves the page onto a screen rectangle.
  virtual void PlacePage(Page page, Rect screen) = 0;
  virtual void ShowPage(Page page, bool shown) = 0;
};

class VideoSettingsDialog {
 public:
  VideoSettingsDialog(DialogState& state, View& view, PageHost& pages)
      : view_(view), pages_(pages), hold_(state) {}

  void Start(ICommand* command);
  // The frame has moved on the screen.
  void Moved();
  void Command(int id);
  void Destroyed() { hold_.Release(); }

 private:
  void PlacePages();

  View& view_;
  PageHost& pages_;
  DialogCommandHold hold_;
  bool pagesCreated_ = false;
};

// Reaches the device through DialogCommand, which the frame holds while its pages exist.
class PicturePage {
 public:
  PicturePage(DialogState& state, View& view) : state_(state), view_(view) {}

  void Start();
  // A horizontal-scroll notification of slider id; code is the trackbar's notification code.
  void Scroll(int id, int code);
  void Command(int id);

 private:
  DialogState& state_;
  View& view_;
};

class OsdPage {
 public:
  OsdPage(DialogState& state, View& view) : state_(state), view_(view) {}

  void Start();
  void Command(int id);

 private:
  DialogState& state_;
  View& view_;
};

}  // namespace vml::ui
