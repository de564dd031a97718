#pragma once

// One row per setting: where it lives in the file and in the record, what it
// reads as when missing or out of range, and the control that edits it. The
// reader, the writer, the defaults and the options dialog all walk these rows,
// so a setting is described in exactly one place.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "settings/IniFile.h"

namespace moonglow {

// A control's place in client pixels at 96 dpi; the dialog is laid out for
// that and not scaled.
struct TBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

enum class TControlKind {
  None,     // carried in the file only
  SpinBox,  // an edit field with an attached up-down control
  Slider,   // a horizontal track bar
  CheckBox,
  RadioGroup,  // a captioned group of RadioItems()
};

// Which parent a control's rectangle is relative to: the form's client area,
// the theme group box (its top-left corner, caption included), or the page of
// the kind's tab in the tabbed control.
enum class TPlace { Form, ThemeGroup, Tab };

inline constexpr std::int32_t NoLimit = 2147483647;
inline constexpr std::int32_t NoFloor = -NoLimit - 1;

// The control of a setting. Spin boxes take only Left and Top of `Bounds`:
// the edit field there, its up-down and its caption follow from the grid.
struct TControlSpec {
  TControlKind Kind = TControlKind::None;
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  std::int32_t Step = 1;
  const char* Caption = "";  // UTF-8
  const char* Hint = "";     // tooltip; empty where the control has none
  TPlace Place = TPlace::Form;
  TBounds Bounds;
  bool Visible = true;
  bool Thousands = true;  // spin boxes: group digits as "1,000"
};

// Where a setting's value is held: a field of the record, or the same field
// of every kind block. Exactly one pointer is set.
struct TSettingField {
  std::int32_t TMyIniFile::*Global = nullptr;
  bool TMyIniFile::*GlobalFlag = nullptr;
  std::int32_t TFireParam::*Int = nullptr;
  bool TFireParam::*Flag = nullptr;

  bool IsFlag() const { return GlobalFlag || Flag; }
  bool InBlock() const { return Int || Flag; }
};

struct TSettingRow {
  const char* Section;  // nullptr for the block keys: each kind's own section
  const char* Key;
  TSettingField Field;
  std::int32_t Default;  // globals only; a block key's default is its kind's
  // Read: a number outside [FileMin, FileMax] becomes Fallback, or the key's
  // default where there is none. Flags take any number.
  std::int32_t FileMin;
  std::int32_t FileMax;
  std::optional<std::int32_t> Fallback;
  // False for the first-run flag, which only the end of a full-screen show
  // writes, and then always as 0.
  bool Stored;
  TControlSpec Control;
  // Flame length means nothing to a kind that draws no trails: its control
  // is disabled there.
  bool NeedsTrails = false;
};

// One shell kind: its section and block, its tab, and its defaults.
struct TKindRow {
  const char* Section;
  TFireParam TMyIniFile::*Block;
  const char* Caption;
  const char* Description;
  TFireParam Defaults;
  bool DrawsTrails;
};

// The record's own fields in read and write order.
std::span<const TSettingRow> GlobalRows();
// The keys of every kind section, in read and write order.
std::span<const TSettingRow> BlockRows();
// The kinds in read, write and tab order.
std::span<const TKindRow> KindRows();
// The focus order of a tab's controls, as indices into BlockRows(): the grid
// is walked row by row, which is not the order the file keeps.
std::span<const std::size_t> BlockTabOrder();

// A block key's value in `block` (a flag as 1 or 0).
std::int32_t BlockField(const TFireParam& block, const TSettingRow& row);
void SetBlockField(TFireParam& block, const TSettingRow& row, std::int32_t value);
// The row's value in `settings` (a flag as 1 or 0); `kind` names the block
// for the block keys and is ignored for the others.
std::int32_t GetSetting(const TMyIniFile& settings, const TSettingRow& row, const TKindRow* kind);
void SetSetting(TMyIniFile& settings, const TSettingRow& row, const TKindRow* kind,
                std::int32_t value);
// The row's default for `kind` (ignored for the globals).
std::int32_t DefaultOf(const TSettingRow& row, const TKindRow* kind);

}  // namespace moonglow
