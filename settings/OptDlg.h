#pragma once

// The options dialog's behaviour without a toolkit: what opening, OK, cancel,
// initial values and a moved slider do, and how a spin box's edit field
// treats typed text. A front end builds its widgets from OptDlgModel's tables,
// implements the four methods of IOptDialogView and forwards its events here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniFile.h"
#include "settings/OptDlgModel.h"

namespace moonglow {

// The dialog's window, as the handlers see it.
class IOptDialogView {
 public:
  virtual ~IOptDialogView() = default;
  // One value per control of ControlTable(), in its order, each put in its
  // control by the setter for the control's kind.
  virtual void ShowValues(const TControlValues& values);
  // What the controls hold, read by the getter for each control's kind.
  virtual TControlValues ReadValues();
  // Control `index` of ControlTable(), a spin box or a slider. Text still
  // being typed in an edit field counts as if its field had been left.
  virtual void SetPosition(std::size_t index, std::int32_t position) = 0;
  virtual std::int32_t Position(std::size_t index) = 0;
  // Item `item` of control `index`: a radio group's item, or 0 for a check
  // box.
  virtual void SetChecked(std::size_t index, int item, bool on) = 0;
  virtual bool Checked(std::size_t index, int item) = 0;
  // The application's error box, over the dialog.
  virtual void ShowError(const std::string& message) = 0;
  // Closes the dialog, which ends the program; `saved` after OK and initial
  // values.
  virtual void Close(bool saved) = 0;
};

class TOptDialog {
 public:
  // The settings file is written through `files`, which outlives the dialog.
  TOptDialog(IOptDialogView& view, std::string settingsPath, IFileServices& files);
  ~TOptDialog();
  TOptDialog(const TOptDialog&) = delete;
  TOptDialog& operator=(const TOptDialog&) = delete;

  // The form's handlers, named as the events they are bound to.
  void FormCreate();
  void FormDestroy();
  void ButtonOkClick();
  // Also Escape and the close box.
  void ButtonCancelClick();
  void ButtonInitialClick();
  // Button `button` of ButtonTable() clicked.
  void ButtonClick(std::size_t button);
  // Enter, with the focus on the widget of Widgets() named `focused` (empty
  // for none): a button takes it for itself; anywhere else it presses the
  // default button, cancel, so that Enter in an edit field never saves. Front
  // ends call this rather than their toolkit's default-button tracking.
  void EnterPressed(std::string_view focused);
  // Control `index` of ControlTable(), a slider, moved to `position`.
  void TrackBarChange(std::size_t index, std::int32_t position);
  // Tab and Shift+Tab from the widget of Widgets() named `focused` (empty for
  // none): the widget to take the focus, entering a radio group at its
  // checked item; empty when no widget that `canFocus` can take it.
  std::string NextFocus(std::string_view focused, bool backward,
                        const std::function<bool(const std::string&)>& canFocus);

  // The record the dialog edits; null before FormCreate and after
  // FormDestroy.
  const TMyIniFile* Settings() const { return FSettings.get(); }
  bool Closed() const { return FClosed; }

 private:
  void Close(bool saved);

  IOptDialogView& FView;
  std::string FSettingsPath;
  IFileServices& FFiles;
  std::unique_ptr<TMyIniFile> FSettings;
  bool FClosed = false;
};

// A spin box's edit field for a front end whose edit control keeps no rules
// of its own: it remembers the last position and the last text that was not
// refused.
class TSpinField {
 public:
  TSpinField() = default;
  explicit TSpinField(std::size_t index) : FIndex(index) {}

  // The user changed the text to `text`. Returns the text to put back when
  // the keystroke is refused; the caret then goes to its end.
  std::optional<std::string> Typed(std::string_view text);
  // The field now shows `position`; returns the text it shows it with.
  std::string Show(std::int32_t position);
  // Editing ended: the text the field shows from now on.
  std::string Left() { return Show(Position()); }
  // The position the field's text gives: a number clamped into the range,
  // else the last position.
  std::int32_t Position() const;

 private:
  const TControlDef& Def() const { return ControlTable().at(FIndex); }

  std::size_t FIndex = 0;
  std::int32_t FPosition = 0;
  std::string FText;
};

// A stand-in font may set a caption wider than the layout's face; rather than
// be cut off, the caption is narrowed. Given the caption's width `wide` at
// its font's own stretch, the room it has, and its width at a stretch in per
// cent, returns the stretch to draw it with: 100 when it fits as it is.
// Glyphs missing from a face come from another one, which may not narrow in
// step, so every try is measured again.
int FitStretch(int wide, int room, const std::function<int(int stretch)>& widthAt);

// For a toolkit whose frames are no parents: `bounds`, given in the place of
// `widget`, in its form or page, a radio item's moved by its group and the
// theme group's controls by the group.
TBounds FlatBounds(const TWidgetDef& widget, TBounds bounds);

// For a toolkit whose frames are parents: the name of the widget whose window
// holds `widget`, a radio group for its items, a frame or a page for its
// controls; empty for the form.
std::string ParentName(const TWidgetDef& widget);

// Captions must show whole in their room: a label's is its `width`, a check
// box's or radio item's what its `indicator` and the gap before its text
// leave. Zero for the kinds whose captions are not fitted.
int CaptionRoom(TWidgetKind kind, int width, int indicator);

// A frame `width` by `height` centred on `area`.
TBounds CentreIn(const TBounds& area, int width, int height);

// Ctrl+Tab and Ctrl+Shift+Tab: the page after (before) page `current` of
// the tabbed control, round from the last to the first.
int TurnPage(int current, bool backward);

// The layout's font for `role`.
const TFontDef& FontOf(TFontRole role);
// For a toolkit that falls back through a list of faces: the layout's face,
// its stand-ins, and for the dialog's own text the Japanese proportional
// gothics that Linux systems have.
std::vector<std::string> FontFaces(TFontRole role);
// For a toolkit that takes one face: the layout's face or else its first
// stand-in that `installed` says the system has. With neither, the layout's
// face all the same, and the system's font mapper picks by character set.
std::string ChooseFace(TFontRole role, const std::function<bool(const std::string&)>& installed);

// Tab and Shift+Tab: the entry of TabOrder() after (before) `current`, which
// is TabOrder().size() when the focus is on none of them, skipping entries
// that cannot take the focus now. Returns TabOrder().size() when none can.
std::size_t NextInTabOrder(std::size_t current, bool backward,
                           const std::function<bool(std::size_t)>& canFocus);

// The widgets of Widgets() that take the focus, by name in tab order: a
// radio group by its items, frames not at all.
std::vector<std::string> FocusChain();

}  // namespace moonglow
