#include "settings/OptDlgModel.h"

#include <algorithm>

namespace moonglow {

std::int32_t TSettingRef::Get(const TMyIniFile& settings) const {
  if (Global) return settings.*Global;
  const TFireParam& block = settings.*Block;
  return Flag ? (block.*Flag ? 1 : 0) : block.*Int;
}

void TSettingRef::Set(TMyIniFile& settings, std::int32_t value) const {
  if (Global) {
    settings.*Global = value;
    return;
  }
  TFireParam& block = settings.*Block;
  if (Flag)
    block.*Flag = value != 0;
  else
    block.*Int = value;
}

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

TControlDef Spin(std::string suffix, std::string setting, std::string caption, std::int32_t min,
                 std::int32_t max, std::int32_t step, std::string hint, TBounds edit,
                 int captionWidth) {
  TControlDef c;
  c.Name = "UpDown" + suffix;
  c.EditName = "Edit" + suffix;
  c.CaptionName = "Label" + suffix;
  c.Setting = std::move(setting);
  c.Kind = TControlKind::SpinBox;
  c.Caption = std::move(caption);
  c.Hint = std::move(hint);
  c.Min = min;
  c.Max = max;
  c.Step = step;
  c.Thousands = true;
  c.Bounds = {edit.Left, edit.Top, EditWidth, EditHeight};
  c.SpinBounds = {edit.Left + EditWidth, edit.Top, UpDownWidth, EditHeight};
  c.CaptionBounds = {edit.Left, edit.Top - CaptionRise, captionWidth, CaptionHeight};
  return c;
}

TControlDef GlobalSpin(std::int32_t TMyIniFile::*field, std::string name, std::string caption,
                       std::int32_t min, std::int32_t max, std::int32_t step, std::string hint,
                       int left, int top) {
  TControlDef c = Spin(name, name, std::move(caption), min, max, step, std::move(hint),
                       {left, top, 0, 0}, FormCaptionWidth);
  c.Field.Global = field;
  return c;
}

TControlDef Slider(std::int32_t TMyIniFile::*field, std::string theme, std::string caption,
                   std::string hint, int row) {
  constexpr int Left = 71;
  constexpr int FirstTop = 28;
  constexpr int RowPitch = 20;
  const int top = FirstTop + RowPitch * row;
  TControlDef c;
  c.Name = "TrackBar" + theme;
  c.CaptionName = "Label" + theme;
  c.Setting = theme + "Per";
  c.Kind = TControlKind::Slider;
  c.Caption = std::move(caption);
  c.Hint = std::move(hint);
  c.Min = 0;
  c.Max = 100;
  c.Step = 10;
  c.PageStep = 20;
  c.TickEvery = 10;
  c.Place = TPlace::ThemeGroup;
  c.Bounds = {Left, top, 150, 17};
  // The caption fills the group's width left of the slider, on the slider's
  // middle line.
  c.CaptionBounds = {6, top + 2, Left - 6, CaptionHeight};
  c.Field.Global = field;
  return c;
}

struct TKindRow {
  TFireParam TMyIniFile::*Block;
  const char* Name;
  const char* Caption;
  const char* Description;
};

constexpr std::array<TKindRow, 5> Kinds{{
    {&TMyIniFile::Kiku, "Kiku", "しだれ柳", "長い尾を引き、花弁が長く垂れ落ちて行く花火です。"},
    {&TMyIniFile::Kiku3, "Kiku3", "菊", "全体で四重の同心円からなる菊花型の花火です。"},
    {&TMyIniFile::Botan, "Botan", "牡丹", "尾を引かず、光の点だけで形作られた花火です。"},
    {&TMyIniFile::Hiyuusei, "Hiyuusei", "飛遊星", "星が様々な方向に飛んでいく花火です。"},
    {&TMyIniFile::Hachi, "Hachi", "蜂", "星が回転しながらランダムに飛び回る花火です。"},
}};

void AddKindControls(std::vector<TControlDef>& table, int tab) {
  const TKindRow& kind = Kinds[static_cast<std::size_t>(tab)];
  const std::string block = kind.Name;
  auto onTab = [&](TControlDef c, std::int32_t TFireParam::*field) {
    c.Place = TPlace::Tab;
    c.Tab = tab;
    c.Field.Block = kind.Block;
    c.Field.Int = field;
    return c;
  };
  auto spin = [&](const char* name, std::int32_t TFireParam::*field, const char* caption,
                  std::int32_t min, std::int32_t max, std::int32_t step, const char* hint, int left,
                  int top) {
    return onTab(Spin(name + block, block + "." + name, caption, min, max, step, hint,
                      {left, top, 0, 0}, TabCaptionWidth),
                 field);
  };

  TControlDef check;
  check.Name = "CheckBoxDrawLaunch" + block;
  check.Setting = block + ".DrawLaunch";
  check.Kind = TControlKind::CheckBox;
  check.Caption = "打ち上げ表示";
  check.Min = 0;
  check.Max = 1;
  check.Bounds = {9, 28, 97, 17};
  check = onTab(check, nullptr);
  check.Field.Flag = &TFireParam::DrawLaunch;
  table.push_back(check);

  TControlDef radio;
  radio.Name = "RadioGroupSeedSize" + block;
  radio.Setting = block + ".SeedSize";
  radio.Kind = TControlKind::RadioGroup;
  radio.Caption = "星のサイズ";
  radio.Min = 0;
  radio.Max = 2;
  radio.Bounds = {8, 53, 73, 72};
  table.push_back(onTab(radio, &TFireParam::SeedSize));

  TControlDef stars =
      spin("SeedCount", &TFireParam::SeedCount, "星の数", 20, 500, 10, "２０～５００", 92, 65);
  // A star count reads better as a bare number.
  stars.Thousands = false;
  table.push_back(stars);
  table.push_back(
      spin("V", &TFireParam::V, "初速度", 10, 1000, 10, "１０～１０００（爆発の強さ）", 92, 105));
  TControlDef length =
      spin("FireLength", &TFireParam::FireLength, "炎の長さ", 10, 600, 5, "１０～１００", 172, 65);
  // Peony stars draw no trails: their flame length is kept and saved, but
  // offering it for editing would promise an effect that never shows.
  length.Enabled = kind.Block != &TMyIniFile::Botan;
  table.push_back(length);
  table.push_back(spin("Life", &TFireParam::Life, "花火の寿命", 10, 300, 10,
                       "１０～３００（大きくするほど長寿命）", 172, 105));
  table.push_back(spin("dtFactor", &TFireParam::dtFactor, "計算間隔", 1, 100, 1,
                       "１～１００（大きくすると描画間隔が荒くなる）", 252, 64));
}

std::vector<TControlDef> BuildControlTable() {
  std::vector<TControlDef> t;
  t.reserve(ControlCount);
  t.push_back(
      GlobalSpin(&TMyIniFile::FireCount, "FireCount", "花火の数", 1, 10, 1, "１～１０", 24, 120));
  t.push_back(GlobalSpin(&TMyIniFile::gFactor, "gFactor", "重力の強さ", 0, 20, 1,
                         "０～２０（大きくするほど早く落下）", 24, 160));
  t.push_back(GlobalSpin(&TMyIniFile::kFactor, "kFactor", "空気抵抗", 0, 100, 10,
                         "０～１００（大きくするほ空気抵抗が大きくなる）", 24, 200));
  // The two spreads are never shown, but they ride along in every transfer so
  // that the dialog carries them through unchanged. They sit in the blank
  // band under the header, out of the way of everything else.
  TControlDef vNoise = GlobalSpin(&TMyIniFile::VNoise, "VNoise", "初速度ばらつき", 0, 100, 10,
                                  "０～１００（種の速度のばらつき）", 24, 64);
  vNoise.Visible = false;
  t.push_back(vNoise);
  TControlDef dNoise = GlobalSpin(&TMyIniFile::DNoise, "DNoise", "角度ばらつき", 0, 20, 1,
                                  "０～２０（爆発角度のばらつき）", 116, 64);
  dNoise.Visible = false;
  t.push_back(dNoise);

  t.push_back(
      Slider(&TMyIniFile::AllCastPer, "AllCast", "乱れ咲き", "様々な種類の花火を打ち上げます", 0));
  t.push_back(Slider(&TMyIniFile::ShidarePer, "Shidare", "しだれづくし",
                     "しだれ柳を連続して打ち上げます", 1));
  t.push_back(Slider(&TMyIniFile::HanaichiPer, "Hanaichi", "花の市",
                     "菊と牡丹を織り交ぜて打ち上げます", 2));
  t.push_back(Slider(&TMyIniFile::BotanPer, "Botan", "牡丹畑", "牡丹を連続して打ち上げます", 3));
  t.push_back(
      Slider(&TMyIniFile::RanbuPer, "Ranbu", "炎の乱舞", "飛遊星と蜂を織り交ぜて打ち上げます", 4));

  for (int tab = 0; tab < static_cast<int>(Kinds.size()); ++tab) AddKindControls(t, tab);
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
    for (const TKindRow& kind : Kinds)
      t.push_back({std::string("TabSheet") + kind.Name,
                   kind.Name,
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

const std::vector<std::string>& TabOrder() {
  static const std::vector<std::string> order = [] {
    std::vector<std::string> o{"ButtonOk",      "ButtonInitial", "ButtonCancel", "UpDownFireCount",
                               "UpDowngFactor", "UpDownkFactor", "PageControl"};
    for (const TKindRow& kind : Kinds) {
      const std::string b = kind.Name;
      for (const char* name : {"CheckBoxDrawLaunch", "RadioGroupSeedSize", "UpDownSeedCount",
                               "UpDownFireLength", "UpDowndtFactor", "UpDownV", "UpDownLife"})
        o.push_back(name + b);
    }
    o.push_back("GroupBoxTheme");
    for (const char* theme : {"AllCast", "Shidare", "Hanaichi", "Botan", "Ranbu"})
      o.push_back(std::string("TrackBar") + theme);
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
  }
  return field;
}

TControlValues LoadControls(const TMyIniFile& settings) {
  TControlValues values{};
  const auto& table = ControlTable();
  for (std::size_t i = 0; i < ControlCount; ++i)
    values[i] = ControlValueFromSetting(i, table[i].Field.Get(settings));
  return values;
}

void StoreControl(std::size_t index, std::int32_t value, TMyIniFile& settings) {
  const TControlDef& c = ControlTable().at(index);
  if (c.Kind == TControlKind::SpinBox) value = WidenSpinPosition(SpinPosition(value));
  c.Field.Set(settings, value);
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

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

TParsedSpinText ParseSpinText(const TControlDef& c, std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  TParsedSpinText r;
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) {
    r.State = TSpinTextState::Intermediate;
    return r;
  }
  // Past this many digits every range is far behind; saturating keeps the
  // arithmetic inside 64 bits however long the typed text is.
  constexpr std::int64_t Saturated = 1'000'000'000'000LL;
  bool digits = false;
  std::int64_t value = 0;
  for (char ch : text) {
    if (ch >= '0' && ch <= '9') {
      digits = true;
      value = std::min(Saturated, value * 10 + (ch - '0'));
    } else if (ch == ',' && c.Thousands && digits) {
      continue;
    } else {
      return r;
    }
  }
  r.IsNumber = true;
  r.Value = negative ? -value : value;
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
