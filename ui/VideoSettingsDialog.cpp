#include "ui/VideoSettingsDialog.h"

#include <cstdio>
#include <initializer_list>

#include "VmlCmd/ICommand.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

constexpr Page kPages[] = {Page::Picture, Page::Mask, Page::Motion, Page::Osd};

// The trackbar's notification at the end of a move: the thumb released or a key move done.
constexpr int kEndTrack = 8;

struct Slider {
  int id;
  std::int32_t low;
  std::int32_t high;
  bool (ICommand::*write)(std::int32_t);
};

constexpr Slider kSliders[] = {
    {IDC_SLIDER_BRIGHTNESS, 0, 255, &ICommand::SetBrightness},
    {IDC_SLIDER_CONTRAST, 0, 255, &ICommand::SetContrast},
    {IDC_SLIDER_SATURATION, 0, 255, &ICommand::SetSaturation},
    {IDC_SLIDER_HUE, 0, 255, &ICommand::SetHue},
    {IDC_SLIDER_BITRATE, 64, 4096, &ICommand::SetVideoBitrate},
    {IDC_SLIDER_FRAME_RATE, 1, 30, &ICommand::SetVideoFrameRate},
    {IDC_SLIDER_IFRAME_INTERVAL, 2, 100, &ICommand::SetVideoIFrameInterval},
    {IDC_SLIDER_QUANT_STEP, 1, 31, &ICommand::SetVideoQuantStep},
    {IDC_SLIDER_VOLUME, 1, 255, &ICommand::SetAudioVolume},
};

constexpr const char* kFormats[] = {"QCIF", "CIF", "2CIF", "4CIF(D1)"};

// List index i stands for wire position i + 1; the setters take the index.
constexpr const char* kPositions[] = {"1-左上", "2-中上", "3-右上", "4-左中",
                                      "5-右中", "6-左下", "7-中下", "8-右下"};

void FillPositions(View& view, int list) {
  for (const char* position : kPositions) view.AddComboItem(list, position);
}

}  // namespace

void VideoSettingsDialog::Start(ICommand* command) {
  if (!hold_.Take(command)) {
    // The pages would overwrite the open dialog's page state: a refused frame makes none.
    view_.EndDialog(0);
    return;
  }
  for (Page page : kPages) pages_.CreatePage(page);
  pagesCreated_ = true;
  // The area stays empty until a tab is pressed.
  PlacePages();
}

void VideoSettingsDialog::Moved() {
  if (pagesCreated_) PlacePages();
}

void VideoSettingsDialog::PlacePages() {
  const Rect area = view_.ControlScreenRect(IDC_PAGE_AREA);
  for (Page page : kPages) pages_.PlacePage(page, area);
}

void VideoSettingsDialog::Command(int id) {
  Page shown;
  switch (id) {
    case IDC_TAB_PICTURE:
      shown = Page::Picture;
      break;
    case IDC_TAB_MASK:
      shown = Page::Mask;
      break;
    case IDC_TAB_MOTION:
      shown = Page::Motion;
      break;
    case IDC_TAB_OSD:
      shown = Page::Osd;
      break;
    case IDC_OK_BUTTON:
    case IDC_CANCEL_BUTTON:
      hold_.Release();
      view_.EndDialog(0);
      return;
    default:
      return;
  }
  if (!pagesCreated_) return;
  for (Page page : kPages) pages_.ShowPage(page, false);
  pages_.ShowPage(shown, true);
}

void PicturePage::Start() {
  for (const char* format : kFormats) view_.AddComboItem(IDC_PICTURE_FORMAT, format);
  view_.SelectComboItem(IDC_PICTURE_FORMAT, 0);
  for (const Slider& slider : kSliders) view_.SetTrackbarRange(slider.id, slider.low, slider.high);
}

// The value edit follows every position; the device gets one write per finished move.
void PicturePage::Scroll(int id, int code) {
  const std::int32_t position = view_.TrackbarPosition(id);
  char text[28];
  std::snprintf(text, sizeof text, "%d", position);
  view_.SetText(id - IDC_SLIDER_VALUE_OFFSET, text);
  if (code != kEndTrack || state_.dialogCommand == nullptr) return;
  for (const Slider& slider : kSliders) {
    if (slider.id == id) {
      (state_.dialogCommand->*slider.write)(position);
      return;
    }
  }
}

void PicturePage::Command(int id) {
  if (id == IDC_PICTURE_MUTE && state_.dialogCommand != nullptr) {
    state_.dialogCommand->SetAudioMute(view_.IsChecked(IDC_PICTURE_MUTE));
  }
}

void OsdPage::Start() {
  ICommand* command = state_.dialogCommand;
  bool shown = false;
  std::int32_t position = 0;

  FillPositions(view_, IDC_OSD_CAPTION_POSITION);
  if (command != nullptr) {
    // The caption list starts at the index the encoder's parameter r gives, until the
    // caption read says otherwise.
    view_.SelectComboItem(IDC_OSD_CAPTION_POSITION, command->GetVideoParamR());
    // GetOsdCaption writes at most this many bytes; the last one is kept a NUL whatever a
    // device sends.
    char caption[VMLCMD_CAPTION_BUFFER_SIZE] = {};
    if (command->GetOsdCaption(&shown, &position, caption)) {
      caption[sizeof caption - 1] = '\0';
      view_.SelectComboItem(IDC_OSD_CAPTION_POSITION, position - 1);
      view_.SetChecked(IDC_OSD_CAPTION_SHOWN, shown);
      view_.SetText(IDC_OSD_CAPTION, caption);
    }
  }

  FillPositions(view_, IDC_OSD_TIME_POSITION);
  view_.SelectComboItem(IDC_OSD_TIME_POSITION, 0);
  shown = false;
  position = 0;
  if (command != nullptr && command->GetOsdTime(&shown, &position)) {
    view_.SelectComboItem(IDC_OSD_TIME_POSITION, position - 1);
    view_.SetChecked(IDC_OSD_TIME_SHOWN, shown);
  }
}

void OsdPage::Command(int id) {
  ICommand* command = state_.dialogCommand;
  if (id != IDC_OSD_APPLY || command == nullptr) return;
  // The same bound as the read: whatever the edit holds beyond it is not sent.
  char caption[VMLCMD_CAPTION_BUFFER_SIZE] = {};
  view_.GetText(IDC_OSD_CAPTION, caption, sizeof caption);
  caption[sizeof caption - 1] = '\0';
  const std::int32_t captionIndex = view_.ComboSelection(IDC_OSD_CAPTION_POSITION);
  const std::int32_t timeIndex = view_.ComboSelection(IDC_OSD_TIME_POSITION);
  const bool captionShown = view_.IsChecked(IDC_OSD_CAPTION_SHOWN);
  const bool timeShown = view_.IsChecked(IDC_OSD_TIME_SHOWN);
  command->SetOsdCaption(captionShown, captionIndex, caption);
  command->SetOsdTime(timeShown, timeIndex);
}

}  // namespace vml::ui
