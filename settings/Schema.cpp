#include "settings/Schema.h"

#include <array>

namespace moonglow {

namespace {

using K = TControlKind;
using M = TMyIniFile;
using F = TFireParam;

constexpr const char* Environment = "Environment";
constexpr const char* Theme = "Theme";

// A slider of the theme group: its row's place and the group's rules.
constexpr TControlSpec ThemeSlider(const char* caption, const char* hint, int row) {
  return {.Kind = K::Slider,
          .Min = 0,
          .Max = 100,
          .Step = 10,
          .Caption = caption,
          .Hint = hint,
          .Place = TPlace::ThemeGroup,
          .Bounds = {71, 28 + 20 * row, 150, 17}};
}

// 10 is the size of the show's slot table. The two spreads are never shown,
// but they ride along in every transfer so that the dialog carries them
// through unchanged; they sit in the blank band under the header.
const std::array<TSettingRow, 11> Globals{{
    {Environment, "FirstRun", {.GlobalFlag = &M::FirstRun}, 1, NoFloor, NoLimit, {}, false, {}},
    {Environment,
     "FireCount",
     {.Global = &M::FireCount},
     5,
     1,
     10,
     {},
     true,
     {K::SpinBox, 1, 10, 1, "花火の数", "１～１０", TPlace::Form, {24, 120}}},
    {Environment,
     "gFactor",
     {.Global = &M::gFactor},
     3,
     0,
     NoLimit,
     {},
     true,
     {K::SpinBox,
      0,
      20,
      1,
      "重力の強さ",
      "０～２０（大きくするほど早く落下）",
      TPlace::Form,
      {24, 160}}},
    {Environment,
     "kFactor",
     {.Global = &M::kFactor},
     10,
     0,
     NoLimit,
     {},
     true,
     {K::SpinBox,
      0,
      100,
      10,
      "空気抵抗",
      "０～１００（大きくするほ空気抵抗が大きくなる）",
      TPlace::Form,
      {24, 200}}},
    {Environment,
     "VNoise",
     {.Global = &M::VNoise},
     10,
     0,
     NoLimit,
     {},
     true,
     {K::SpinBox,
      0,
      100,
      10,
      "初速度ばらつき",
      "０～１００（種の速度のばらつき）",
      TPlace::Form,
      {24, 64},
      false}},
    {Environment,
     "DNoise",
     {.Global = &M::DNoise},
     5,
     0,
     NoLimit,
     {},
     true,
     {K::SpinBox,
      0,
      20,
      1,
      "角度ばらつき",
      "０～２０（爆発角度のばらつき）",
      TPlace::Form,
      {116, 64},
      false}},
    {Theme,
     "AllCastPer",
     {.Global = &M::AllCastPer},
     40,
     0,
     100,
     {},
     true,
     ThemeSlider("乱れ咲き", "様々な種類の花火を打ち上げます", 0)},
    {Theme,
     "ShidarePer",
     {.Global = &M::ShidarePer},
     80,
     0,
     100,
     {},
     true,
     ThemeSlider("しだれづくし", "しだれ柳を連続して打ち上げます", 1)},
    {Theme,
     "HanaichiPer",
     {.Global = &M::HanaichiPer},
     60,
     0,
     100,
     {},
     true,
     ThemeSlider("花の市", "菊と牡丹を織り交ぜて打ち上げます", 2)},
    {Theme,
     "BotanPer",
     {.Global = &M::BotanPer},
     40,
     0,
     100,
     {},
     true,
     ThemeSlider("牡丹畑", "牡丹を連続して打ち上げます", 3)},
    {Theme,
     "RanbuPer",
     {.Global = &M::RanbuPer},
     50,
     0,
     100,
     {},
     true,
     ThemeSlider("炎の乱舞", "飛遊星と蜂を織り交ぜて打ち上げます", 4)},
}};

// The fallbacks are the same for every kind, whatever the kind's defaults:
// 500 stars and 600 trail slots are the sizes of a shell's arrays. The
// flame-length hint promises less than the box offers, as it always has.
const std::array<TSettingRow, 7> Block{{
    {nullptr,
     "DrawLaunch",
     {.Flag = &F::DrawLaunch},
     0,
     NoFloor,
     NoLimit,
     {},
     true,
     {.Kind = K::CheckBox,
      .Max = 1,
      .Caption = "打ち上げ表示",
      .Place = TPlace::Tab,
      .Bounds = {9, 28, 97, 17}}},
    {nullptr,
     "SeedSize",
     {.Int = &F::SeedSize},
     0,
     0,
     2,
     0,
     true,
     {.Kind = K::RadioGroup,
      .Max = 2,
      .Caption = "星のサイズ",
      .Place = TPlace::Tab,
      .Bounds = {8, 53, 73, 72}}},
    // A star count reads better as a bare number.
    {nullptr,
     "SeedCount",
     {.Int = &F::SeedCount},
     0,
     1,
     500,
     200,
     true,
     {K::SpinBox, 20, 500, 10, "星の数", "２０～５００", TPlace::Tab, {92, 65}, true, false}},
    {nullptr,
     "V",
     {.Int = &F::V},
     0,
     1,
     NoLimit,
     400,
     true,
     {K::SpinBox, 10, 1000, 10, "初速度", "１０～１０００（爆発の強さ）", TPlace::Tab, {92, 105}}},
    {nullptr,
     "FireLength",
     {.Int = &F::FireLength},
     0,
     1,
     599,
     200,
     true,
     {K::SpinBox, 10, 600, 5, "炎の長さ", "１０～１００", TPlace::Tab, {172, 65}},
     true},
    {nullptr,
     "Life",
     {.Int = &F::Life},
     0,
     1,
     NoLimit,
     200,
     true,
     {K::SpinBox,
      10,
      300,
      10,
      "花火の寿命",
      "１０～３００（大きくするほど長寿命）",
      TPlace::Tab,
      {172, 105}}},
    {nullptr,
     "dtFactor",
     {.Int = &F::dtFactor},
     0,
     1,
     NoLimit,
     10,
     true,
     {K::SpinBox,
      1,
      100,
      1,
      "計算間隔",
      "１～１００（大きくすると描画間隔が荒くなる）",
      TPlace::Tab,
      {252, 64}}},
}};

// Peony stars draw no trails.
const std::array<TKindRow, 5> Kinds{{
    //                                        DrawLaunch SeedSize SeedCount V FireLength Life dt
    {"Kiku",
     &M::Kiku,
     "しだれ柳",
     "長い尾を引き、花弁が長く垂れ落ちて行く花火です。",
     {true, 0, 150, 600, 250, 300, 10},
     true},
    {"Kiku3",
     &M::Kiku3,
     "菊",
     "全体で四重の同心円からなる菊花型の花火です。",
     {true, 0, 150, 400, 100, 200, 10},
     true},
    {"Botan",
     &M::Botan,
     "牡丹",
     "尾を引かず、光の点だけで形作られた花火です。",
     {false, 0, 250, 300, 100, 40, 10},
     false},
    {"Hiyuusei",
     &M::Hiyuusei,
     "飛遊星",
     "星が様々な方向に飛んでいく花火です。",
     {false, 0, 40, 200, 400, 300, 3},
     true},
    {"Hachi",
     &M::Hachi,
     "蜂",
     "星が回転しながらランダムに飛び回る花火です。",
     {false, 0, 50, 30, 200, 300, 10},
     true},
}};

// Check box, radio group, then the upper row of fields and the lower.
constexpr std::array<std::size_t, 7> TabOrderOfBlock{0, 1, 2, 4, 6, 3, 5};

}  // namespace

std::span<const TSettingRow> GlobalRows() { return Globals; }
std::span<const TSettingRow> BlockRows() { return Block; }
std::span<const TKindRow> KindRows() { return Kinds; }
std::span<const std::size_t> BlockTabOrder() { return TabOrderOfBlock; }

std::int32_t BlockField(const TFireParam& block, const TSettingRow& row) {
  return row.Field.Flag ? (block.*row.Field.Flag ? 1 : 0) : block.*row.Field.Int;
}

void SetBlockField(TFireParam& block, const TSettingRow& row, std::int32_t value) {
  if (row.Field.Flag)
    block.*row.Field.Flag = value != 0;
  else
    block.*row.Field.Int = value;
}

std::int32_t GetSetting(const TMyIniFile& settings, const TSettingRow& row, const TKindRow* kind) {
  const TSettingField& f = row.Field;
  if (f.Global) return settings.*f.Global;
  if (f.GlobalFlag) return settings.*f.GlobalFlag ? 1 : 0;
  return BlockField(settings.*kind->Block, row);
}

void SetSetting(TMyIniFile& settings, const TSettingRow& row, const TKindRow* kind,
                std::int32_t value) {
  const TSettingField& f = row.Field;
  if (f.Global)
    settings.*f.Global = value;
  else if (f.GlobalFlag)
    settings.*f.GlobalFlag = value != 0;
  else
    SetBlockField(settings.*kind->Block, row, value);
}

std::int32_t DefaultOf(const TSettingRow& row, const TKindRow* kind) {
  return row.Field.InBlock() ? BlockField(kind->Defaults, row) : row.Default;
}

}  // namespace moonglow
