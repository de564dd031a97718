#include "settings/Schema.h"

#include <array>

namespace moonglow {

namespace {

using K = TControlKind;
using M = TMyIniFile;
using F = TFireParam;

constexpr const char* Environment = "Environment";
constexpr const char* Theme = "Theme";

constexpr TControlSpec Spin(std::int32_t min, std::int32_t max, std::int32_t step,
                            const char* caption, const char* hint, TPlace place, TBounds at) {
  return {K::SpinBox, min, max, step, caption, hint, place, at};
}

// A slider of the theme group, in row `row`.
constexpr TControlSpec ThemeSlider(const char* caption, const char* hint, int row) {
  return {K::Slider, 0, 100, 10, caption, hint, TPlace::ThemeGroup, {71, 28 + 20 * row, 150, 17}};
}

constexpr TControlSpec Hidden(TControlSpec spec) {
  spec.Visible = false;
  return spec;
}

constexpr TControlSpec BareNumber(TControlSpec spec) {
  spec.Thousands = false;
  return spec;
}

constexpr TPlace OnForm = TPlace::Form;
constexpr TPlace OnTab = TPlace::Tab;
constexpr std::optional<std::int32_t> ItsDefault;

// 10 is the size of the show's slot table. The two spreads are never shown,
// but they ride along in every transfer so that the dialog carries them
// through unchanged; they sit in the blank band under the header.
// clang-format off
const std::array<TSettingRow, 11> Globals{{
//  Section      Key            Field                         Default  File range  Fallback  Stored
    {Environment, "FirstRun",   {.GlobalFlag = &M::FirstRun},   1, NoFloor, NoLimit, ItsDefault, false, {}},
    {Environment, "FireCount",  {.Global = &M::FireCount},      5, 1, 10,            ItsDefault, true,
     Spin(1, 10, 1, "花火の数", "１～１０", OnForm, {24, 120})},
    {Environment, "gFactor",    {.Global = &M::gFactor},        3, 0, NoLimit,       ItsDefault, true,
     Spin(0, 20, 1, "重力の強さ", "０～２０（大きくするほど早く落下）", OnForm, {24, 160})},
    {Environment, "kFactor",    {.Global = &M::kFactor},       10, 0, NoLimit,       ItsDefault, true,
     Spin(0, 100, 10, "空気抵抗", "０～１００（大きくするほ空気抵抗が大きくなる）", OnForm, {24, 200})},
    {Environment, "VNoise",     {.Global = &M::VNoise},        10, 0, NoLimit,       ItsDefault, true,
     Hidden(Spin(0, 100, 10, "初速度ばらつき", "０～１００（種の速度のばらつき）", OnForm, {24, 64}))},
    {Environment, "DNoise",     {.Global = &M::DNoise},         5, 0, NoLimit,       ItsDefault, true,
     Hidden(Spin(0, 20, 1, "角度ばらつき", "０～２０（爆発角度のばらつき）", OnForm, {116, 64}))},
    {Theme,       "AllCastPer", {.Global = &M::AllCastPer},    40, 0, 100,           ItsDefault, true,
     ThemeSlider("乱れ咲き", "様々な種類の花火を打ち上げます", 0)},
    {Theme,       "ShidarePer", {.Global = &M::ShidarePer},    80, 0, 100,           ItsDefault, true,
     ThemeSlider("しだれづくし", "しだれ柳を連続して打ち上げます", 1)},
    {Theme,       "HanaichiPer", {.Global = &M::HanaichiPer},  60, 0, 100,           ItsDefault, true,
     ThemeSlider("花の市", "菊と牡丹を織り交ぜて打ち上げます", 2)},
    {Theme,       "BotanPer",   {.Global = &M::BotanPer},      40, 0, 100,           ItsDefault, true,
     ThemeSlider("牡丹畑", "牡丹を連続して打ち上げます", 3)},
    {Theme,       "RanbuPer",   {.Global = &M::RanbuPer},      50, 0, 100,           ItsDefault, true,
     ThemeSlider("炎の乱舞", "飛遊星と蜂を織り交ぜて打ち上げます", 4)},
}};

// The fallbacks are the same for every kind, whatever the kind's defaults:
// 500 stars and 600 trail slots are the sizes of a shell's arrays. A star
// count reads better as a bare number. The flame-length hint promises less
// than the box offers, as it always has.
const std::array<TSettingRow, 7> Block{{
//  Section  Key           Field                       Default  File range  Fallback  Stored
    {nullptr, "DrawLaunch", {.Flag = &F::DrawLaunch},  0, NoFloor, NoLimit, ItsDefault, true,
     {K::CheckBox, 0, 1, 1, "打ち上げ表示", "", OnTab, {9, 28, 97, 17}}},
    {nullptr, "SeedSize",   {.Int = &F::SeedSize},     0, 0, 2,             0,          true,
     {K::RadioGroup, 0, 2, 1, "星のサイズ", "", OnTab, {8, 53, 73, 72}}},
    {nullptr, "SeedCount",  {.Int = &F::SeedCount},    0, 1, 500,           200,        true,
     BareNumber(Spin(20, 500, 10, "星の数", "２０～５００", OnTab, {92, 65}))},
    {nullptr, "V",          {.Int = &F::V},            0, 1, NoLimit,       400,        true,
     Spin(10, 1000, 10, "初速度", "１０～１０００（爆発の強さ）", OnTab, {92, 105})},
    {nullptr, "FireLength", {.Int = &F::FireLength},   0, 1, 599,           200,        true,
     Spin(10, 600, 5, "炎の長さ", "１０～１００", OnTab, {172, 65}), true},
    {nullptr, "Life",       {.Int = &F::Life},         0, 1, NoLimit,       200,        true,
     Spin(10, 300, 10, "花火の寿命", "１０～３００（大きくするほど長寿命）", OnTab, {172, 105})},
    {nullptr, "dtFactor",   {.Int = &F::dtFactor},     0, 1, NoLimit,       10,         true,
     Spin(1, 100, 1, "計算間隔", "１～１００（大きくすると描画間隔が荒くなる）", OnTab, {252, 64})},
}};

// Peony stars draw no trails.
const std::array<TKindRow, 5> Kinds{{
//  Section     Block           Tab caption  Description
//  Defaults: DrawLaunch, SeedSize, SeedCount, V, FireLength, Life, dtFactor        Trails
    {"Kiku",     &M::Kiku,     "しだれ柳", "長い尾を引き、花弁が長く垂れ落ちて行く花火です。",
     {true,  0, 150, 600, 250, 300, 10}, true},
    {"Kiku3",    &M::Kiku3,    "菊",       "全体で四重の同心円からなる菊花型の花火です。",
     {true,  0, 150, 400, 100, 200, 10}, true},
    {"Botan",    &M::Botan,    "牡丹",     "尾を引かず、光の点だけで形作られた花火です。",
     {false, 0, 250, 300, 100,  40, 10}, false},
    {"Hiyuusei", &M::Hiyuusei, "飛遊星",   "星が様々な方向に飛んでいく花火です。",
     {false, 0,  40, 200, 400, 300,  3}, true},
    {"Hachi",    &M::Hachi,    "蜂",       "星が回転しながらランダムに飛び回る花火です。",
     {false, 0,  50,  30, 200, 300, 10}, true},
}};
// clang-format on

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
