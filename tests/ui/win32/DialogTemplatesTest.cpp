// The dialog templates inside the built VmlCmd.dll, read back as data and compared with the
// layouts the dialogs must have: caption, font and size of each dialog, and for each control in
// template order (which is the tab order) its identifier, kind, text and rectangle in dialog
// units. The tables below are written from the dialogs' descriptions, not from the .rc file, so
// a slip in the resource script shows up here. No window is made: no display needed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---- What the templates must hold --------------------------------------------------------

enum class Kind {
  DefaultButton,
  Button,
  CheckBox,
  PushLikeCheckBox,
  RadioButton,
  PushLikeRadioButton,
  GroupBox,
  Label,
  BlackFrame,
  Edit,
  DropDown,
  SortedDropDown,
  IpAddress,
  Trackbar,
};

// Style facts beyond the kind. Disabled, Hidden, ReadOnly, Password and Numeric hold exactly
// when listed; GroupStart and Notify are only required where listed.
enum Flag : unsigned {
  kNone = 0,
  kDisabled = 1u << 0,
  kHidden = 1u << 1,
  kReadOnly = 1u << 2,
  kPassword = 1u << 3,
  kNumeric = 1u << 4,
  kGroupStart = 1u << 5,
  kNotify = 1u << 6,
};

constexpr std::uint32_t kNoId = 0xFFFFFFFFu;  // labels and frames nobody addresses

struct Control {
  std::uint32_t id;
  Kind kind;
  const wchar_t* text;
  int x, y, cx, cy;
  unsigned flags = kNone;
};

enum class Frame { CaptionAndCloseBox, CaptionOnly, Page };

struct Dialog {
  int resource;
  const wchar_t* caption;
  const wchar_t* font;
  int cx, cy;
  Frame frame;
  std::vector<Control> controls;
};

const wchar_t* const kSerif = L"MS Serif";

const Dialog kDeviceConfig{101,
                           L"设备配置",
                           L"MS Sans Serif",
                           326,
                           343,
                           Frame::CaptionAndCloseBox,
                           {
                               {1078, Kind::DefaultButton, L"确定", 95, 322, 50, 14},
                               {2, Kind::Button, L"取消", 180, 322, 50, 14},
                               {1006, Kind::IpAddress, L"", 66, 46, 100, 13},
                               {1007, Kind::Edit, L"", 251, 46, 40, 13, kNumeric},
                               {1008, Kind::Edit, L"", 66, 67, 102, 13, kNumeric},
                               {1009, Kind::IpAddress, L"", 66, 88, 100, 13},
                               {1010, Kind::IpAddress, L"", 66, 109, 100, 13},
                               {1011, Kind::IpAddress, L"", 66, 131, 100, 13},
                               {1015, Kind::Edit, L"", 110, 174, 121, 13, kDisabled},
                               {1016, Kind::Edit, L"", 110, 193, 121, 13, kDisabled | kPassword},
                               {1017, Kind::CheckBox, L"看门狗使能", 226, 64, 65, 13},
                               {1018, Kind::CheckBox, L"报警常闭", 237, 83, 54, 13},
                               {1013, Kind::RadioButton, L"LAN", 202, 129, 28, 13},
                               {1014, Kind::RadioButton, L"ADSL", 246, 129, 32, 13},
                               {kNoId, Kind::Label, L"接入IP", 34, 46, 25, 13},
                               {kNoId, Kind::Label, L"接入端口", 203, 46, 42, 13},
                               {kNoId, Kind::Label, L"设备ID", 31, 67, 28, 13},
                               {kNoId, Kind::Label, L"设备IP", 31, 88, 28, 13},
                               {kNoId, Kind::Label, L"子网掩码", 19, 109, 40, 13},
                               {kNoId, Kind::Label, L"网关", 42, 131, 17, 13},
                               {kNoId, Kind::GroupBox, L"接入类型", 191, 121, 98, 22},
                               {1021, Kind::GroupBox, L"ADSL属性", 40, 165, 236, 44},
                               {1022, Kind::Label, L"用户名", 69, 174, 34, 13},
                               {1023, Kind::Label, L"密码", 73, 193, 30, 13},
                               {kNoId, Kind::GroupBox, L"", 7, 7, 312, 152},
                               {kNoId, Kind::Label, L"升级端口", 206, 102, 39, 13},
                               {1038, Kind::Edit, L"", 251, 101, 40, 13, kNumeric},
                               {kNoId, Kind::Label, L"NAPI版本", 39, 20, 32, 8},
                               {1076, Kind::Edit, L"", 75, 20, 40, 14, kReadOnly},
                               {kNoId, Kind::Label, L"BSP版本号", 201, 25, 35, 8},
                               {1077, Kind::Edit, L"", 245, 20, 40, 14, kReadOnly},
                               {kNoId, Kind::GroupBox, L"云台 1 设置", 34, 253, 104, 52},
                               {kNoId, Kind::Label, L"波特率", 116, 231, 25, 13},
                               {1032, Kind::Edit, L"", 150, 231, 52, 13, kNumeric},
                               {kNoId, Kind::Label, L"类型", 48, 266, 17, 13},
                               {kNoId, Kind::Label, L"地址", 48, 283, 17, 13},
                               {1034, Kind::SortedDropDown, L"", 74, 266, 52, 78},
                               {1035, Kind::Edit, L"", 74, 283, 52, 13, kNumeric},
                               {kNoId, Kind::GroupBox, L"云台 2 设置", 174, 253, 104, 52},
                               {kNoId, Kind::Label, L"类型", 188, 266, 17, 13},
                               {kNoId, Kind::Label, L"地址", 188, 283, 17, 13},
                               {1036, Kind::SortedDropDown, L"", 214, 266, 52, 78},
                               {1037, Kind::Edit, L"", 214, 283, 52, 13, kNumeric},
                               {kNoId, Kind::GroupBox, L"云台设置", 24, 218, 267, 94},
                           }};

const Dialog kPtzControl{102,
                         L"云台控制",
                         kSerif,
                         315,
                         207,
                         Frame::CaptionOnly,
                         {
                             {1, Kind::DefaultButton, L"退出", 21, 186, 50, 14},
                             {1011, Kind::Button, L"上", 29, 23, 50, 14},
                             {1012, Kind::Button, L"下", 29, 61, 50, 14},
                             {1013, Kind::Button, L"左", 13, 23, 15, 53},
                             {1014, Kind::Button, L"右", 80, 23, 15, 53},
                             {kNoId, Kind::Label, L"聚焦", 125, 42, 20, 14},
                             {kNoId, Kind::Label, L"变倍", 125, 61, 20, 14},
                             {kNoId, Kind::Label, L"光圈", 125, 23, 20, 14},
                             {1044, Kind::Button, L"+", 103, 23, 20, 14},
                             {1045, Kind::Button, L"-", 147, 23, 20, 14},
                             {1046, Kind::Button, L"+", 103, 42, 20, 14},
                             {1047, Kind::Button, L"-", 147, 42, 20, 14},
                             {1048, Kind::Button, L"+", 103, 61, 20, 14},
                             {1049, Kind::Button, L"-", 147, 61, 20, 14},
                             {1038, Kind::PushLikeCheckBox, L"辅助1", 176, 61, 38, 14},
                             {1039, Kind::PushLikeCheckBox, L"辅助2", 220, 61, 38, 14},
                             {1040, Kind::PushLikeCheckBox, L"辅助3", 176, 42, 38, 14},
                             {1041, Kind::PushLikeCheckBox, L"辅助4", 220, 42, 38, 14},
                             {1003, Kind::PushLikeCheckBox, L"灯光", 176, 23, 38, 14},
                             {1043, Kind::PushLikeCheckBox, L"雨刷", 220, 23, 38, 14},
                             {kNoId, Kind::GroupBox, L"", 7, 7, 257, 75},
                             {1037, Kind::PushLikeCheckBox, L"自动", 29, 37, 50, 24},
                         }};

const Dialog kVideoSettings{103,
                            L"视频设置",
                            kSerif,
                            466,
                            273,
                            Frame::CaptionAndCloseBox,
                            {
                                {1, Kind::DefaultButton, L"退出", 409, 252, 50, 14},
                                {1052, Kind::PushLikeRadioButton, L"视频参数", 10, 7, 53, 13, kGroupStart},
                                {1053, Kind::PushLikeRadioButton, L"遮挡设置", 63, 7, 53, 13},
                                {1054, Kind::PushLikeRadioButton, L"移动侦察", 116, 7, 53, 13},
                                {1055, Kind::PushLikeRadioButton, L"OSD设置", 169, 7, 53, 13},
                                {1056, Kind::GroupBox, L"", 9, 17, 448, 230, kHidden},
                            }};

const Dialog kPicturePage{106,
                          L"",
                          kSerif,
                          289,
                          227,
                          Frame::Page,
                          {
                              {1006, Kind::DropDown, L"", 79, 10, 54, 49},
                              {kNoId, Kind::Label, L"图像格式", 46, 13, 29, 8},
                              {1014, Kind::CheckBox, L"静音", 200, 196, 33, 8},
                              {1091, Kind::Trackbar, L"", 68, 171, 126, 8},
                              {1554, Kind::GroupBox, L"", 13, 0, 250, 212},
                              {kNoId, Kind::Label, L"亮度", 36, 35, 29, 8},
                              {kNoId, Kind::Label, L"对比度", 36, 52, 29, 8},
                              {kNoId, Kind::Label, L"饱和度", 36, 69, 29, 8},
                              {kNoId, Kind::Label, L"色度", 36, 86, 29, 8},
                              {1020, Kind::Button, L"默认值", 64, 195, 51, 12},
                              {1084, Kind::Trackbar, L"", 68, 52, 126, 8},
                              {1085, Kind::Trackbar, L"", 68, 69, 126, 8},
                              {1086, Kind::Trackbar, L"", 68, 86, 126, 8},
                              {1083, Kind::Trackbar, L"", 68, 35, 126, 8},
                              {kNoId, Kind::Label, L"码速率(KBit)", 17, 103, 46, 8},
                              {kNoId, Kind::Label, L"帧率", 36, 120, 29, 8},
                              {kNoId, Kind::Label, L"I帧间隔", 36, 137, 29, 8},
                              {kNoId, Kind::Label, L"量化步长", 36, 154, 29, 8},
                              {1088, Kind::Trackbar, L"", 68, 120, 126, 8},
                              {1089, Kind::Trackbar, L"", 68, 137, 126, 8},
                              {1090, Kind::Trackbar, L"", 68, 154, 126, 8},
                              {1087, Kind::Trackbar, L"", 68, 103, 126, 8},
                              {kNoId, Kind::Label, L"音量", 36, 171, 29, 8},
                              {1057, Kind::Edit, L"", 199, 31, 47, 12},
                              {1058, Kind::Edit, L"", 199, 48, 47, 12},
                              {1059, Kind::Edit, L"", 199, 65, 47, 12},
                              {1060, Kind::Edit, L"", 199, 82, 47, 12},
                              {1061, Kind::Edit, L"", 199, 99, 47, 12},
                              {1062, Kind::Edit, L"", 199, 116, 47, 12},
                              {1063, Kind::Edit, L"", 199, 133, 47, 12},
                              {1064, Kind::Edit, L"", 199, 150, 47, 12},
                              {1065, Kind::Edit, L"", 199, 167, 47, 12},
                          }};

const Dialog kMaskPage{108,
                       L"",
                       kSerif,
                       350,
                       228,
                       Frame::Page,
                       {
                           {1073, Kind::BlackFrame, L"", 87, 7, 256, 179},
                           {1067, Kind::GroupBox, L"", 19, 18, 46, 31, kNotify},
                           {1068, Kind::CheckBox, L"使能", 27, 69, 35, 10, kDisabled},
                           {1013, Kind::Edit, L"", 31, 123, 40, 14, kDisabled},
                           {1070, Kind::Edit, L"", 31, 144, 40, 14, kDisabled},
                           {1071, Kind::Edit, L"", 31, 102, 40, 14, kDisabled},
                           {1072, Kind::Edit, L"", 31, 165, 40, 14, kDisabled},
                           {kNoId, Kind::Label, L"顶", 17, 105, 10, 8},
                           {kNoId, Kind::Label, L"左", 17, 126, 10, 8},
                           {kNoId, Kind::Label, L"宽", 17, 147, 10, 8},
                           {kNoId, Kind::Label, L"高", 17, 168, 10, 8},
                           {1075, Kind::Button, L"", 29, 194, 50, 14, kHidden},
                           {1078, Kind::Button, L"确定", 177, 201, 50, 14},
                       }};

const Dialog kMotionPage{109,
                         L"",
                         kSerif,
                         394,
                         257,
                         Frame::Page,
                         {
                             {1073, Kind::BlackFrame, L"", 100, 12, 256, 179},
                             {1067, Kind::GroupBox, L"", 15, 11, 46, 31},
                             {1068, Kind::CheckBox, L"使能", 53, 66, 35, 10, kDisabled},
                             {1013, Kind::Edit, L"", 48, 116, 40, 14, kDisabled},
                             {1070, Kind::Edit, L"", 48, 137, 40, 14, kDisabled},
                             {1071, Kind::Edit, L"", 48, 94, 40, 14, kDisabled},
                             {1072, Kind::Edit, L"", 48, 158, 40, 14, kDisabled},
                             {kNoId, Kind::Label, L"顶", 34, 98, 10, 8},
                             {kNoId, Kind::Label, L"左", 34, 119, 10, 8},
                             {kNoId, Kind::Label, L"宽", 34, 140, 10, 8},
                             {kNoId, Kind::Label, L"高", 34, 161, 10, 8},
                             {1075, Kind::Button, L"", 24, 213, 50, 14, kHidden},
                             {1078, Kind::Button, L"确定", 183, 204, 50, 14},
                             {kNoId, Kind::Label, L"灵敏度", 15, 183, 29, 8},
                             {1080, Kind::Edit, L"", 48, 182, 40, 14},
                         }};

const Dialog kOsdPage{110,
                      L"",
                      kSerif,
                      347,
                      230,
                      Frame::Page,
                      {
                          {1027, Kind::Edit, L"", 48, 27, 118, 14},
                          {1026, Kind::CheckBox, L"字幕显示", 106, 48, 58, 10},
                          {1028, Kind::CheckBox, L"时间显示", 210, 49, 53, 10},
                          {1007, Kind::SortedDropDown, L"", 55, 48, 42, 81},
                          {1008, Kind::SortedDropDown, L"", 226, 24, 42, 95},
                          {kNoId, Kind::Label, L"字幕位置", 16, 48, 37, 10},
                          {kNoId, Kind::Label, L"时间位置", 184, 27, 37, 8},
                          {kNoId, Kind::Label, L"字幕", 25, 30, 20, 8},
                          {1555, Kind::GroupBox, L"", 11, 17, 161, 51},
                          {1556, Kind::GroupBox, L"", 177, 17, 100, 51},
                          {1078, Kind::Button, L"确定", 135, 113, 50, 14},
                      }};

// ---- What the templates do hold ----------------------------------------------------------

// A class or text field of a template: an ordinal (0xFFFF, then the number) or a string.
struct NameOrOrdinal {
  std::uint16_t ordinal = 0;
  std::wstring name;
};

struct ParsedControl {
  std::uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t id = 0;
  NameOrOrdinal windowClass;
  NameOrOrdinal text;
};

struct ParsedDialog {
  std::uint32_t style = 0;
  int cx = 0, cy = 0;
  std::wstring caption;
  int pointSize = 0;
  std::wstring font;
  std::vector<ParsedControl> controls;
};

// Reads an extended dialog template (DIALOGEX) within its resource's size; any read past the
// end throws, so a damaged template fails the test instead of reading beyond it.
class TemplateReader {
 public:
  TemplateReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
  std::uint32_t Dword() { return Word() | static_cast<std::uint32_t>(Word()) << 16; }
  int Short() { return static_cast<std::int16_t>(Word()); }

  std::wstring String() {
    std::wstring text;
    for (std::uint16_t c = Word(); c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }

  NameOrOrdinal Field() {
    NameOrOrdinal field;
    const std::uint16_t first = Word();
    if (first == 0xFFFF) {
      field.ordinal = Word();
    } else if (first != 0) {
      field.name.push_back(static_cast<wchar_t>(first));
      field.name += String();
    }
    return field;
  }

  void Skip(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Byte();
  }

  // Each control starts on a four-byte boundary of the template.
  void AlignDword() {
    while (offset_ % 4 != 0) Byte();
  }

 private:
  unsigned Byte() {
    if (offset_ >= size_) throw std::out_of_range("read past the end of the dialog template");
    return data_[offset_++];
  }

  const unsigned char* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

ParsedDialog Parse(const unsigned char* data, std::size_t size) {
  TemplateReader reader(data, size);
  ParsedDialog dialog;
  if (reader.Word() != 1 || reader.Word() != 0xFFFF) throw std::runtime_error("not an extended template");
  reader.Dword();  // help id
  reader.Dword();  // extended style
  dialog.style = reader.Dword();
  const std::uint16_t count = reader.Word();
  reader.Short();  // x
  reader.Short();  // y
  dialog.cx = reader.Short();
  dialog.cy = reader.Short();
  reader.Field();  // menu
  reader.Field();  // class
  dialog.caption = reader.String();
  if ((dialog.style & (DS_SETFONT | DS_SHELLFONT)) != 0) {
    dialog.pointSize = reader.Word();
    reader.Word();   // weight
    reader.Skip(2);  // italic, character set
    dialog.font = reader.String();
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    reader.AlignDword();
    ParsedControl control;
    reader.Dword();  // help id
    reader.Dword();  // extended style
    control.style = reader.Dword();
    control.x = reader.Short();
    control.y = reader.Short();
    control.cx = reader.Short();
    control.cy = reader.Short();
    control.id = reader.Dword();
    control.windowClass = reader.Field();
    control.text = reader.Field();
    reader.Skip(reader.Word());  // creation data
    dialog.controls.push_back(std::move(control));
  }
  return dialog;
}

// ---- Comparing -----------------------------------------------------------------------------

constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;

bool IsNamed(const ParsedControl& control, const wchar_t* name) {
  return control.windowClass.ordinal == 0 && _wcsicmp(control.windowClass.name.c_str(), name) == 0;
}

// The predefined classes may be given by atom or by name; both make the same control.
bool IsAtom(const ParsedControl& control, std::uint16_t atom) {
  if (control.windowClass.ordinal != 0) return control.windowClass.ordinal == atom;
  switch (atom) {
    case kButtonAtom:
      return IsNamed(control, L"Button");
    case kEditAtom:
      return IsNamed(control, L"Edit");
    case kStaticAtom:
      return IsNamed(control, L"Static");
    case kComboBoxAtom:
      return IsNamed(control, L"ComboBox");
    default:
      return false;
  }
}

bool IsButtonOfType(const ParsedControl& control, std::initializer_list<std::uint32_t> types, bool pushLike) {
  if (!IsAtom(control, kButtonAtom) || ((control.style & BS_PUSHLIKE) != 0) != pushLike) return false;
  for (std::uint32_t type : types) {
    if ((control.style & BS_TYPEMASK) == type) return true;
  }
  return false;
}

bool HasKind(const ParsedControl& control, Kind kind) {
  const std::uint32_t staticType = control.style & SS_TYPEMASK;
  const std::uint32_t comboType = control.style & 0x3u;
  switch (kind) {
    case Kind::DefaultButton:
      return IsButtonOfType(control, {BS_DEFPUSHBUTTON}, false);
    case Kind::Button:
      return IsButtonOfType(control, {BS_PUSHBUTTON}, false);
    case Kind::CheckBox:
      return IsButtonOfType(control, {BS_CHECKBOX, BS_AUTOCHECKBOX}, false);
    case Kind::PushLikeCheckBox:
      return IsButtonOfType(control, {BS_CHECKBOX, BS_AUTOCHECKBOX}, true);
    case Kind::RadioButton:
      return IsButtonOfType(control, {BS_RADIOBUTTON, BS_AUTORADIOBUTTON}, false);
    case Kind::PushLikeRadioButton:
      return IsButtonOfType(control, {BS_RADIOBUTTON, BS_AUTORADIOBUTTON}, true);
    case Kind::GroupBox:
      return IsButtonOfType(control, {BS_GROUPBOX}, false);
    case Kind::Label:
      return IsAtom(control, kStaticAtom) &&
             (staticType == SS_LEFT || staticType == SS_CENTER || staticType == SS_RIGHT ||
              staticType == SS_LEFTNOWORDWRAP || staticType == SS_SIMPLE);
    case Kind::BlackFrame:
      return IsAtom(control, kStaticAtom) && staticType == SS_BLACKFRAME;
    case Kind::Edit:
      return IsAtom(control, kEditAtom);
    case Kind::DropDown:
      return IsAtom(control, kComboBoxAtom) && comboType == CBS_DROPDOWN && (control.style & CBS_SORT) == 0;
    case Kind::SortedDropDown:
      return IsAtom(control, kComboBoxAtom) && comboType == CBS_DROPDOWN && (control.style & CBS_SORT) != 0;
    case Kind::IpAddress:
      return IsNamed(control, L"SysIPAddress32");
    case Kind::Trackbar:
      return IsNamed(control, L"msctls_trackbar32");
  }
  return false;
}

std::string Narrow(const std::wstring& text) {
  std::string utf8(text.size() * 4 + 1, '\0');
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
  return utf8;
}

std::string Describe(const ParsedControl& control) {
  std::string text = "id " + std::to_string(static_cast<std::int32_t>(control.id)) + ", class ";
  text += control.windowClass.ordinal != 0 ? std::to_string(control.windowClass.ordinal)
                                           : Narrow(control.windowClass.name);
  char style[16];
  std::snprintf(style, sizeof style, "%08lx", static_cast<unsigned long>(control.style));
  return text + ", style 0x" + style + ", text \"" + Narrow(control.text.name) + "\"";
}

void ExpectStyleFlag(const ParsedControl& control, unsigned flags, Flag flag, std::uint32_t bit, bool exact,
                     const char* what) {
  const bool wanted = (flags & flag) != 0;
  const bool present = (control.style & bit) != 0;
  if (exact || wanted) {
    EXPECT_EQ(present, wanted) << what;
  }
}

void ExpectControl(const ParsedControl& actual, const Control& expected) {
  SCOPED_TRACE(Describe(actual));
  EXPECT_EQ(actual.id, expected.id);
  EXPECT_TRUE(HasKind(actual, expected.kind)) << "kind " << static_cast<int>(expected.kind);
  EXPECT_EQ(actual.text.ordinal, 0) << "text given by number";
  EXPECT_EQ(Narrow(actual.text.name), Narrow(expected.text));
  EXPECT_EQ(actual.x, expected.x);
  EXPECT_EQ(actual.y, expected.y);
  EXPECT_EQ(actual.cx, expected.cx);
  EXPECT_EQ(actual.cy, expected.cy);
  const unsigned flags = expected.flags;
  ExpectStyleFlag(actual, flags, kDisabled, WS_DISABLED, true, "disabled");
  EXPECT_EQ((actual.style & WS_VISIBLE) == 0, (flags & kHidden) != 0) << "hidden";
  ExpectStyleFlag(actual, flags, kGroupStart, WS_GROUP, false, "starts a group");
  if (expected.kind == Kind::Edit) {
    ExpectStyleFlag(actual, flags, kReadOnly, ES_READONLY, true, "read-only");
    ExpectStyleFlag(actual, flags, kPassword, ES_PASSWORD, true, "password");
    ExpectStyleFlag(actual, flags, kNumeric, ES_NUMBER, true, "numeric");
  }
  if (expected.kind == Kind::GroupBox) ExpectStyleFlag(actual, flags, kNotify, BS_NOTIFY, false, "notifies");
}

class DialogTemplates : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    module_ = ::LoadLibraryExA((folder + "VmlCmd.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) ::FreeLibrary(module_);
    module_ = nullptr;
  }

  // The template in Simplified Chinese, the language of every resource of the module.
  static ParsedDialog Load(int resource) {
    HRSRC found = ::FindResourceExA(module_, RT_DIALOG, MAKEINTRESOURCEA(resource),
                                    MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (found == nullptr)
      throw std::runtime_error("no Simplified Chinese dialog " + std::to_string(resource));
    HGLOBAL loaded = ::LoadResource(module_, found);
    const auto* data = static_cast<const unsigned char*>(::LockResource(loaded));
    if (data == nullptr) throw std::runtime_error("dialog " + std::to_string(resource) + " does not load");
    return Parse(data, ::SizeofResource(module_, found));
  }

  static void ExpectDialog(const Dialog& expected) {
    SCOPED_TRACE("dialog " + std::to_string(expected.resource));
    ASSERT_NE(module_, nullptr) << "VmlCmd.dll does not load as data";
    const ParsedDialog actual = Load(expected.resource);
    EXPECT_EQ(Narrow(actual.caption), Narrow(expected.caption));
    EXPECT_EQ(Narrow(actual.font), Narrow(expected.font));
    EXPECT_EQ(actual.pointSize, 8);
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);
    const bool caption = (actual.style & WS_CAPTION) == WS_CAPTION;
    const bool closeBox = (actual.style & WS_SYSMENU) != 0;
    EXPECT_EQ(caption, expected.frame != Frame::Page) << "caption bar";
    EXPECT_EQ(closeBox, expected.frame == Frame::CaptionAndCloseBox) << "close box";
    EXPECT_NE(actual.style & WS_POPUP, 0u) << "pop-up";
    EXPECT_EQ(actual.style & WS_CHILD, 0u) << "pop-up, not child";
    if (expected.frame == Frame::Page) {
      EXPECT_EQ(actual.style & WS_VISIBLE, 0u) << "pages are created hidden";
    }

    ASSERT_EQ(actual.controls.size(), expected.controls.size()) << "number of controls";
    for (std::size_t i = 0; i < expected.controls.size(); ++i) {
      SCOPED_TRACE("control " + std::to_string(i + 1) + " in template order");
      ExpectControl(actual.controls[i], expected.controls[i]);
    }
  }

  static HMODULE module_;
};

HMODULE DialogTemplates::module_ = nullptr;

TEST_F(DialogTemplates, DeviceConfiguration) { ExpectDialog(kDeviceConfig); }

TEST_F(DialogTemplates, PtzControlHasNoCloseBox) { ExpectDialog(kPtzControl); }

TEST_F(DialogTemplates, VideoSettingsFrame) { ExpectDialog(kVideoSettings); }

TEST_F(DialogTemplates, PicturePage) { ExpectDialog(kPicturePage); }

TEST_F(DialogTemplates, MaskPage) { ExpectDialog(kMaskPage); }

TEST_F(DialogTemplates, MotionPage) { ExpectDialog(kMotionPage); }

TEST_F(DialogTemplates, OsdPage) { ExpectDialog(kOsdPage); }

// A damaged template must fail the reading, not read past the resource.
TEST(TemplateReader, StopsAtTheEndOfTheResource) {
  const unsigned char truncated[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_THROW(Parse(truncated, sizeof truncated), std::out_of_range);
  const unsigned char plain[] = {0x80, 0x00, 0xC8, 0x90, 0, 0, 0, 0};
  EXPECT_THROW(Parse(plain, sizeof plain), std::runtime_error);
}

}  // namespace
