#pragma once

// The options dialog without a toolkit: every control, caption, range, hint
// and position as data, and the transfers between the settings record and the
// controls' values. Each front end builds its widgets from these tables and
// moves values only through LoadControls / StoreControl / SaveControls, so the
// Qt and the Win32 dialog look and behave alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniFile.h"
#include "settings/Schema.h"
#include "settings/Version.h"

namespace moonglow {

struct TControlDef {
  std::string Name;     // the control: UpDownFireCount, TrackBarAllCast, CheckBoxDrawLaunchKiku
  std::string Setting;  // the field it edits: its key, or block and key as Kiku.DrawLaunch
  TControlKind Kind = TControlKind::SpinBox;
  std::string Caption;  // UTF-8; for spin boxes and sliders the label beside the control
  std::string Hint;     // tooltip; empty where the control has none
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  std::int32_t Step = 1;       // arrow keys and the up-down's arrows
  std::int32_t PageStep = 0;   // PgUp / PgDn on sliders
  std::int32_t TickEvery = 0;  // sliders: a tick below every this many units
  bool Thousands = false;      // spin boxes: group digits as "1,000"
  bool Visible = true;
  bool Enabled = true;
  TPlace Place = TPlace::Form;
  int Tab = -1;  // 0..4 when Place is Tab
  // Spin boxes: the edit field; the others: the control itself.
  TBounds Bounds;
  // Spin boxes only: the up-down, directly right of its edit field.
  TBounds SpinBounds;
  // Spin boxes and sliders: the caption label (12 px above a spin box's field,
  // left of a slider).
  TBounds CaptionBounds;
  std::string EditName;     // spin boxes: the edit field, EditFireCount
  std::string CaptionName;  // the caption label, LabelFireCount
  const TSettingRow* Row = nullptr;
  const TKindRow* Block = nullptr;  // the kind of a tab's control
};

// The 45 controls that carry a setting, in the transfer order: FireCount,
// gFactor, kFactor, VNoise, DNoise, the five theme weights, then each kind
// block (Kiku, Kiku3, Botan, Hiyuusei, Hachi) as DrawLaunch, SeedSize,
// SeedCount, V, FireLength, Life, dtFactor.
inline constexpr std::size_t ControlCount = 45;
const std::vector<TControlDef>& ControlTable();
// Index into ControlTable() of the control named `name`, or ControlCount.
std::size_t FindControl(std::string_view name);

struct TTabDef {
  std::string Name;   // TabSheetKiku
  std::string Block;  // Kiku: the settings block and the suffix of the tab's control names
  std::string Caption;
  std::string Description;
  TBounds DescriptionBounds;  // on the tab's page
};
const std::vector<TTabDef>& TabTable();

enum class TFontRole { Dialog, Title, Version };

// A font of the layout. Every pixel of the layout was measured in `Family`;
// where it is missing, the stand-ins come next, in order: faces drawn to the
// same advance widths, so captions keep the room the layout gives them. A
// front end tries them in this order before it lets its toolkit choose.
struct TFontDef {
  const char* Family;
  std::array<const char*, 3> StandIns;
  int PixelHeight;
  bool Bold;
};
// IPA P Gothic shares the dialog face's proportional widths; Liberation Sans
// and Arimo share Arial's.
inline constexpr TFontDef DialogFont{
    "ＭＳ Ｐゴシック", {"MS PGothic", "IPAPGothic", "IPA Pゴシック"}, 12, false};
inline constexpr TFontDef TitleFont{"Arial", {"Liberation Sans", "Arimo", nullptr}, 13, true};
inline constexpr TFontDef VersionFont{"Arial", {"Liberation Sans", "Arimo", nullptr}, 12, true};

// Labels that carry no setting.
struct TStaticDef {
  std::string Name;
  std::string Caption;
  TPlace Place = TPlace::Form;
  int Tab = -1;
  TBounds Bounds;  // a spin box's covers its edit field and its up-down
  TFontRole Font = TFontRole::Dialog;
  bool Centred = false;
};
const std::vector<TStaticDef>& StaticTable();

struct TButtonDef {
  std::string Name;
  std::string Caption;
  TBounds Bounds;
  bool Default = false;  // pressed by Enter when no other button has the focus
  bool Cancel = false;   // pressed by Escape
};
enum TButtonIndex : std::size_t { ButtonOk = 0, ButtonCancel = 1, ButtonInitial = 2 };
const std::array<TButtonDef, 3>& ButtonTable();

// Containers and decorations, named as the tab order names them.
struct TFrameDef {
  std::string Name;
  std::string Caption;
  TBounds Bounds;
};
const TFrameDef& IconFrame();         // the header's 32×32 icon image
const TFrameDef& RuleFrame();         // the horizontal rule under the header
const TFrameDef& ThemeGroupFrame();   // the group box of the five sliders
const TFrameDef& PageControlFrame();  // the tabbed control

inline constexpr const char* DialogCaption = "Moonglow Setup";
inline constexpr const char* VersionCaption = VersionName;
inline constexpr int ClientWidth = 367;
inline constexpr int ClientHeight = 434;

// Items of every radio group, in index order (the SeedSize value).
const std::array<std::string, 3>& RadioItems();
// Where item `item` sits inside its radio group of size `group`.
TBounds RadioItemBounds(const TBounds& group, int item);

// Every window of the dialog, in the order a front end makes them, which is
// also their stacking order: what the tables above describe, flattened.
enum class TWidgetKind {
  Icon,      // the header's image
  Label,     // static text
  Rule,      // a sunken line along the top of its place
  GroupBox,  // the theme group's frame
  Tabs,      // the tabbed control; its pages are TabTable()'s, made with it
  SpinBox,   // edit field and up-down, placed as its TControlDef says
  Slider,
  CheckBox,
  RadioGroup,
  RadioItem,  // placed inside its radio group
  Button,
};
struct TWidgetDef {
  TWidgetKind Kind = TWidgetKind::Label;
  std::string Name;
  std::string Caption;
  TPlace Place = TPlace::Form;
  int Tab = -1;
  TBounds Bounds;
  TFontRole Font = TFontRole::Dialog;
  bool Centred = false;
  bool Visible = true;
  bool Enabled = true;
  std::string Hint;
  // The control of ControlTable() the widget shows or names, else
  // ControlCount; the item of a radio group; the button of ButtonTable().
  std::size_t Control = ControlCount;
  int Item = -1;
  int Button = -1;
};
const std::vector<TWidgetDef>& Widgets();
// The widget of Widgets() that shows item `item` of control `index`: a check
// box itself, or an item of a radio group.
std::string ItemName(std::size_t index, int item);

// The layout gives a caption the height of a line of the face it was drawn
// in. Set in a taller stand-in, the caption keeps its foot where the layout
// puts it and grows upwards, away from the control below it.
TBounds CaptionToLine(const TBounds& caption, int lineHeight);

// Keyboard focus order: the top-level controls first, then the controls
// inside the tabbed control (tab by tab) and inside the theme group. Spin
// boxes stand for their edit fields.
const std::vector<std::string>& TabOrder();
// The control that holds the focus when the dialog opens: the first of the
// tab order, the OK button. Enter pressed at once therefore saves, and the
// arrow keys move no setting before the user has chosen a control.
const std::string& InitialFocus();

// One value per control in ControlTable() order: a spin box's or slider's
// position, 1 or 0 for a check box, the selected item of a radio group.
using TControlValues = std::array<std::int32_t, ControlCount>;

// A spin box holds a signed 16-bit position: loading takes the low 16 bits of
// the 32-bit field; saving widens the position with its sign.
std::int16_t SpinPosition(std::int32_t field);
std::int32_t WidenSpinPosition(std::int16_t position);

// What control `index` shows for the setting value `field`. A spin box takes
// the 16-bit position first and then clamps it into its range, since the
// file accepts wider values than the dialog offers; the other kinds show the
// value as it is (a check box is ticked for any non-zero value).
std::int32_t ControlValueFromSetting(std::size_t index, std::int32_t field);

TControlValues LoadControls(const TMyIniFile& settings);
// Stores one control's value into its setting; the sliders do this at once.
void StoreControl(std::size_t index, std::int32_t value, TMyIniFile& settings);
void SaveControls(const TControlValues& values, TMyIniFile& settings);
// OK: the controls' values into the record, then the record into the file.
// Returns the error's text when the file refuses the write; the dialog then
// stays open with the user's values, so OK can be tried again.
std::optional<std::string> CommitControls(const TControlValues& values, TMyIniFile& settings);
// The controls as the initial-values button sets them: the record's defaults.
TControlValues DefaultControls();

// Text typed into a spin box's edit field.
enum class TSpinTextState {
  Invalid,       // not a number: the keystroke that made it is refused
  Intermediate,  // empty, a lone sign, or a number outside the range
  Acceptable,    // a number inside the range
};
TSpinTextState CheckSpinText(const TControlDef& control, std::string_view text);
// The position the field's text gives when editing ends: a number is clamped
// into the range; anything else leaves the box at `current`.
std::int32_t SpinPositionFromText(const TControlDef& control, std::string_view text,
                                  std::int32_t current);
// The field's text for `position`: "1,000" where the box groups digits.
std::string SpinText(const TControlDef& control, std::int32_t position);

}  // namespace moonglow
