#include "settings/OptDlg.h"

#include <algorithm>

namespace moonglow {

namespace {
// Narrower than this a caption no longer reads well; a wider one is cut.
constexpr int MinCaptionStretch = 50;

// Per entry of TabOrder(), the widgets that may hold the focus for it.
const std::vector<std::vector<std::string>>& FocusMembers() {
  static const auto members = [] {
    std::vector<std::vector<std::string>> all;
    for (const std::string& entry : TabOrder()) {
      std::vector<std::string> names;
      for (const TWidgetDef& w : Widgets()) {
        const bool frame = w.Kind == TWidgetKind::GroupBox || w.Kind == TWidgetKind::RadioGroup;
        if (w.Kind == TWidgetKind::RadioItem ? ControlTable()[w.Control].Name == entry
                                             : w.Name == entry && !frame)
          names.push_back(w.Name);
      }
      all.push_back(std::move(names));
    }
    return all;
  }();
  return members;
}
}  // namespace

void IOptDialogView::ShowValues(const TControlValues& values) {
  for (std::size_t i = 0; i < ControlCount; ++i) {
    switch (ControlTable()[i].Kind) {
      case TControlKind::SpinBox:
      case TControlKind::Slider:
        SetPosition(i, values[i]);
        break;
      case TControlKind::CheckBox:
        SetChecked(i, 0, values[i] != 0);
        break;
      case TControlKind::RadioGroup:
        for (std::size_t item = 0; item < RadioItems().size(); ++item)
          SetChecked(i, static_cast<int>(item), values[i] == static_cast<std::int32_t>(item));
        break;
      case TControlKind::None:
        break;
    }
  }
}

TControlValues IOptDialogView::ReadValues() {
  TControlValues values{};
  for (std::size_t i = 0; i < ControlCount; ++i) {
    switch (ControlTable()[i].Kind) {
      case TControlKind::SpinBox:
      case TControlKind::Slider:
        values[i] = Position(i);
        break;
      case TControlKind::CheckBox:
        values[i] = Checked(i, 0) ? 1 : 0;
        break;
      case TControlKind::RadioGroup:
        for (std::size_t item = 0; item < RadioItems().size(); ++item)
          if (Checked(i, static_cast<int>(item))) values[i] = static_cast<std::int32_t>(item);
        break;
      case TControlKind::None:
        break;
    }
  }
  return values;
}

TOptDialog::TOptDialog(IOptDialogView& view, std::string settingsPath, IFileServices& files)
    : FView(view), FSettingsPath(std::move(settingsPath)), FFiles(files) {}

TOptDialog::~TOptDialog() { FormDestroy(); }

void TOptDialog::FormCreate() {
  // The version label's caption comes with the layout's static texts.
  FSettings = std::make_unique<TMyIniFile>(FSettingsPath, FFiles);
  FSettings->ReadSettings();
  FView.ShowValues(LoadControls(*FSettings));
}

void TOptDialog::FormDestroy() { FSettings.reset(); }

void TOptDialog::ButtonOkClick() {
  if (!FSettings || FClosed) return;
  if (const auto error = CommitControls(FView.ReadValues(), *FSettings)) {
    // The dialog stays open with the user's values, so OK can be tried again.
    FView.ShowError(*error);
    return;
  }
  Close(true);
}

void TOptDialog::ButtonCancelClick() { Close(false); }

void TOptDialog::ButtonInitialClick() {
  if (!FSettings || FClosed) return;
  FView.ShowValues(DefaultControls());
  ButtonOkClick();
}

void TOptDialog::ButtonClick(std::size_t button) {
  switch (button) {
    case ButtonOk:
      return ButtonOkClick();
    case ButtonCancel:
      return ButtonCancelClick();
    case ButtonInitial:
      return ButtonInitialClick();
  }
}

void TOptDialog::EnterPressed(std::string_view focused) {
  const auto& buttons = ButtonTable();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i].Name == focused) return ButtonClick(i);
  }
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i].Default) return ButtonClick(i);
  }
}

void TOptDialog::TrackBarChange(std::size_t index, std::int32_t position) {
  if (!FSettings || index >= ControlCount) return;
  if (ControlTable()[index].Kind == TControlKind::Slider) StoreControl(index, position, *FSettings);
}

std::string TOptDialog::NextFocus(std::string_view focused, bool backward,
                                  const std::function<bool(const std::string&)>& canFocus) {
  const auto& members = FocusMembers();
  std::size_t current = members.size();
  for (std::size_t i = 0; i < members.size() && current == members.size(); ++i)
    if (std::find(members[i].begin(), members[i].end(), focused) != members[i].end()) current = i;
  std::string stop;
  const std::size_t next = NextInTabOrder(current, backward, [&](std::size_t i) {
    if (members[i].empty()) return false;
    stop = members[i].front();
    if (members[i].size() > 1)
      for (std::size_t item = 0; item < members[i].size(); ++item)
        if (FView.Checked(FindControl(TabOrder()[i]), static_cast<int>(item)))
          stop = members[i][item];
    return canFocus(stop);
  });
  return next < members.size() ? stop : std::string();
}

std::vector<std::string> FocusChain() {
  std::vector<std::string> chain;
  for (const auto& names : FocusMembers()) chain.insert(chain.end(), names.begin(), names.end());
  return chain;
}

void TOptDialog::Close(bool saved) {
  if (FClosed) return;
  FClosed = true;
  FView.Close(saved);
}

std::optional<std::string> TSpinField::Typed(std::string_view text) {
  switch (CheckSpinText(Def(), text)) {
    case TSpinTextState::Invalid:
      return FText;
    case TSpinTextState::Acceptable:
      FPosition = SpinPositionFromText(Def(), text, FPosition);
      break;
    case TSpinTextState::Intermediate:
      break;
  }
  FText = text;
  return std::nullopt;
}

std::string TSpinField::Show(std::int32_t position) {
  FPosition = position;
  FText = SpinText(Def(), position);
  return FText;
}

std::int32_t TSpinField::Position() const { return SpinPositionFromText(Def(), FText, FPosition); }

int FitStretch(int wide, int room, const std::function<int(int stretch)>& widthAt) {
  int stretch = 100;
  while (wide > room && stretch > MinCaptionStretch) {
    stretch = std::max(MinCaptionStretch, std::min(stretch - 1, stretch * room / wide));
    wide = widthAt(stretch);
  }
  return stretch;
}

TBounds FlatBounds(const TWidgetDef& widget, TBounds bounds) {
  const auto move = [&bounds](const TBounds& by) {
    bounds.Left += by.Left;
    bounds.Top += by.Top;
  };
  if (widget.Kind == TWidgetKind::RadioItem) move(ControlTable()[widget.Control].Bounds);
  if (widget.Place == TPlace::ThemeGroup) move(ThemeGroupFrame().Bounds);
  return bounds;
}

std::string ParentName(const TWidgetDef& widget) {
  if (widget.Kind == TWidgetKind::RadioItem) return ControlTable()[widget.Control].Name;
  switch (widget.Place) {
    case TPlace::ThemeGroup:
      return ThemeGroupFrame().Name;
    case TPlace::Tab:
      return TabTable().at(static_cast<std::size_t>(widget.Tab)).Name;
    case TPlace::Form:
      break;
  }
  return std::string();
}

int CaptionRoom(TWidgetKind kind, int width, int indicator) {
  if (kind == TWidgetKind::Label) return width;
  if (kind == TWidgetKind::CheckBox || kind == TWidgetKind::RadioItem) return width - indicator;
  return 0;
}

TBounds CentreIn(const TBounds& area, int width, int height) {
  return {area.Left + (area.Width - width) / 2, area.Top + (area.Height - height) / 2, width,
          height};
}

int TurnPage(int current, bool backward) {
  const auto count = static_cast<int>(TabTable().size());
  return (current + (backward ? count - 1 : 1)) % count;
}

const TFontDef& FontOf(TFontRole role) {
  return role == TFontRole::Title     ? TitleFont
         : role == TFontRole::Version ? VersionFont
                                      : DialogFont;
}

std::vector<std::string> FontFaces(TFontRole role) {
  std::vector<std::string> faces{FontOf(role).Family};
  for (const char* standIn : FontOf(role).StandIns)
    if (standIn) faces.emplace_back(standIn);
  if (role == TFontRole::Dialog) faces.insert(faces.end(), {"VL PGothic", "Noto Sans CJK JP"});
  return faces;
}

std::string ChooseFace(TFontRole role, const std::function<bool(const std::string&)>& installed) {
  const TFontDef& font = FontOf(role);
  if (installed(font.Family)) return font.Family;
  for (const char* standIn : font.StandIns)
    if (standIn && installed(standIn)) return standIn;
  return font.Family;
}

std::size_t NextInTabOrder(std::size_t current, bool backward,
                           const std::function<bool(std::size_t)>& canFocus) {
  const std::size_t count = TabOrder().size();
  for (std::size_t step = 1; step <= count; ++step) {
    std::size_t next;
    if (current >= count)
      next = backward ? count - step : step - 1;
    else
      next = backward ? (current + count - step) % count : (current + step) % count;
    if (canFocus(next)) return next;
  }
  return count;
}

}  // namespace moonglow
