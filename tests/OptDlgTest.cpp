// The options dialog's handlers against a fake window: what reaches the
// settings file on each way out, and the rules a front end borrows for spin
// fields, caption fitting and tab stepping.
#include "settings/OptDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/FileText.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;

// Remembers what the dialog asked of its window; ReadValues hands back what
// the "user" left in the controls, by default what was last shown.
class TFakeView : public IOptDialogView {
 public:
  // The walks are the dialog's own; the fake only counts them and keeps each
  // control's value, the way a front end's widgets would.
  void ShowValues(const TControlValues& values) override {
    IOptDialogView::ShowValues(values);
    Shown.push_back(Controls);
  }
  TControlValues ReadValues() override {
    ++Reads;
    return IOptDialogView::ReadValues();
  }
  void SetPosition(std::size_t index, std::int32_t position) override {
    Controls.at(index) = position;
  }
  std::int32_t Position(std::size_t index) override { return Controls.at(index); }
  void SetChecked(std::size_t index, int item, bool on) override {
    if (!IsRadio(index))
      Controls.at(index) = on ? 1 : 0;
    else if (on)
      Controls.at(index) = item;
  }
  bool Checked(std::size_t index, int item) override {
    return IsRadio(index) ? Controls.at(index) == item : Controls.at(index) != 0;
  }
  static bool IsRadio(std::size_t index) {
    return ControlTable().at(index).Kind == TControlKind::RadioGroup;
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void Close(bool saved) override {
    ++Closes;
    Saved = saved;
  }

  void Set(const std::string& name, std::int32_t value) {
    const std::size_t i = FindControl(name);
    ASSERT_LT(i, ControlCount) << name;
    Controls[i] = value;
  }
  std::int32_t Get(const std::string& name) const { return Controls.at(FindControl(name)); }

  std::vector<TControlValues> Shown;
  TControlValues Controls{};
  std::vector<std::string> Errors;
  int Reads = 0;
  int Closes = 0;
  bool Saved = false;
};

// A hand-edited file: a comment, the first-run flag, values beyond the boxes.
const std::string UserFile =
    "; my saver\n"
    "[Environment]\nFirstRun=0\nFireCount = 7\ngFactor=4\nkFactor=20\nVNoise=37\nDNoise=13\n"
    "[Theme]\nAllCastPer=10\nShidarePer=20\nHanaichiPer=30\nBotanPer=40\nRanbuPer=50\n"
    "[Kiku]\nV=70000\nSeedCount=5\n";

class OptDlgTest : public ::testing::Test {
 protected:
  TOptDialog& Open() {
    Dialog = std::make_unique<TOptDialog>(View, File.string(), PortableFileServices());
    Dialog->FormCreate();
    return *Dialog;
  }
  TMyIniFile ReadBack() const {
    TMyIniFile s(File.string());
    s.ReadSettings();
    return s;
  }
  static int Keys(const std::string& text, char mark = '=') {
    int n = 0;
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
      ++n;
    return n;
  }

  TScratchDir Scratch{"moonglow-optdlg-"};
  fs::path File = Scratch.Path() / SettingsFileName;
  TFakeView View;
  std::unique_ptr<TOptDialog> Dialog;
};

// --- Opening -------------------------------------------------------------------------------

TEST_F(OptDlgTest, OpeningShowsTheFileThroughTheSpinBoxesRules) {
  Spit(File, UserFile);
  Open();
  ASSERT_EQ(View.Shown.size(), 1u);
  EXPECT_EQ(View.Get("UpDownFireCount"), 7);
  EXPECT_EQ(View.Get("UpDownVNoise"), 37);  // hidden, still loaded
  EXPECT_EQ(View.Get("TrackBarHanaichi"), 30);
  // 70000 keeps its low 16 bits, 4464, which the box clamps to 1000; 5 is
  // below the star-count box and shows as 20.
  EXPECT_EQ(View.Get("UpDownVKiku"), 1000);
  EXPECT_EQ(View.Get("UpDownSeedCountKiku"), 20);
  EXPECT_EQ(View.Get("CheckBoxDrawLaunchKiku"), 1);  // missing: the kind's default
  EXPECT_EQ(View.Get("RadioGroupSeedSizeHachi"), 0);
  EXPECT_EQ(View.Reads, 0);
}

TEST_F(OptDlgTest, AFreshSystemShowsTheDefaults) {
  Open();
  ASSERT_EQ(View.Shown.size(), 1u);
  EXPECT_EQ(View.Shown[0], DefaultControls());
  EXPECT_EQ(View.Get("UpDownVKiku"), 600);
  EXPECT_FALSE(fs::exists(File));
}

// --- Ways out ------------------------------------------------------------------------------

TEST_F(OptDlgTest, CancelWritesNothingEvenAfterSlidersMoved) {
  Spit(File, UserFile);
  TOptDialog& dialog = Open();
  View.Set("UpDownFireCount", 2);
  dialog.TrackBarChange(FindControl("TrackBarAllCast"), 90);
  // The slider reaches the record at once, the file never.
  EXPECT_EQ(dialog.Settings()->AllCastPer, 90);
  dialog.ButtonCancelClick();
  dialog.ButtonCancelClick();
  EXPECT_EQ(View.Closes, 1);
  EXPECT_FALSE(View.Saved);
  EXPECT_EQ(View.Reads, 0);
  Dialog.reset();
  EXPECT_EQ(Slurp(File), UserFile);

  // Cancelling on a fresh system makes no file.
  fs::remove(File);
  Open().ButtonCancelClick();
  EXPECT_FALSE(fs::exists(File));
}

// Enter: a button with the focus takes it for itself; with the focus on
// anything else, or on nothing, it is cancel's, and nothing is written.
TEST_F(OptDlgTest, EnterPressesTheFocusedButtonElseCancels) {
  Spit(File, UserFile);
  for (const char* focused : {"UpDownFireCount", "UpDowngFactor", "CheckBoxDrawLaunchKiku",
                              "TrackBarAllCast", "PageControl", "ButtonCancel", ""}) {
    View = TFakeView();
    Open();
    View.Set("UpDownFireCount", 2);
    Dialog->EnterPressed(focused);
    EXPECT_EQ(View.Closes, 1) << focused;
    EXPECT_FALSE(View.Saved) << focused;
    Dialog.reset();
    EXPECT_EQ(Slurp(File), UserFile) << focused;
  }
  View = TFakeView();
  Open();
  View.Set("UpDownFireCount", 2);
  Dialog->EnterPressed("ButtonOk");
  EXPECT_TRUE(View.Saved);
  EXPECT_EQ(ReadBack().FireCount, 2);

  View = TFakeView();
  Open();
  Dialog->EnterPressed("ButtonInitial");
  EXPECT_TRUE(View.Saved);
  EXPECT_EQ(ReadBack().FireCount, 5);
}

TEST_F(OptDlgTest, OkOnAFreshSystemWritesEveryKeyButFirstRun) {
  Open().ButtonOkClick();
  EXPECT_EQ(View.Closes, 1);
  EXPECT_TRUE(View.Saved);
  const std::string text = Slurp(File);
  EXPECT_EQ(Keys(text), 45);
  EXPECT_EQ(Keys(text, '['), 7);
  EXPECT_EQ(text.find("FirstRun"), std::string::npos);
  EXPECT_TRUE(ReadBack().FirstRun);
}

TEST_F(OptDlgTest, OkSavesWhatTheControlsHold) {
  Spit(File, UserFile);
  TOptDialog& dialog = Open();
  View.Set("UpDownFireCount", 9);
  View.Set("CheckBoxDrawLaunchHachi", 1);
  View.Set("RadioGroupSeedSizeKiku3", 2);
  View.Set("UpDownLifeBotan", 300);
  // A flame length of 600 is offered and saved; every weight at 0 is fine.
  View.Set("UpDownFireLengthKiku", 600);
  for (const char* theme : {"AllCast", "Shidare", "Hanaichi", "Botan", "Ranbu"})
    View.Set(std::string("TrackBar") + theme, 0);
  dialog.ButtonOkClick();
  EXPECT_EQ(View.Closes, 1);
  EXPECT_TRUE(View.Errors.empty());

  const std::string text = Slurp(File);
  EXPECT_NE(text.find("FirstRun=0"), std::string::npos);  // left as it was
  EXPECT_NE(text.find("FireLength=600"), std::string::npos);
  EXPECT_NE(text.find("RanbuPer=0"), std::string::npos);
  const TMyIniFile s = ReadBack();
  EXPECT_EQ(s.FireCount, 9);
  EXPECT_EQ(s.gFactor, 4);
  EXPECT_EQ(s.VNoise, 37);  // hidden, carried through
  EXPECT_EQ(s.DNoise, 13);
  EXPECT_EQ(s.AllCastPer + s.ShidarePer + s.HanaichiPer + s.BotanPer + s.RanbuPer, 0);
  EXPECT_TRUE(s.Hachi.DrawLaunch);
  EXPECT_EQ(s.Kiku3.SeedSize, 2);
  EXPECT_EQ(s.Kiku.V, 1000);
  EXPECT_EQ(s.Botan.Life, 300);
  // The file's rules read 600 back as 200, which the next opening shows.
  EXPECT_EQ(s.Kiku.FireLength, 200);
  Open();
  EXPECT_EQ(View.Get("UpDownFireLengthKiku"), 200);
}

TEST_F(OptDlgTest, InitialValuesShowWriteTheDefaultsAndClose) {
  Spit(File, UserFile);
  TOptDialog& dialog = Open();
  View.Set("UpDownLifeHiyuusei", 20);
  dialog.ButtonInitialClick();
  ASSERT_EQ(View.Shown.size(), 2u);
  EXPECT_EQ(View.Shown[1], DefaultControls());
  EXPECT_EQ(View.Closes, 1);
  EXPECT_TRUE(View.Saved);

  TMyIniFile expected{std::string()};
  expected.LoadDefaults();
  TMyIniFile s = ReadBack();
  EXPECT_FALSE(s.FirstRun);  // the dialog leaves it alone
  s.FirstRun = true;
  EXPECT_EQ(LoadControls(s), LoadControls(expected));
  EXPECT_EQ(s.VNoise, 10);
  EXPECT_EQ(s.DNoise, 5);
  EXPECT_EQ(s.Hiyuusei.dtFactor, 3);
}

TEST_F(OptDlgTest, ARefusedWriteKeepsTheDialogOpenForAnotherTry) {
  // A plain file where the settings' directory should be: nothing can be
  // written under it, on any system.
  const fs::path blocked = Scratch.Path() / "blocked";
  Spit(blocked, "");
  File = blocked / SettingsFileName;
  TOptDialog& dialog = Open();
  View.Set("UpDownFireCount", 3);
  dialog.ButtonOkClick();
  EXPECT_EQ(View.Closes, 0);
  ASSERT_EQ(View.Errors.size(), 1u);
  EXPECT_EQ(View.Errors[0], File.string() + " に書き込めません");
  EXPECT_EQ(View.Get("UpDownFireCount"), 3);

  fs::remove(blocked);
  fs::create_directory(blocked);
  dialog.ButtonOkClick();
  EXPECT_EQ(View.Closes, 1);
  EXPECT_EQ(ReadBack().FireCount, 3);
}

TEST_F(OptDlgTest, OnlySlidersStoreAtOnceAndNothingAfterTheRecordIsGone) {
  TOptDialog& dialog = Open();
  dialog.TrackBarChange(FindControl("UpDownFireCount"), 9);
  EXPECT_EQ(dialog.Settings()->FireCount, 5);
  dialog.TrackBarChange(FindControl("TrackBarRanbu"), 0);
  EXPECT_EQ(dialog.Settings()->RanbuPer, 0);
  dialog.FormDestroy();
  EXPECT_EQ(dialog.Settings(), nullptr);
  dialog.TrackBarChange(FindControl("TrackBarRanbu"), 10);
  dialog.ButtonOkClick();
  dialog.ButtonInitialClick();
  EXPECT_EQ(View.Closes, 0);
  EXPECT_FALSE(fs::exists(File));
}

// --- Spin fields ---------------------------------------------------------------------------

TEST(SpinField, RefusesNonNumbersKeepsPartsAndClampsWhenLeft) {
  TSpinField speed(FindControl("UpDownVKiku"));
  EXPECT_EQ(speed.Show(1000), "1,000");
  EXPECT_EQ(speed.Typed("1,000x"), "1,000");  // the keystroke is refused
  EXPECT_EQ(speed.Typed(""), std::nullopt);   // on the way to a number
  EXPECT_EQ(speed.Position(), 1000);
  EXPECT_EQ(speed.Typed("x"), "");
  EXPECT_EQ(speed.Left(), "1,000");  // nothing typed: the last position
  EXPECT_EQ(speed.Typed("5000"), std::nullopt);
  EXPECT_EQ(speed.Left(), "1,000");  // beyond the range: clamped
  EXPECT_EQ(speed.Typed("-"), std::nullopt);
  EXPECT_EQ(speed.Typed("-5"), std::nullopt);
  EXPECT_EQ(speed.Position(), 10);
  EXPECT_EQ(speed.Typed("250"), std::nullopt);
  EXPECT_EQ(speed.Left(), "250");

  TSpinField stars(FindControl("UpDownSeedCountKiku"));
  EXPECT_EQ(stars.Show(500), "500");
  EXPECT_EQ(stars.Typed("1,0"), "500");  // a star count has no separators
}

// --- Caption fitting and tab stepping ------------------------------------------------------

TEST(FitStretch, NarrowsOnlyWhatDoesNotFitAndMeasuresEveryTry) {
  int measured = 0;
  const auto proportional = [&](int full) {
    return [&measured, full](int stretch) {
      ++measured;
      return full * stretch / 100;
    };
  };
  EXPECT_EQ(FitStretch(80, 80, proportional(80)), 100);
  EXPECT_EQ(measured, 0);
  EXPECT_EQ(FitStretch(100, 80, proportional(100)), 80);
  EXPECT_EQ(measured, 1);
  // A fallback face that does not narrow in step takes more tries.
  measured = 0;
  const int stretch = FitStretch(100, 80, [&](int s) {
    ++measured;
    return 20 + 80 * s / 100;
  });
  EXPECT_LE(20 + 80 * stretch / 100, 80);
  EXPECT_GT(measured, 1);
  // Beyond half its width a caption is cut rather than narrowed further.
  EXPECT_EQ(FitStretch(400, 80, proportional(400)), 50);
}

TEST_F(OptDlgTest, TabEntersARadioGroupAtItsCheckedItemAndLeavesItWhole) {
  TOptDialog& dialog = Open();
  const auto all = [](const std::string&) { return true; };
  EXPECT_EQ(dialog.NextFocus("", false, all), InitialFocus());
  const std::string group = "RadioGroupSeedSizeKiku";
  const auto at = std::find(TabOrder().begin(), TabOrder().end(), group);
  ASSERT_NE(at, TabOrder().end());
  View.Set(group, 2);
  EXPECT_EQ(dialog.NextFocus(*(at - 1), false, all), group + "Item2");
  EXPECT_EQ(dialog.NextFocus(*(at + 1), true, all), group + "Item2");
  EXPECT_EQ(dialog.NextFocus(group + "Item0", false, all), *(at + 1));
  // Nothing that can take the focus: none is named.
  EXPECT_EQ(dialog.NextFocus("ButtonOk", false, [](const std::string&) { return false; }), "");
  // Qt chains every item; frames are left out.
  const std::vector<std::string> chain = FocusChain();
  const auto item0 = static_cast<std::size_t>(
      std::find(chain.begin(), chain.end(), group + "Item0") - chain.begin());
  ASSERT_LT(item0 + 2, chain.size());
  EXPECT_EQ(chain[item0 + 2], group + "Item2");
  EXPECT_EQ(std::count(chain.begin(), chain.end(), "GroupBoxTheme"), 0);
  EXPECT_EQ(std::count(chain.begin(), chain.end(), group), 0);
}

TEST(ChooseFace, TheLayoutsFaceThenTheFirstStandInThenTheLayoutsFaceAllTheSame) {
  const auto only = [](std::vector<std::string> faces) {
    return [faces](const std::string& f) {
      return std::find(faces.begin(), faces.end(), f) != faces.end();
    };
  };
  EXPECT_EQ(ChooseFace(TFontRole::Title, only({"Arimo", "Arial"})), "Arial");
  EXPECT_EQ(ChooseFace(TFontRole::Title, only({"Arimo", "Liberation Sans"})), "Liberation Sans");
  EXPECT_EQ(ChooseFace(TFontRole::Dialog, only({"VL PGothic"})), DialogFont.Family);
  // Only a toolkit that falls back through a list is given the others.
  EXPECT_EQ(FontFaces(TFontRole::Dialog).back(), "Noto Sans CJK JP");
  EXPECT_EQ(FontFaces(TFontRole::Version).size(), 3u);
}

TEST(NextInTabOrder, WrapsAndSkipsWhatCannotTakeTheFocus) {
  const std::size_t count = TabOrder().size();
  const auto all = [](std::size_t) { return true; };
  EXPECT_EQ(NextInTabOrder(count, false, all), 0u);
  EXPECT_EQ(NextInTabOrder(count, true, all), count - 1);
  EXPECT_EQ(NextInTabOrder(count - 1, false, all), 0u);
  EXPECT_EQ(NextInTabOrder(0, true, all), count - 1);
  // The theme group's frame takes no focus: Tab goes on to its first slider.
  const auto frame = [](std::size_t i) { return TabOrder()[i] != "GroupBoxTheme"; };
  std::size_t group = 0;
  while (TabOrder()[group] != "GroupBoxTheme") ++group;
  EXPECT_EQ(TabOrder()[NextInTabOrder(group - 1, false, frame)], "TrackBarAllCast");
  EXPECT_EQ(NextInTabOrder(3, false, [](std::size_t) { return false; }), count);
}

// Toolkits whose frames are parents nest each widget by these names, and
// find a check mark's window by them; Ctrl+Tab walks the pages round.
TEST(WidgetTree, WidgetsNestByNameAndPagesTurnRound) {
  std::set<std::string> names;
  for (const TWidgetDef& w : Widgets()) names.insert(w.Name);
  for (const TTabDef& tab : TabTable()) names.insert(tab.Name);
  for (const TWidgetDef& w : Widgets()) {
    const std::string parent = ParentName(w);
    EXPECT_TRUE(parent.empty() || names.count(parent)) << w.Name;
    if (w.Kind == TWidgetKind::RadioItem) {
      EXPECT_EQ(parent, ControlTable()[w.Control].Name);
      EXPECT_EQ(ItemName(w.Control, w.Item), w.Name);
    }
    if (w.Kind == TWidgetKind::CheckBox) {
      EXPECT_EQ(ItemName(w.Control, 0), w.Name);
    }
    if (w.Place == TPlace::Tab && w.Kind != TWidgetKind::RadioItem) {
      EXPECT_EQ(parent, TabTable()[static_cast<std::size_t>(w.Tab)].Name);
    }
  }
  const int last = static_cast<int>(TabTable().size()) - 1;
  EXPECT_EQ(TurnPage(0, false), 1);
  EXPECT_EQ(TurnPage(last, false), 0);
  EXPECT_EQ(TurnPage(0, true), last);
}

// The work area need not start at the screen's corner (a taskbar on the left
// or top), and a frame larger than it overhangs both sides alike.
TEST(OptDlgFrame, CentresOnTheWorkArea) {
  const TBounds at = CentreIn({40, 30, 1000, 700}, 381, 468);
  EXPECT_EQ(at.Left, 40 + 309);
  EXPECT_EQ(at.Top, 30 + 116);
  EXPECT_EQ(at.Width, 381);
  EXPECT_EQ(at.Height, 468);
  const TBounds over = CentreIn({0, 0, 300, 400}, 381, 468);
  EXPECT_EQ(over.Left, -40);
  EXPECT_EQ(over.Top, -34);
}

}  // namespace
}  // namespace moonglow
