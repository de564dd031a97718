#include "settings/OptDlgModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace moonglow {
namespace {

using K = TControlKind;

const char* const Blocks[] = {"Kiku", "Kiku3", "Botan", "Hiyuusei", "Hachi"};

const TControlDef& Control(const std::string& name) {
  const std::size_t i = FindControl(name);
  EXPECT_LT(i, ControlCount) << name;
  return ControlTable().at(i);
}

bool Overlap(const TBounds& a, const TBounds& b) {
  return a.Left < b.Left + b.Width && b.Left < a.Left + a.Width && a.Top < b.Top + b.Height &&
         b.Top < a.Top + a.Height;
}

bool Inside(const TBounds& r, int width, int height) {
  return r.Left >= 0 && r.Top >= 0 && r.Left + r.Width <= width && r.Top + r.Height <= height;
}

// ---------------------------------------------------------------------------
// ControlTable: the controls as the dialog offers them.

TEST(ControlTable, TransferOrderWalksEverySettingOnce) {
  std::vector<std::string> expected{"FireCount", "gFactor",    "kFactor",    "VNoise",
                                    "DNoise",    "AllCastPer", "ShidarePer", "HanaichiPer",
                                    "BotanPer",  "RanbuPer"};
  for (const char* b : Blocks)
    for (const char* f :
         {"DrawLaunch", "SeedSize", "SeedCount", "V", "FireLength", "Life", "dtFactor"})
      expected.push_back(std::string(b) + "." + f);

  ASSERT_EQ(ControlTable().size(), ControlCount);
  ASSERT_EQ(expected.size(), ControlCount);
  std::set<std::string> names;
  for (std::size_t i = 0; i < ControlCount; ++i) {
    EXPECT_EQ(ControlTable()[i].Setting, expected[i]) << i;
    EXPECT_TRUE(names.insert(ControlTable()[i].Name).second) << ControlTable()[i].Name;
  }
}

struct TExpected {
  std::string Name;
  K Kind;
  int Min, Max, Step;
  std::string Hint;
  bool Thousands;
};

TEST(ControlTable, GlobalRangesStepsAndHints) {
  const std::vector<TExpected> rows{
      {"UpDownFireCount", K::SpinBox, 1, 10, 1, "１～１０", true},
      {"UpDowngFactor", K::SpinBox, 0, 20, 1, "０～２０（大きくするほど早く落下）", true},
      {"UpDownkFactor", K::SpinBox, 0, 100, 10, "０～１００（大きくするほ空気抵抗が大きくなる）",
       true},
      {"UpDownVNoise", K::SpinBox, 0, 100, 10, "０～１００（種の速度のばらつき）", true},
      {"UpDownDNoise", K::SpinBox, 0, 20, 1, "０～２０（爆発角度のばらつき）", true},
      {"TrackBarAllCast", K::Slider, 0, 100, 10, "様々な種類の花火を打ち上げます", false},
      {"TrackBarShidare", K::Slider, 0, 100, 10, "しだれ柳を連続して打ち上げます", false},
      {"TrackBarHanaichi", K::Slider, 0, 100, 10, "菊と牡丹を織り交ぜて打ち上げます", false},
      {"TrackBarBotan", K::Slider, 0, 100, 10, "牡丹を連続して打ち上げます", false},
      {"TrackBarRanbu", K::Slider, 0, 100, 10, "飛遊星と蜂を織り交ぜて打ち上げます", false},
  };
  for (const TExpected& e : rows) {
    const TControlDef& c = Control(e.Name);
    EXPECT_EQ(c.Kind, e.Kind) << e.Name;
    EXPECT_EQ(c.Min, e.Min) << e.Name;
    EXPECT_EQ(c.Max, e.Max) << e.Name;
    EXPECT_EQ(c.Step, e.Step) << e.Name;
    EXPECT_EQ(c.Hint, e.Hint) << e.Name;
    if (c.Kind == K::SpinBox) {
      EXPECT_EQ(c.Thousands, e.Thousands) << e.Name;
    }
    if (c.Kind == K::Slider) {
      EXPECT_EQ(c.PageStep, 20) << e.Name;
      EXPECT_EQ(c.TickEvery, 10) << e.Name;
      EXPECT_EQ(c.Place, TPlace::ThemeGroup) << e.Name;
    }
  }
  EXPECT_EQ(Control("UpDownFireCount").Caption, "花火の数");
  EXPECT_EQ(Control("UpDowngFactor").Caption, "重力の強さ");
  EXPECT_EQ(Control("UpDownkFactor").Caption, "空気抵抗");
  EXPECT_EQ(Control("UpDownVNoise").Caption, "初速度ばらつき");
  EXPECT_EQ(Control("UpDownDNoise").Caption, "角度ばらつき");
  EXPECT_EQ(Control("TrackBarShidare").Caption, "しだれづくし");
  EXPECT_EQ(Control("TrackBarRanbu").Caption, "炎の乱舞");
}

TEST(ControlTable, EveryTabCarriesTheSameControls) {
  const std::vector<TExpected> rows{
      {"CheckBoxDrawLaunch", K::CheckBox, 0, 1, 1, "", false},
      {"RadioGroupSeedSize", K::RadioGroup, 0, 2, 1, "", false},
      {"UpDownSeedCount", K::SpinBox, 20, 500, 10, "２０～５００", false},
      {"UpDownFireLength", K::SpinBox, 10, 600, 5, "１０～１００", true},
      {"UpDowndtFactor", K::SpinBox, 1, 100, 1, "１～１００（大きくすると描画間隔が荒くなる）",
       true},
      {"UpDownV", K::SpinBox, 10, 1000, 10, "１０～１０００（爆発の強さ）", true},
      {"UpDownLife", K::SpinBox, 10, 300, 10, "１０～３００（大きくするほど長寿命）", true},
  };
  for (int tab = 0; tab < 5; ++tab) {
    for (const TExpected& e : rows) {
      const std::string name = e.Name + Blocks[tab];
      const TControlDef& c = Control(name);
      EXPECT_EQ(c.Kind, e.Kind) << name;
      EXPECT_EQ(c.Min, e.Min) << name;
      EXPECT_EQ(c.Max, e.Max) << name;
      if (c.Kind == K::SpinBox) {
        EXPECT_EQ(c.Step, e.Step) << name;
        EXPECT_EQ(c.Thousands, e.Thousands) << name;
      }
      EXPECT_EQ(c.Hint, e.Hint) << name;
      EXPECT_EQ(c.Place, TPlace::Tab) << name;
      EXPECT_EQ(c.Tab, tab) << name;
    }
    EXPECT_EQ(Control(std::string("CheckBoxDrawLaunch") + Blocks[tab]).Caption, "打ち上げ表示");
    EXPECT_EQ(Control(std::string("RadioGroupSeedSize") + Blocks[tab]).Caption, "星のサイズ");
    EXPECT_EQ(Control(std::string("UpDownLife") + Blocks[tab]).Caption, "花火の寿命");
  }
  EXPECT_EQ(RadioItems()[0], "小");
  EXPECT_EQ(RadioItems()[1], "大");
  EXPECT_EQ(RadioItems()[2], "ﾗﾝﾀﾞﾑ");
  std::vector<std::string> tabs;
  for (const TTabDef& tab : TabTable()) tabs.push_back(tab.Caption);
  EXPECT_EQ(tabs, (std::vector<std::string>{"しだれ柳", "菊", "牡丹", "飛遊星", "蜂"}));
  EXPECT_EQ(TabTable()[2].Block, "Botan");
  EXPECT_EQ(TabTable()[4].Description, "星が回転しながらランダムに飛び回る花火です。");
}

TEST(ControlTable, OnlyTheSpreadsAreHiddenAndOnlyThePeonyFlameDisabled) {
  for (const TControlDef& c : ControlTable()) {
    const bool spread = c.Name == "UpDownVNoise" || c.Name == "UpDownDNoise";
    EXPECT_EQ(c.Visible, !spread) << c.Name;
    EXPECT_EQ(c.Enabled, c.Name != "UpDownFireLengthBotan") << c.Name;
  }
}

TEST(ControlTable, LayoutMatchesTheDialogGrid) {
  EXPECT_EQ(ClientWidth, 367);
  EXPECT_EQ(ClientHeight, 434);
  // Every spin box: a 49×20 field, its 15×20 up-down flush right of it, the
  // caption one text line above.
  for (const TControlDef& c : ControlTable()) {
    if (c.Kind != K::SpinBox) continue;
    EXPECT_EQ(c.Bounds.Width, 49) << c.Name;
    EXPECT_EQ(c.Bounds.Height, 20) << c.Name;
    EXPECT_EQ(c.SpinBounds.Left, c.Bounds.Left + 49) << c.Name;
    EXPECT_EQ(c.SpinBounds.Top, c.Bounds.Top) << c.Name;
    EXPECT_EQ(c.SpinBounds.Width, 15) << c.Name;
    EXPECT_EQ(c.SpinBounds.Height, 20) << c.Name;
    EXPECT_EQ(c.CaptionBounds.Left, c.Bounds.Left) << c.Name;
    EXPECT_EQ(c.CaptionBounds.Top, c.Bounds.Top - 12) << c.Name;
  }
  EXPECT_EQ(Control("UpDownFireCount").Bounds.Top, 120);
  EXPECT_EQ(Control("UpDowngFactor").Bounds.Top, 160);
  EXPECT_EQ(Control("UpDownkFactor").SpinBounds.Left, 73);
  EXPECT_EQ(Control("UpDowndtFactorHachi").Bounds.Left, 252);
  EXPECT_EQ(Control("UpDowndtFactorHachi").Bounds.Top, 64);
  EXPECT_EQ(Control("UpDownLifeKiku3").Bounds.Left, 172);
  EXPECT_EQ(Control("UpDownLifeKiku3").Bounds.Top, 105);
  EXPECT_EQ(Control("TrackBarRanbu").Bounds.Top, 108);
  EXPECT_EQ(ButtonTable()[ButtonInitial].Bounds.Left, 188);
  EXPECT_EQ(ButtonTable()[ButtonOk].Caption, "OK");
  EXPECT_EQ(ButtonTable()[ButtonCancel].Caption, "ｷｬﾝｾﾙ");
  EXPECT_EQ(ButtonTable()[ButtonInitial].Caption, "初期値");
  EXPECT_TRUE(ButtonTable()[ButtonCancel].Default);
  EXPECT_TRUE(ButtonTable()[ButtonCancel].Cancel);
  EXPECT_FALSE(ButtonTable()[ButtonOk].Default);
}

TEST(ControlTable, VisibleControlsNeitherOverlapNorLeaveTheirParent) {
  // A page of the tabbed control is at least this big once the tab strip and
  // the frame are taken off; the group box's size is its own.
  const int pageWidth = PageControlFrame().Bounds.Width - 8;
  const int pageHeight = PageControlFrame().Bounds.Height - 30;
  struct TPlaced {
    std::string Name;
    TPlace Place;
    int Tab;
    TBounds Rect;
  };
  std::vector<TPlaced> placed;
  for (const TControlDef& c : ControlTable()) {
    if (!c.Visible) continue;
    placed.push_back({c.Name, c.Place, c.Tab, c.Bounds});
    if (c.Kind == K::SpinBox) placed.push_back({c.Name + "/updown", c.Place, c.Tab, c.SpinBounds});
    if (c.Kind == K::SpinBox || c.Kind == K::Slider)
      placed.push_back({c.Name + "/caption", c.Place, c.Tab, c.CaptionBounds});
  }
  for (const TStaticDef& s : StaticTable()) placed.push_back({s.Name, s.Place, s.Tab, s.Bounds});
  for (int tab = 0; tab < static_cast<int>(TabTable().size()); ++tab) {
    const TTabDef& t = TabTable()[static_cast<std::size_t>(tab)];
    placed.push_back({t.Name + "/description", TPlace::Tab, tab, t.DescriptionBounds});
  }
  for (const TButtonDef& b : ButtonTable()) placed.push_back({b.Name, TPlace::Form, -1, b.Bounds});
  // The rule is drawn along its top edge; the group box may start inside its
  // rectangle.
  for (const TFrameDef* f : {&IconFrame(), &ThemeGroupFrame(), &PageControlFrame()})
    placed.push_back({f->Name, TPlace::Form, -1, f->Bounds});
  EXPECT_TRUE(Inside(RuleFrame().Bounds, ClientWidth, ClientHeight));

  const TBounds group = ThemeGroupFrame().Bounds;
  for (const TPlaced& p : placed) {
    if (p.Place == TPlace::Form) {
      EXPECT_TRUE(Inside(p.Rect, ClientWidth, ClientHeight)) << p.Name;
    }
    if (p.Place == TPlace::ThemeGroup) {
      EXPECT_TRUE(Inside(p.Rect, group.Width, group.Height)) << p.Name;
    }
    if (p.Place == TPlace::Tab) {
      EXPECT_TRUE(Inside(p.Rect, pageWidth, pageHeight)) << p.Name;
    }
  }
  for (std::size_t i = 0; i < placed.size(); ++i)
    for (std::size_t j = i + 1; j < placed.size(); ++j)
      if (placed[i].Place == placed[j].Place && placed[i].Tab == placed[j].Tab) {
        EXPECT_FALSE(Overlap(placed[i].Rect, placed[j].Rect))
            << placed[i].Name << " overlaps " << placed[j].Name;
      }
  for (int item = 0; item < 3; ++item) {
    const TBounds radio = Control("RadioGroupSeedSizeKiku").Bounds;
    const TBounds r = RadioItemBounds(radio, item);
    EXPECT_TRUE(Inside(r, radio.Width, radio.Height)) << item;
    EXPECT_GE(r.Height, 12) << item;
  }
}

TEST(ControlTable, TabOrderNamesEveryVisibleControlOnce) {
  const auto& order = TabOrder();
  ASSERT_GE(order.size(), 7u);
  EXPECT_EQ(order[0], "ButtonOk");
  EXPECT_EQ(order[1], "ButtonInitial");
  EXPECT_EQ(order[2], "ButtonCancel");
  EXPECT_EQ(order[3], "UpDownFireCount");
  EXPECT_EQ(order[6], "PageControl");
  std::set<std::string> seen(order.begin(), order.end());
  EXPECT_EQ(seen.size(), order.size());
  for (const TControlDef& c : ControlTable()) EXPECT_EQ(seen.count(c.Name), c.Visible ? 1u : 0u);
  // The tabs come before the theme group.
  const auto pos = [&](const std::string& n) { return std::find(order.begin(), order.end(), n); };
  EXPECT_LT(pos("UpDownLifeHachi"), pos("GroupBoxTheme"));
  EXPECT_LT(pos("GroupBoxTheme"), pos("TrackBarAllCast"));
}

// ---------------------------------------------------------------------------
// Transfer: record ⇄ control values.

// A record whose every field holds a value distinct from its neighbours and
// inside every control's range, set field by field.
TMyIniFile DistinctRecord() {
  TMyIniFile s{std::string()};
  s.FireCount = 7;
  s.gFactor = 11;
  s.kFactor = 30;
  s.VNoise = 40;
  s.DNoise = 12;
  s.AllCastPer = 10;
  s.ShidarePer = 20;
  s.HanaichiPer = 30;
  s.BotanPer = 0;
  s.RanbuPer = 100;
  int base = 100;
  for (TFireParam* p : {&s.Kiku, &s.Kiku3, &s.Botan, &s.Hiyuusei, &s.Hachi}) {
    p->DrawLaunch = base % 200 == 0;
    p->SeedSize = (base / 100) % 3;
    p->SeedCount = base + 1;
    p->V = base + 2;
    p->FireLength = base + 3;
    p->Life = base / 2 + 4;
    p->dtFactor = base / 10 + 5;
    base += 100;
  }
  return s;
}

TEST(Transfer, LoadPutsEachFieldInItsControl) {
  const TControlValues v = LoadControls(DistinctRecord());
  const TControlValues expected{7, 11, 30,  40,  12,  10,  20, 30, 0, 100,  // globals, themes
                                0, 1,  101, 102, 103, 54,  15,              // Kiku
                                1, 2,  201, 202, 203, 104, 25,              // Kiku3
                                0, 0,  301, 302, 303, 154, 35,              // Botan
                                1, 1,  401, 402, 403, 204, 45,              // Hiyuusei
                                0, 2,  500, 502, 503, 254, 55};             // Hachi
  for (std::size_t i = 0; i < ControlCount; ++i)
    EXPECT_EQ(v[i], expected[i]) << ControlTable()[i].Name;
}

TEST(Transfer, SaveThenLoadRestoresEveryField) {
  const TMyIniFile original = DistinctRecord();
  TMyIniFile copy{std::string()};
  SaveControls(LoadControls(original), copy);
  EXPECT_EQ(copy.FireCount, 7);
  EXPECT_EQ(copy.DNoise, 12);
  EXPECT_EQ(copy.RanbuPer, 100);
  EXPECT_TRUE(copy.Kiku3.DrawLaunch);
  EXPECT_FALSE(copy.Botan.DrawLaunch);
  EXPECT_EQ(copy.Hiyuusei.SeedSize, 1);
  EXPECT_EQ(copy.Hiyuusei.Life, 204);
  EXPECT_EQ(copy.Hachi.dtFactor, 55);
  EXPECT_EQ(copy.Kiku.FireLength, 103);
  // 501 is beyond the star-count box, which shows 500 and so saves 500.
  EXPECT_EQ(copy.Hachi.SeedCount, 500);
  EXPECT_FALSE(copy.FirstRun);
}

TEST(Transfer, SpinPositionsAreSixteenBits) {
  EXPECT_EQ(SpinPosition(70000), 4464);
  EXPECT_EQ(SpinPosition(-1), -1);
  EXPECT_EQ(SpinPosition(32768), -32768);
  EXPECT_EQ(SpinPosition(65541), 5);
  EXPECT_EQ(SpinPosition(INT32_MIN), 0);
  EXPECT_EQ(WidenSpinPosition(SpinPosition(-1)), -1);
  EXPECT_EQ(WidenSpinPosition(SpinPosition(4464)), 4464);

  TMyIniFile s{std::string()};
  s.kFactor = -1;
  StoreControl(FindControl("UpDownkFactor"), -1, s);
  EXPECT_EQ(s.kFactor, -1);
  StoreControl(FindControl("UpDownkFactor"), 70000, s);
  EXPECT_EQ(s.kFactor, 4464);
}

TEST(Transfer, LoadTakesSixteenBitsThenClampsIntoTheBox) {
  TMyIniFile s = DistinctRecord();
  s.Kiku.V = 70000;         // 4464, beyond 1000
  s.gFactor = 65541;        // 5: wrapped into range, not clamped to 20
  s.kFactor = 65536 + 250;  // 250, beyond 100
  s.Kiku3.V = 32768;        // -32768, below 10
  s.Botan.SeedCount = 5;    // below 20
  s.FireCount = 0;
  const TControlValues v = LoadControls(s);
  EXPECT_EQ(v[FindControl("UpDownVKiku")], 1000);
  EXPECT_EQ(v[FindControl("UpDowngFactor")], 5);
  EXPECT_EQ(v[FindControl("UpDownkFactor")], 100);
  EXPECT_EQ(v[FindControl("UpDownVKiku3")], 10);
  EXPECT_EQ(v[FindControl("UpDownSeedCountBotan")], 20);
  EXPECT_EQ(v[FindControl("UpDownFireCount")], 1);
  // A flame length of 600 is inside the box and stays 600.
  s.Kiku.FireLength = 600;
  EXPECT_EQ(LoadControls(s)[FindControl("UpDownFireLengthKiku")], 600);
}

TEST(Transfer, SlidersStoreAtOnceAndCheckBoxesStoreTruth) {
  TMyIniFile s = DistinctRecord();
  StoreControl(FindControl("TrackBarHanaichi"), 0, s);
  EXPECT_EQ(s.HanaichiPer, 0);
  EXPECT_EQ(s.AllCastPer, 10);  // the others keep their own weights
  StoreControl(FindControl("CheckBoxDrawLaunchHachi"), 1, s);
  EXPECT_TRUE(s.Hachi.DrawLaunch);
  StoreControl(FindControl("RadioGroupSeedSizeBotan"), 2, s);
  EXPECT_EQ(s.Botan.SeedSize, 2);
}

// ---------------------------------------------------------------------------
// SpinText: what typing into an edit field does.

TEST(SpinText, NonNumbersAreRefusedAndNumbersClamped) {
  const TControlDef& speed = Control("UpDownVKiku");
  const TControlDef& stars = Control("UpDownSeedCountKiku");
  const TControlDef& count = Control("UpDownFireCount");
  EXPECT_EQ(CheckSpinText(count, "abc"), TSpinTextState::Invalid);
  EXPECT_EQ(CheckSpinText(count, "12a"), TSpinTextState::Invalid);
  EXPECT_EQ(CheckSpinText(count, "1 2"), TSpinTextState::Invalid);
  EXPECT_EQ(CheckSpinText(count, "0x5"), TSpinTextState::Invalid);
  EXPECT_EQ(CheckSpinText(count, ""), TSpinTextState::Intermediate);
  EXPECT_EQ(CheckSpinText(count, "-"), TSpinTextState::Intermediate);
  EXPECT_EQ(CheckSpinText(count, "11"), TSpinTextState::Intermediate);
  EXPECT_EQ(CheckSpinText(count, "0"), TSpinTextState::Intermediate);
  EXPECT_EQ(CheckSpinText(count, " 7 "), TSpinTextState::Acceptable);
  EXPECT_EQ(CheckSpinText(speed, "1,000"), TSpinTextState::Acceptable);
  EXPECT_EQ(CheckSpinText(stars, "1,00"), TSpinTextState::Invalid);
  EXPECT_EQ(CheckSpinText(speed, ",5"), TSpinTextState::Invalid);

  EXPECT_EQ(SpinPositionFromText(count, "abc", 4), 4);
  EXPECT_EQ(SpinPositionFromText(count, "", 4), 4);
  EXPECT_EQ(SpinPositionFromText(count, "-", 4), 4);
  EXPECT_EQ(SpinPositionFromText(count, "11", 4), 10);
  EXPECT_EQ(SpinPositionFromText(count, "-3", 4), 1);
  EXPECT_EQ(SpinPositionFromText(speed, "99999999999999999999999", 400), 1000);
  EXPECT_EQ(SpinPositionFromText(speed, "-99999999999999999999999", 400), 10);
  EXPECT_EQ(SpinPositionFromText(speed, "1,000", 400), 1000);
}

TEST(SpinText, GroupsDigitsOnlyWhereTheBoxDoes) {
  const TControlDef& speed = Control("UpDownVKiku");
  const TControlDef& stars = Control("UpDownSeedCountKiku");
  EXPECT_EQ(SpinText(speed, 1000), "1,000");
  EXPECT_EQ(SpinText(speed, 999), "999");
  EXPECT_EQ(SpinText(speed, -1000), "-1,000");
  EXPECT_EQ(SpinText(speed, -32768), "-32,768");
  EXPECT_EQ(SpinText(stars, 500), "500");
  EXPECT_EQ(SpinText(stars, 1000), "1000");
  // Whatever a box shows, typing it back gives the same position.
  for (const TControlDef& c : ControlTable()) {
    if (c.Kind != K::SpinBox) continue;
    for (std::int32_t p = c.Min; p <= c.Max; ++p) {
      ASSERT_EQ(CheckSpinText(c, SpinText(c, p)), TSpinTextState::Acceptable) << c.Name << p;
      ASSERT_EQ(SpinPositionFromText(c, SpinText(c, p), c.Min), p) << c.Name;
    }
  }
}

// ---------------------------------------------------------------------------
// The schema: one row per setting for the file and the dialog alike.

// The number spelled in full-width digits at the front of `text`, and the
// rest after it.
std::optional<int> FullWidthNumber(std::string_view& text) {
  const std::string_view zero = "０";  // U+FF10, three bytes in UTF-8
  std::optional<int> value;
  while (text.size() >= 3 && text.substr(0, 2) == zero.substr(0, 2) &&
         static_cast<unsigned char>(text[2]) >= 0x90 &&
         static_cast<unsigned char>(text[2]) <= 0x99) {
    value = value.value_or(0) * 10 + (static_cast<unsigned char>(text[2]) - 0x90);
    text.remove_prefix(3);
  }
  return value;
}

TEST(Schema, HintsStateTheBoxesRangesButForFlameLength) {
  // "１０～１００": the range a hint promises, against the box's own.
  std::vector<std::string> differ;
  int ranges = 0;
  for (const TControlDef& c : ControlTable()) {
    std::string_view hint = c.Hint;
    const std::optional<int> low = FullWidthNumber(hint);
    if (!low) continue;
    ASSERT_EQ(hint.substr(0, 3), "～") << c.Name;
    hint.remove_prefix(3);
    const std::optional<int> high = FullWidthNumber(hint);
    ASSERT_TRUE(high) << c.Name;
    ++ranges;
    if (*low != c.Min || *high != c.Max) differ.push_back(c.Setting);
  }
  EXPECT_EQ(ranges, 30);  // every spin box
  // The flame-length boxes offer up to 600 while their hint says 100.
  const std::vector<std::string> expected{"Kiku.FireLength", "Kiku3.FireLength", "Botan.FireLength",
                                          "Hiyuusei.FireLength", "Hachi.FireLength"};
  EXPECT_EQ(differ, expected);
}

TEST(Schema, DefaultsAndFallbacksReadBackAsThemselves) {
  // A default or fallback outside its key's file range would be replaced on
  // the next reading; a default outside its box could not be shown.
  const auto check = [](const TSettingRow& row, const TKindRow* kind) {
    SCOPED_TRACE(std::string(kind ? kind->Section : row.Section) + "." + row.Key);
    const std::int32_t value = DefaultOf(row, kind);
    EXPECT_GE(value, row.FileMin);
    EXPECT_LE(value, row.FileMax);
    const std::int32_t fallback = row.Fallback.value_or(value);
    EXPECT_GE(fallback, row.FileMin);
    EXPECT_LE(fallback, row.FileMax);
    if (row.Control.Kind == TControlKind::None) return;
    EXPECT_GE(value, row.Control.Min);
    EXPECT_LE(value, row.Control.Max);
  };
  for (const TSettingRow& row : GlobalRows()) check(row, nullptr);
  for (const TKindRow& kind : KindRows())
    for (const TSettingRow& row : BlockRows()) check(row, &kind);
  // Only the first-run flag stays out of the dialog and the writes.
  std::size_t unstored = 0;
  for (const TSettingRow& row : GlobalRows()) unstored += !row.Stored;
  EXPECT_EQ(unstored, 1u);
  EXPECT_EQ(GlobalRows().size() - 1 + BlockRows().size() * KindRows().size(), ControlCount);
}

}  // namespace
}  // namespace moonglow
