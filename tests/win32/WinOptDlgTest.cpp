// The options dialog on Win32, opened in this process over a settings file in
// a fresh temporary directory, driven through its controls and keys as a user
// would, and checked against the file it leaves and the design's figures.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "settings/IniFile.h"
#include "settings/OptDlgModel.h"
#include "settings/Version.h"
#include "tests/DistinctControls.h"
#include "tests/win32/Screenshot.h"
#include "win32/OptDlg.h"
#include "win32/Text.h"

namespace moonglow::win32 {
namespace {

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::wstring& path, const std::string& text) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out << text;
}

// The value of `key` in `section`, as written.
std::string Value(const std::string& text, const std::string& section, const std::string& key) {
  std::istringstream lines(text);
  bool inSection = false;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inSection = line == "[" + section + "]";
    } else if (inSection && line.rfind(key + "=", 0) == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return "(absent)";
}

RECT RectInParent(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Height of a line of `control`'s text in its font.
int LineHeightOf(HWND control) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return metrics.tmHeight;
}

std::wstring TooltipText(HWND tooltip, HWND owner, HWND control) {
  wchar_t buffer[256] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = buffer;
  SendMessageW(tooltip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
  return buffer;
}

class OptDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    FDir = std::wstring(temp) + L"moonglow-optdlg-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(++counter);
    CreateDirectoryW(FDir.c_str(), nullptr);
    FPath = FDir + L"\\ZELMoonGlow3xx.ini";
  }

  void TearDown() override {
    FDialog.reset();
    SetFileAttributesW(FPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(FPath.c_str());
    RemoveDirectoryW(FDir.c_str());
  }

  TOptDialogView& Open() {
    FClosed = false;
    FErrors.clear();
    FDialog = std::make_unique<TOptDialogView>(
        GetModuleHandleW(nullptr), Narrow(FPath),
        [this](const std::string& message) { FErrors.push_back(message); },
        [this] { FClosed = true; });
    FDialog->Create();
    Pump();
    return *FDialog;
  }

  // The application's loop for a while: the dialog takes its keys first.
  void Pump(DWORD milliseconds = 60) {
    const DWORD start = GetTickCount();
    do {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (FDialog && FDialog->TranslateDialogKey(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(5);
    } while (GetTickCount() - start < milliseconds);
  }

  HWND Control(const char* name) {
    HWND control = FDialog->Control(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  void Key(HWND target, WPARAM key, bool shift = false, bool control = false) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Pump();
    state[VK_SHIFT] = 0;
    state[VK_CONTROL] = 0;
    SetKeyboardState(state);
  }

  void Type(HWND edit, const wchar_t* text) {
    for (const wchar_t* c = text; *c; ++c) PostMessageW(edit, WM_CHAR, *c, 1);
    Pump();
  }

  void Focus(HWND control) {
    SendMessageW(FDialog->Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    Pump();
  }

  void Click(const char* button) {
    SendMessageW(Control(button), BM_CLICK, 0, 0);
    Pump();
  }

  std::wstring FDir, FPath;
  std::unique_ptr<TOptDialogView> FDialog;
  bool FClosed = false;
  std::vector<std::string> FErrors;
};

// A file in which every value differs from its default.
const char* const CustomFile =
    "; kept by hand\r\n"
    "[Environment]\r\nFirstRun=0\r\nFireCount=7\r\ngFactor=4\r\nkFactor=20\r\nVNoise=77\r\n"
    "DNoise=9\r\n"
    "[Theme]\r\nAllCastPer=10\r\nShidarePer=20\r\nHanaichiPer=30\r\nBotanPer=45\r\nRanbuPer=55\r\n"
    "[Kiku]\r\nDrawLaunch=0\r\nSeedSize=2\r\nSeedCount=120\r\nV=1000\r\nFireLength=90\r\n"
    "Life=100\r\ndtFactor=12\r\n";

TEST_F(OptDialog, FrameCaptionAndFont) {
  TOptDialogView& dialog = Open();
  RECT client{};
  GetClientRect(dialog.Window(), &client);
  EXPECT_EQ(client.right, 367);
  EXPECT_EQ(client.bottom, 434);
  EXPECT_EQ(WindowText(dialog.Window()), L"Moonglow Setup");
  EXPECT_TRUE(IsWindowVisible(dialog.Window()));

  // The layout's face, or where the system lacks it a stand-in of its widths.
  auto faceOf = [](HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
  };
  auto isFaceOf = [](const LOGFONTW& font, const TFontDef& def) {
    if (font.lfFaceName == Widen(def.Family)) return true;
    for (const char* standIn : def.StandIns)
      if (standIn && font.lfFaceName == Widen(standIn)) return true;
    return false;
  };
  LOGFONTW font = faceOf(Control("EditFireCount"));
  EXPECT_TRUE(isFaceOf(font, DialogFont)) << Narrow(font.lfFaceName);
  EXPECT_EQ(font.lfHeight, -12);
  EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
  font = faceOf(Control("LabelTitle"));
  EXPECT_TRUE(isFaceOf(font, TitleFont)) << Narrow(font.lfFaceName);
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  EXPECT_EQ(font.lfHeight, -13);
  EXPECT_EQ(WindowText(Control("LabelVersion")), Widen(VersionName));
  Screenshot(L"options-dialog", [this] { Pump(100); });
}

// The width `control`'s text takes in the font it is drawn in.
int DrawnWidth(HWND control) {
  const std::wstring text = WindowText(control);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx;
}

int Width(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  return r.right;
}

TEST_F(OptDialog, CaptionsShowWholeBesideTheirControls) {
  TOptDialogView& dialog = Open();
  // A static control wraps a caption too wide for it, and its height shows
  // one line: the rest would be cut off.
  for (const TStaticDef& s : StaticTable())
    EXPECT_LE(DrawnWidth(Control(s.Name.c_str())), Width(Control(s.Name.c_str()))) << s.Name;
  for (const TTabDef& tab : TabTable()) {
    HWND description = Control((tab.Name + "Description").c_str());
    EXPECT_LE(DrawnWidth(description), Width(description)) << tab.Name;
  }
  const int indicator = GetSystemMetrics(SM_CXMENUCHECK);
  const auto& table = ControlTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const TControlDef& def = table[i];
    SCOPED_TRACE(def.Name);
    HWND value = Control(def.Name.c_str());
    switch (def.Kind) {
      case TControlKind::CheckBox:
        EXPECT_LE(DrawnWidth(value) + indicator, Width(value));
        break;
      case TControlKind::RadioGroup:
        for (int item = 0; item < 3; ++item) {
          HWND radio = dialog.Control(ItemName(i, item));
          EXPECT_LE(DrawnWidth(radio) + indicator, Width(radio)) << item;
        }
        break;
      case TControlKind::SpinBox:
      case TControlKind::Slider: {
        HWND caption = Control(def.CaptionName.c_str());
        EXPECT_LE(DrawnWidth(caption), Width(caption));
        RECT text{};
        GetClientRect(caption, &text);
        EXPECT_GE(text.bottom, LineHeightOf(caption));
        // The caption and its control share a parent.
        const RECT captionRect = RectInParent(caption);
        std::vector<HWND> parts{value};
        if (def.Kind == TControlKind::SpinBox) parts.push_back(Control(def.EditName.c_str()));
        for (HWND part : parts) {
          RECT partRect = RectInParent(part), overlap{};
          EXPECT_FALSE(IntersectRect(&overlap, &captionRect, &partRect))
              << "caption " << captionRect.left << ".." << captionRect.right << " x "
              << captionRect.top << ".." << captionRect.bottom << ", control " << partRect.left
              << ".." << partRect.right << " x " << partRect.top << ".." << partRect.bottom;
        }
        break;
      }
      case TControlKind::None:
        break;
    }
  }
  // A picture of every page.
  for (int tab = 0; tab < 5; ++tab) {
    Focus(Control("PageControl"));
    while (SendMessageW(Control("PageControl"), TCM_GETCURSEL, 0, 0) < tab)
      Key(Control("PageControl"), VK_RIGHT);
    EXPECT_EQ(SendMessageW(Control("PageControl"), TCM_GETCURSEL, 0, 0), tab);
    Screenshot((L"options-dialog-tab" + std::to_wstring(tab + 1)).c_str(), [this] { Pump(100); });
  }
}

// Enter after Tab steps from the opening focus, through the dialog's own key
// routing: OK (the opening focus) saves, initial values writes the defaults,
// and from cancel on, the fields included, the file stays as it was.
TEST_F(OptDialog, EnterPressesTheFocusedButtonElseCancels) {
  const std::string start = "[Environment]\r\nFireCount=7\r\n";
  for (int tabs = 0; tabs <= 5; ++tabs) {
    SCOPED_TRACE(testing::Message() << tabs << " Tabs, then Enter");
    WriteFile(FPath, start);
    Open();
    for (int i = 0; i < tabs; ++i) Key(GetFocus(), VK_TAB);
    Key(GetFocus(), VK_RETURN);
    EXPECT_TRUE(FClosed);
    FDialog->Destroy();
    const std::string after = ReadFile(FPath);
    if (tabs < 2) {
      EXPECT_EQ(Value(after, "Environment", "FireCount"), tabs == 0 ? "7" : "5");
      EXPECT_EQ(Value(after, "Kiku", "V"), "600");
    } else {
      EXPECT_EQ(after, start);
    }
  }
  EXPECT_TRUE(FErrors.empty());
}

TEST_F(OptDialog, EveryControlIsMadeFromTheTable) {
  TOptDialogView& dialog = Open();
  const auto& table = ControlTable();
  const TBounds& group = ThemeGroupFrame().Bounds;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const TControlDef& def = table[i];
    SCOPED_TRACE(def.Name);
    HWND value = dialog.Control(def.Name);
    ASSERT_NE(value, nullptr);
    const int dx = def.Place == TPlace::ThemeGroup ? group.Left : 0;
    const int dy = def.Place == TPlace::ThemeGroup ? group.Top : 0;
    const LONG style = GetWindowLongW(value, GWL_STYLE);
    EXPECT_EQ((style & WS_VISIBLE) != 0 || def.Place == TPlace::Tab, def.Visible);
    EXPECT_EQ(IsWindowEnabled(value) != FALSE, def.Enabled);
    switch (def.Kind) {
      case TControlKind::SpinBox: {
        HWND edit = dialog.Control(def.EditName);
        ASSERT_NE(edit, nullptr);
        const RECT field = RectInParent(edit);
        EXPECT_EQ(field.left, def.Bounds.Left + dx);
        EXPECT_EQ(field.top, def.Bounds.Top + dy);
        EXPECT_NEAR(field.right - field.left, def.Bounds.Width, 3);
        EXPECT_EQ(field.bottom - field.top, def.Bounds.Height);
        // The up-down places itself on its buddy's right edge, overlapping
        // the field's border as the common controls do.
        const RECT spin = RectInParent(value);
        EXPECT_NEAR(spin.left, def.SpinBounds.Left + dx, 3);
        EXPECT_NEAR(spin.right, def.SpinBounds.Left + def.SpinBounds.Width + dx, 3);
        EXPECT_EQ(spin.top, field.top);
        EXPECT_EQ(spin.bottom, field.bottom);
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(value, UDM_GETBUDDY, 0, 0)), edit);
        int low = 0, high = 0;
        SendMessageW(value, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                     reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(low, def.Min);
        EXPECT_EQ(high, def.Max);
        UDACCEL accel{};
        SendMessageW(value, UDM_GETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
        EXPECT_EQ(static_cast<int>(accel.nInc), def.Step);
        const LONG required = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS;
        EXPECT_EQ(style & required, required);
        EXPECT_EQ((style & UDS_NOTHOUSANDS) == 0, def.Thousands);
        EXPECT_EQ((style & UDS_WRAP), 0);
        EXPECT_EQ(TooltipText(dialog.Tooltip(), dialog.Window(), edit), Widen(def.Hint));
        EXPECT_EQ(WindowText(dialog.Control(def.CaptionName)), Widen(def.Caption));
        break;
      }
      case TControlKind::Slider: {
        const RECT bar = RectInParent(value);
        EXPECT_EQ(bar.left, def.Bounds.Left + dx);
        EXPECT_EQ(bar.top, def.Bounds.Top + dy);
        EXPECT_EQ(bar.right - bar.left, def.Bounds.Width);
        EXPECT_EQ(SendMessageW(value, TBM_GETRANGEMIN, 0, 0), def.Min);
        EXPECT_EQ(SendMessageW(value, TBM_GETRANGEMAX, 0, 0), def.Max);
        EXPECT_EQ(SendMessageW(value, TBM_GETLINESIZE, 0, 0), def.Step);
        EXPECT_EQ(SendMessageW(value, TBM_GETPAGESIZE, 0, 0), def.PageStep);
        EXPECT_EQ(style & (TBS_AUTOTICKS | TBS_BOTTOM), TBS_AUTOTICKS | TBS_BOTTOM);
        EXPECT_EQ(TooltipText(dialog.Tooltip(), dialog.Window(), value), Widen(def.Hint));
        break;
      }
      case TControlKind::CheckBox:
        EXPECT_EQ(WindowText(value), Widen(def.Caption));
        break;
      case TControlKind::RadioGroup:
        EXPECT_EQ(WindowText(value), Widen(def.Caption));
        for (int item = 0; item < 3; ++item)
          EXPECT_EQ(WindowText(dialog.Control(ItemName(i, item))), Widen(RadioItems()[item]));
        break;
      case TControlKind::None:
        break;
    }
  }
}

// What the table does not say, and the buttons and pages as the common
// controls show them.
TEST_F(OptDialog, ButtonsPagesAndTicks) {
  TOptDialogView& dialog = Open();
  for (const TButtonDef& button : ButtonTable())
    EXPECT_EQ(WindowText(Control(button.Name.c_str())), Widen(button.Caption));
  EXPECT_EQ(LOWORD(SendMessageW(dialog.Window(), DM_GETDEFID, 0, 0)), IDCANCEL);
  EXPECT_EQ(GetDlgCtrlID(Control("ButtonCancel")), IDCANCEL);
  EXPECT_EQ(SendMessageW(Control("TrackBarRanbu"), TBM_GETNUMTICS, 0, 0), 11);

  HWND tabs = Control("PageControl");
  ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 5);
  for (int t = 0; t < 5; ++t) {
    wchar_t text[32] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 32;
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(t), reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(text), Widen(TabTable()[static_cast<std::size_t>(t)].Caption));
  }
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(IsWindowVisible(Control("EditSeedCountKiku")));
  EXPECT_FALSE(IsWindowVisible(Control("EditSeedCountBotan")));
}

// Escape, the close box and the cancel button reach cancel; a slider's
// notification reaches the record as it moves.
TEST_F(OptDialog, EscapeTheCloseBoxAndCancelWriteNothing) {
  WriteFile(FPath, CustomFile);
  const std::string before = ReadFile(FPath);
  const std::vector<std::pair<const char*, std::function<void()>>> ways{
      {"Escape after a slider moved",
       [this] {
         Focus(Control("TrackBarAllCast"));
         Key(Control("TrackBarAllCast"), VK_RIGHT);
         EXPECT_EQ(FDialog->Dialog().Settings()->AllCastPer, 20);
         Key(Control("TrackBarAllCast"), VK_ESCAPE);
       }},
      {"the close box",
       [this] {
         SendMessageW(FDialog->Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
         Pump();
       }},
      {"the cancel button", [this] { Click("ButtonCancel"); }},
  };
  for (const auto& [way, act] : ways) {
    Open();
    act();
    EXPECT_TRUE(FClosed) << way;
    FDialog->Destroy();
    EXPECT_EQ(ReadFile(FPath), before) << way;
  }
  EXPECT_TRUE(FErrors.empty());
}

TEST_F(OptDialog, OkCarriesEveryControlThroughTheWindows) {
  TControlValues values = DistinctControls();
  TMyIniFile custom(Narrow(FPath));
  custom.LoadDefaults();
  ASSERT_FALSE(CommitControls(values, custom));
  Open();
  // A number still being typed counts as if its field had been left; the
  // up-down steps by the table's step.
  HWND count = Control("EditFireCount");
  Focus(count);
  SetWindowTextW(count, L"");
  Type(count, L"3");
  Focus(Control("EditVKiku3"));
  Key(Control("EditVKiku3"), VK_UP);
  Click("ButtonOk");
  ASSERT_TRUE(FClosed);
  values[FindControl("UpDownFireCount")] = 3;
  values[FindControl("UpDownVKiku3")] += 10;
  TMyIniFile saved(Narrow(FPath));
  saved.ReadSettings();
  EXPECT_EQ(LoadControls(saved), values);
}

// The edit fields take the core's rules for typed text.
TEST_F(OptDialog, TypedTextIsRefusedOrClamped) {
  Open();
  HWND count = Control("EditFireCount");
  Focus(count);
  SetWindowTextW(count, L"");
  Type(count, L"x");
  EXPECT_EQ(WindowText(count), L"");
  Type(count, L"99");
  EXPECT_EQ(WindowText(count), L"99");
  // Leaving the field puts the number into the spin box's range.
  Focus(Control("EditgFactor"));
  EXPECT_EQ(WindowText(count), L"10");
}

// Every window inside the dialog: its place in its parent and its font's
// height. The pages draw no text; their font is left out.
struct TPlaced {
  RECT Rect;
  LONG FontHeight;
};
BOOL CALLBACK AddPlaced(HWND child, LPARAM to) {
  wchar_t name[16] = {};
  GetClassNameW(child, name, 16);
  LOGFONTW font{};
  if (std::wstring(name) != L"#32770")
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font, &font);
  (*reinterpret_cast<std::map<HWND, TPlaced>*>(to))[child] = {RectInParent(child), font.lfHeight};
  return TRUE;
}
std::map<HWND, TPlaced> Layout(HWND dialog) {
  std::map<HWND, TPlaced> found;
  EnumChildWindows(dialog, &AddPlaced, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Moved to a monitor at twice the scale, the dialog is laid out at twice the
// size in fonts made for it, and takes the frame the system offers; moved
// back, it is as it was. The user's typing and the focus stay throughout.
TEST_F(OptDialog, FollowsTheMonitorsScale) {
  TOptDialogView& dialog = Open();
  HWND count = Control("EditFireCount");
  Focus(count);
  SetWindowTextW(count, L"");
  Type(count, L"7");
  const std::map<HWND, TPlaced> before = Layout(dialog.Window());
  RECT frame{}, now{};
  GetWindowRect(dialog.Window(), &frame);

  RECT doubled{0, 0, 2 * (frame.right - frame.left), 2 * (frame.bottom - frame.top)};
  SendMessageW(dialog.Window(), WM_DPICHANGED, MAKEWPARAM(192, 192),
               reinterpret_cast<LPARAM>(&doubled));
  Pump();
  GetWindowRect(dialog.Window(), &now);
  EXPECT_TRUE(EqualRect(&now, &doubled));
  // Windows the controls make for themselves (a tab scroller) are not ours.
  std::map<HWND, TPlaced> large = Layout(dialog.Window());
  for (const auto& [window, was] : before)
    EXPECT_EQ(large[window].FontHeight, 2 * was.FontHeight) << Narrow(WindowText(window));
  // The controls the system does not shape itself double within rounding.
  for (const char* name : {"ButtonOk", "TrackBarAllCast", "PageControl", "CheckBoxDrawLaunchKiku",
                           "RadioGroupSeedSizeKiku", "LabelTitle"}) {
    const RECT& was = before.at(Control(name)).Rect;
    const RECT& is = large[Control(name)].Rect;
    EXPECT_NEAR(is.left, 2 * was.left, 1) << name;
    EXPECT_NEAR(is.top, 2 * was.top, 1) << name;
    EXPECT_NEAR(is.right, 2 * was.right, 1) << name;
    EXPECT_NEAR(is.bottom, 2 * was.bottom, 1) << name;
  }
  // A spin box's up-down takes its width and the gap to its field as the
  // common controls choose; the pair still covers the doubled box.
  const RECT& field = large[count].Rect;
  const RECT& upDown = large[Control("UpDownFireCount")].Rect;
  EXPECT_EQ(field.left, 2 * before.at(count).Rect.left);
  EXPECT_EQ(field.top, 2 * before.at(count).Rect.top);
  EXPECT_EQ(field.bottom, 2 * before.at(count).Rect.bottom);
  EXPECT_NEAR(upDown.right, 2 * before.at(Control("UpDownFireCount")).Rect.right, 3);
  EXPECT_EQ(GetFocus(), count);
  Screenshot(L"options-dialog-192dpi", [this] { Pump(100); });

  SendMessageW(dialog.Window(), WM_DPICHANGED, MAKEWPARAM(96, 96),
               reinterpret_cast<LPARAM>(&frame));
  Pump();
  GetWindowRect(dialog.Window(), &now);
  EXPECT_TRUE(EqualRect(&now, &frame));
  std::map<HWND, TPlaced> after = Layout(dialog.Window());
  for (const auto& [window, was] : before) {
    const TPlaced& is = after[window];
    EXPECT_TRUE(EqualRect(&is.Rect, &was.Rect))
        << is.Rect.left << "," << is.Rect.top << " " << is.Rect.right << "," << is.Rect.bottom
        << " was " << was.Rect.left << "," << was.Rect.top << " " << was.Rect.right << ","
        << was.Rect.bottom;
    EXPECT_EQ(is.FontHeight, was.FontHeight);
  }
  EXPECT_EQ(GetFocus(), count);
  EXPECT_EQ(WindowText(count), L"7");
  Click("ButtonOk");
  EXPECT_EQ(Value(ReadFile(FPath), "Environment", "FireCount"), "7");
  EXPECT_TRUE(FErrors.empty());
}

TEST_F(OptDialog, TabFollowsTheFormsOrder) {
  Open();
  const char* const order[] = {"ButtonOk",
                               "ButtonInitial",
                               "ButtonCancel",
                               "EditFireCount",
                               "EditgFactor",
                               "EditkFactor",
                               "PageControl",
                               "CheckBoxDrawLaunchKiku",
                               "RadioGroupSeedSizeKiku",
                               "EditSeedCountKiku",
                               "EditFireLengthKiku",
                               "EditdtFactorKiku",
                               "EditVKiku",
                               "EditLifeKiku",
                               "TrackBarAllCast",
                               "TrackBarShidare",
                               "TrackBarHanaichi",
                               "TrackBarBotan",
                               "TrackBarRanbu",
                               "ButtonOk"};
  const std::size_t seedSize = FindControl("RadioGroupSeedSizeKiku");
  auto expected = [&](const char* name) {
    // A radio group takes the focus on its checked item (the first here).
    return std::string(name) == "RadioGroupSeedSizeKiku" ? FDialog->Control(ItemName(seedSize, 0))
                                                         : Control(name);
  };
  EXPECT_EQ(GetFocus(), expected(order[0]));
  for (std::size_t i = 1; i < std::size(order); ++i) {
    Key(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), expected(order[i])) << "after " << order[i - 1];
  }
  Key(GetFocus(), VK_TAB, true);
  EXPECT_EQ(GetFocus(), Control("TrackBarRanbu"));

  // Ctrl+Tab turns the page; the focus leaves a page that is put away.
  Focus(Control("EditLifeKiku"));
  Key(GetFocus(), VK_TAB, false, true);
  EXPECT_EQ(SendMessageW(Control("PageControl"), TCM_GETCURSEL, 0, 0), 1);
  EXPECT_TRUE(IsWindowVisible(Control("EditLifeKiku3")));
  EXPECT_EQ(GetFocus(), Control("PageControl"));
  Key(GetFocus(), VK_TAB, true, true);
  EXPECT_EQ(SendMessageW(Control("PageControl"), TCM_GETCURSEL, 0, 0), 0);
}

}  // namespace
}  // namespace moonglow::win32
