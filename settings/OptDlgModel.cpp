#include "settings/OptDlgModel.h"

#include <algorithm>
#include <cstdint>

#include "settings/Parse.h"

namespace moonglow {

namespace {

// Captions sit this far above their edit fields, one line of the 12 px font.
constexpr int CaptionRise = 12;
constexpr int CaptionHeight = 12;
constexpr int EditWidth = 49;
constexpr int EditHeight = 20;
constexpr int UpDownWidth = 15;
// Room for a caption: up to the theme group on the form, up to the next
// column of fields on a tab.
constexpr int FormCaptionWidth = 88;
constexpr int TabCaptionWidth = 76;

// The control of `row`, for the block of `kind` where it is a block key.
TControlDef MakeControl(const TSettingRow& row, const TKindRow* kind) {
  const TControlSpec& spec = row.Control;
  const std::string key = row.Key;
  const std::string block = kind ? kind->Section : "";
  TControlDef c;
  c.Setting = kind ? block + "." + key : key;
  c.Kind = spec.Kind;
  c.Caption = spec.Caption;
  c.Hint = spec.Hint;
  c.Min = spec.Min;
  c.Max = spec.Max;
  c.Step = spec.Step;
  c.Visible = spec.Visible;
  c.Enabled = !(row.NeedsTrails && kind && !kind->DrawsTrails);
  c.Place = spec.Place;
  c.Bounds = spec.Bounds;
  c.Row = &row;
  c.Block = kind;
  switch (spec.Kind) {
    case TControlKind::SpinBox: {
      const std::string suffix = key + block;
      c.Name = "UpDown" + suffix;
      c.EditName = "Edit" + suffix;
      c.CaptionName = "Label" + suffix;
      c.Thousands = spec.Thousands;
      const int left = spec.Bounds.Left;
      const int top = spec.Bounds.Top;
      c.Bounds = {left, top, EditWidth, EditHeight};
      c.SpinBounds = {left + EditWidth, top, UpDownWidth, EditHeight};
      c.CaptionBounds = {left, top - CaptionRise, kind ? TabCaptionWidth : FormCaptionWidth,
                         CaptionHeight};
      break;
    }
    case TControlKind::Slider: {
      // A weight's key is its theme's name and "Per".
      const std::string theme = key.substr(0, key.size() - 3);
      c.Name = "TrackBar" + theme;
      c.CaptionName = "Label" + theme;
      // A page is two steps; a tick marks every step.
      c.PageStep = 2 * spec.Step;
      c.TickEvery = spec.Step;
      // The caption fills the group's width left of the slider, on the
      // slider's middle line.
      c.CaptionBounds = {6, spec.Bounds.Top + 2, spec.Bounds.Left - 6, CaptionHeight};
      break;
    }
    case TControlKind::CheckBox:
      c.Name = "CheckBox" + key + block;
      break;
    case TControlKind::RadioGroup:
      c.Name = "RadioGroup" + key + block;
      break;
    case TControlKind::None:
      break;
  }
  if (kind) c.Tab = static_cast<int>(kind - KindRows().data());
  return c;
}

std::vector<TControlDef> BuildControlTable() {
  std::vector<TControlDef> t;
  t.reserve(ControlCount);
  for (const TSettingRow& row : GlobalRows())
    if (row.Control.Kind != TControlKind::None) t.push_back(MakeControl(row, nullptr));
  for (const TKindRow& kind : KindRows())
    for (const TSettingRow& row : BlockRows()) t.push_back(MakeControl(row, &kind));
  return t;
}

}  // namespace

const std::vector<TControlDef>& ControlTable() {
  static const std::vector<TControlDef> table = BuildControlTable();
  return table;
}

std::size_t FindControl(std::string_view name) {
  const auto& table = ControlTable();
  for (std::size_t i = 0; i < table.size(); ++i)
    if (table[i].Name == name) return i;
  return ControlCount;
}

const std::vector<TTabDef>& TabTable() {
  static const std::vector<TTabDef> table = [] {
    std::vector<TTabDef> t;
    for (const TKindRow& kind : KindRows())
      t.push_back({std::string("TabSheet") + kind.Section,
                   kind.Section,
                   kind.Caption,
                   kind.Description,
                   {8, 8, 320, CaptionHeight}});
    return t;
  }();
  return table;
}

const std::vector<TStaticDef>& StaticTable() {
  static const std::vector<TStaticDef> table{
      {"LabelTitle",
       "The Real Moonglow Screen Saver",
       TPlace::Form,
       -1,
       {72, 4, 217, 16},
       TFontRole::Title,
       true},
      {"LabelVersion",
       VersionCaption,
       TPlace::Form,
       -1,
       {75, 20, 206, 15},
       TFontRole::Version,
       true},
      {"LabelFew", "少", TPlace::ThemeGroup, -1, {80, 16, 12, 12}, TFontRole::Dialog, false},
      {"LabelMany", "多", TPlace::ThemeGroup, -1, {200, 16, 12, 12}, TFontRole::Dialog, false},
  };
  return table;
}

const std::array<TButtonDef, 3>& ButtonTable() {
  static const std::array<TButtonDef, 3> table{{
      {"ButtonOk", "OK", {12, 404, 80, 25}, false, false},
      // Cancel is the default button: Enter in an edit field must never save
      // half-typed values.
      {"ButtonCancel", "ｷｬﾝｾﾙ", {100, 404, 80, 25}, true, true},
      {"ButtonInitial", "初期値", {188, 404, 80, 25}, false, false},
  }};
  return table;
}

const TFrameDef& IconFrame() {
  static const TFrameDef frame{"ImageIcon", "", {16, 8, 32, 32}};
  return frame;
}

const TFrameDef& RuleFrame() {
  static const TFrameDef frame{"BevelHeader", "", {8, 92, 345, 9}};
  return frame;
}

const TFrameDef& ThemeGroupFrame() {
  static const TFrameDef frame{"GroupBoxTheme", "テーマ別出現率", {116, 100, 229, 129}};
  return frame;
}

const TFrameDef& PageControlFrame() {
  static const TFrameDef frame{"PageControl", "", {12, 236, 343, 161}};
  return frame;
}

const std::array<std::string, 3>& RadioItems() {
  static const std::array<std::string, 3> items{"小", "大", "ﾗﾝﾀﾞﾑ"};
  return items;
}

TBounds RadioItemBounds(const TBounds& group, int item) {
  // The items share the height below the group's caption evenly; the
  // caption's line is kept clear, since some styles draw the frame under it.
  constexpr int CaptionSpace = 20;
  constexpr int BottomMargin = 2;
  constexpr int SideMargin = 8;
  const int count = static_cast<int>(RadioItems().size());
  const int pitch = std::max(1, (group.Height - CaptionSpace - BottomMargin) / count);
  return {SideMargin, CaptionSpace + pitch * item, std::max(0, group.Width - SideMargin - 4),
          std::max(1, pitch - 1)};
}

namespace {

TWidgetDef Widget(TWidgetKind kind, const std::string& name, const std::string& caption,
                  TPlace place, int tab, const TBounds& bounds) {
  TWidgetDef w;
  w.Kind = kind;
  w.Name = name;
  w.Caption = caption;
  w.Place = place;
  w.Tab = tab;
  w.Bounds = bounds;
  return w;
}

TWidgetKind WidgetKind(TControlKind kind) {
  switch (kind) {
    case TControlKind::SpinBox:
      return TWidgetKind::SpinBox;
    case TControlKind::Slider:
      return TWidgetKind::Slider;
    case TControlKind::CheckBox:
      return TWidgetKind::CheckBox;
    case TControlKind::RadioGroup:
    case TControlKind::None:
      break;
  }
  return TWidgetKind::RadioGroup;
}

std::vector<TWidgetDef> BuildWidgets() {
  using W = TWidgetKind;
  std::vector<TWidgetDef> w;
  const auto frame = [&](W kind, const TFrameDef& f) {
    w.push_back(Widget(kind, f.Name, f.Caption, TPlace::Form, -1, f.Bounds));
  };
  frame(W::Icon, IconFrame());
  frame(W::Rule, RuleFrame());
  for (std::size_t b = 0; b < ButtonTable().size(); ++b) {
    const TButtonDef& button = ButtonTable()[b];
    w.push_back(Widget(W::Button, button.Name, button.Caption, TPlace::Form, -1, button.Bounds));
    w.back().Button = static_cast<int>(b);
  }
  frame(W::GroupBox, ThemeGroupFrame());
  frame(W::Tabs, PageControlFrame());
  for (std::size_t t = 0; t < TabTable().size(); ++t) {
    const TTabDef& tab = TabTable()[t];
    w.push_back(Widget(W::Label, tab.Name + "Description", tab.Description, TPlace::Tab,
                       static_cast<int>(t), tab.DescriptionBounds));
  }
  for (const TStaticDef& s : StaticTable()) {
    w.push_back(Widget(W::Label, s.Name, s.Caption, s.Place, s.Tab, s.Bounds));
    w.back().Font = s.Font;
    w.back().Centred = s.Centred;
  }
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const TControlDef& c = ControlTable()[i];
    TWidgetDef def = Widget(W::Label, c.CaptionName, c.Caption, c.Place, c.Tab, c.CaptionBounds);
    def.Visible = c.Visible;
    def.Enabled = c.Enabled;
    def.Control = i;
    if (!c.CaptionName.empty()) w.push_back(def);
    def.Kind = WidgetKind(c.Kind);
    def.Name = c.Name;
    def.Bounds = c.Bounds;
    if (c.Kind == TControlKind::SpinBox)
      def.Bounds.Width = c.SpinBounds.Left + c.SpinBounds.Width - c.Bounds.Left;
    def.Hint = c.Hint;
    w.push_back(def);
    if (c.Kind != TControlKind::RadioGroup) continue;
    for (int item = 0; item < static_cast<int>(RadioItems().size()); ++item) {
      TWidgetDef radio = def;
      radio.Kind = W::RadioItem;
      radio.Name = ItemName(i, item);
      radio.Caption = RadioItems()[static_cast<std::size_t>(item)];
      radio.Bounds = RadioItemBounds(c.Bounds, item);
      radio.Item = item;
      w.push_back(radio);
    }
  }
  return w;
}

}  // namespace

const std::vector<TWidgetDef>& Widgets() {
  static const std::vector<TWidgetDef> widgets = BuildWidgets();
  return widgets;
}

std::string ItemName(std::size_t index, int item) {
  const TControlDef& c = ControlTable().at(index);
  return c.Kind == TControlKind::CheckBox ? c.Name : c.Name + "Item" + std::to_string(item);
}

TBounds CaptionToLine(const TBounds& caption, int lineHeight) {
  if (lineHeight <= caption.Height) return caption;
  return {caption.Left, caption.Top + caption.Height - lineHeight, caption.Width, lineHeight};
}

const std::vector<std::string>& TabOrder() {
  static const std::vector<std::string> order = [] {
    const auto& buttons = ButtonTable();
    std::vector<std::string> o{buttons[ButtonOk].Name, buttons[ButtonInitial].Name,
                               buttons[ButtonCancel].Name};
    const auto& table = ControlTable();
    const auto add = [&](TPlace place) {
      for (const TControlDef& c : table)
        if (c.Place == place && c.Visible) o.push_back(c.Name);
    };
    add(TPlace::Form);
    o.push_back(PageControlFrame().Name);
    const std::size_t perTab = BlockRows().size();
    const std::size_t firstTab = ControlCount - perTab * KindRows().size();
    for (std::size_t tab = 0; tab < KindRows().size(); ++tab)
      for (std::size_t i : BlockTabOrder()) o.push_back(table[firstTab + tab * perTab + i].Name);
    o.push_back(ThemeGroupFrame().Name);
    add(TPlace::ThemeGroup);
    return o;
  }();
  return order;
}

const std::string& InitialFocus() { return TabOrder().front(); }

std::int16_t SpinPosition(std::int32_t field) {
  // Conversion of an out-of-range value to a signed type is modular in C++20.
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(field)));
}

std::int32_t WidenSpinPosition(std::int16_t position) { return position; }

std::int32_t ControlValueFromSetting(std::size_t index, std::int32_t field) {
  const TControlDef& c = ControlTable().at(index);
  switch (c.Kind) {
    case TControlKind::SpinBox:
      return std::clamp<std::int32_t>(SpinPosition(field), c.Min, c.Max);
    case TControlKind::CheckBox:
      return field != 0 ? 1 : 0;
    case TControlKind::Slider:
    case TControlKind::RadioGroup:
      // The record holds these in range after reading; a control cannot show
      // anything else anyway.
      return std::clamp(field, c.Min, c.Max);
    case TControlKind::None:
      break;
  }
  return field;
}

TControlValues LoadControls(const TMyIniFile& settings) {
  TControlValues values{};
  const auto& table = ControlTable();
  for (std::size_t i = 0; i < ControlCount; ++i)
    values[i] = ControlValueFromSetting(i, GetSetting(settings, *table[i].Row, table[i].Block));
  return values;
}

void StoreControl(std::size_t index, std::int32_t value, TMyIniFile& settings) {
  const TControlDef& c = ControlTable().at(index);
  if (c.Kind == TControlKind::SpinBox) value = WidenSpinPosition(SpinPosition(value));
  SetSetting(settings, *c.Row, c.Block, value);
}

void SaveControls(const TControlValues& values, TMyIniFile& settings) {
  for (std::size_t i = 0; i < ControlCount; ++i) StoreControl(i, values[i], settings);
}

std::optional<std::string> CommitControls(const TControlValues& values, TMyIniFile& settings) {
  SaveControls(values, settings);
  try {
    settings.WriteSettings(/*clearFirstRun=*/false);  // only the full-screen show ends it
  } catch (const std::exception& e) {
    return e.what();
  }
  return std::nullopt;
}

TControlValues DefaultControls() {
  TMyIniFile defaults{std::string()};
  defaults.LoadDefaults();
  return LoadControls(defaults);
}

namespace {

struct TParsedSpinText {
  TSpinTextState State = TSpinTextState::Invalid;
  bool IsNumber = false;
  std::int64_t Value = 0;
};

TParsedSpinText ParseSpinText(const TControlDef& c, std::string_view text) {
  text = Trim(text);
  TParsedSpinText r;
  const TScannedInteger n = ScanInteger(text, {.Sign = true, .Thousands = c.Thousands});
  if (n.Digits == 0) {
    // Nothing typed yet, or only a sign: the number is still to come.
    if (n.End == text.size()) r.State = TSpinTextState::Intermediate;
    return r;
  }
  if (n.End != text.size()) return r;
  // Past this many digits every range is far behind; saturating keeps the
  // value inside 64 bits however long the typed text is.
  constexpr std::uint64_t Saturated = 1'000'000'000'000ULL;
  const auto value =
      static_cast<std::int64_t>(n.Overflow ? Saturated : std::min(Saturated, n.Magnitude));
  r.IsNumber = true;
  r.Value = n.Negative ? -value : value;
  r.State = r.Value >= c.Min && r.Value <= c.Max ? TSpinTextState::Acceptable
                                                 : TSpinTextState::Intermediate;
  return r;
}

}  // namespace

TSpinTextState CheckSpinText(const TControlDef& control, std::string_view text) {
  return ParseSpinText(control, text).State;
}

std::int32_t SpinPositionFromText(const TControlDef& control, std::string_view text,
                                  std::int32_t current) {
  const TParsedSpinText r = ParseSpinText(control, text);
  if (!r.IsNumber) return current;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(r.Value, control.Min, control.Max));
}

std::string SpinText(const TControlDef& control, std::int32_t position) {
  const std::int64_t wide = position;
  std::string digits = std::to_string(wide < 0 ? -wide : wide);
  if (control.Thousands)
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return wide < 0 ? "-" + digits : digits;
}

}  // namespace moonglow
