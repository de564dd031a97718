#include "qt/OptDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <exception>

#include "settings/IniFile.h"

// The icon lives in a resource file compiled into a static library, whose
// registration the linker would otherwise drop.
static void InitDialogResources() { Q_INIT_RESOURCE(moonglow); }

namespace moonglow {

namespace {

const char* const IconResource = ":/moonglow/moonglow.png";

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QRect Rect(const TBounds& r) { return QRect(r.Left, r.Top, r.Width, r.Height); }

// The layout's own face first, then its stand-ins of the same widths, then
// whatever Japanese proportional gothic this machine has.
QFont FontFor(TFontRole role) {
  const TFontDef& def = role == TFontRole::Title     ? TitleFont
                        : role == TFontRole::Version ? VersionFont
                                                     : DialogFont;
  QStringList families{QString::fromUtf8(def.Family)};
  for (const char* standIn : def.StandIns)
    if (standIn) families.append(QString::fromUtf8(standIn));
  if (role == TFontRole::Dialog) families.append({"VL PGothic", "Noto Sans CJK JP"});
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(def.PixelHeight);
  font.setBold(def.Bold);
  return font;
}

int TextWidth(const QFont& font, const QString& text) {
  return QFontMetrics(font).horizontalAdvance(text);
}

// Measured in the font the widget draws with, so set that font first.
void FitToWidth(QWidget* w, const QString& text, int room) {
  QFont f = w->font();
  const int stretch = FitStretch(TextWidth(f, text), room, [&](int tried) {
    f.setStretch(tried);
    return TextWidth(f, text);
  });
  if (stretch == 100) return;
  f.setStretch(stretch);
  w->setFont(f);
}

// The width a check box or radio button keeps for its indicator and the gap
// before its text.
int IndicatorRoom(const QWidget* w, bool radio) {
  const QStyle* style = w->style();
  return radio ? style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
                     style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w)
               : style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                     style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
}

QLabel* MakeLabel(QWidget* parent, const std::string& name, const std::string& caption,
                  const TBounds& bounds, TFontRole font = TFontRole::Dialog) {
  auto* label = new QLabel(Text(caption), parent);
  label->setObjectName(Text(name));
  if (font != TFontRole::Dialog) label->setFont(FontFor(font));
  label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  // The layout gives a caption the height of a line of the face it was drawn
  // in. A taller stand-in keeps the caption's foot where the layout puts it
  // and grows upwards, away from the control below it.
  QRect r = Rect(bounds);
  const int line = QFontMetrics(label->font()).height();
  if (line > r.height()) r.setTop(r.bottom() + 1 - line);
  label->setGeometry(r);
  FitToWidth(label, label->text(), bounds.Width);
  return label;
}

// A group box drawn as the layout expects it: the frame's top edge runs
// through the middle of the caption, which covers it, so the whole box below
// the caption's line is free for the controls the layout places there. (Some
// styles start the frame below the caption, where the layout has controls.)
class TGroupFrame : public QGroupBox {
 public:
  TGroupFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    constexpr int Indent = 8;
    constexpr int Pad = 2;
    const QRect text(Indent, 0, metrics.horizontalAdvance(title()) + 2 * Pad, line);
    // Drawn here rather than by the style, which decides itself where a
    // titled frame starts; the frame is left out behind the caption, so the
    // caption shows on whatever the box stands on.
    if (!title().isEmpty()) painter.setClipRegion(QRegion(rect()).subtracted(QRegion(text)));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Window).darker(135));
    painter.drawRoundedRect(
        QRectF(rect().adjusted(0, line / 2, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    if (title().isEmpty()) return;
    painter.setClipping(false);
    style()->drawItemText(&painter, text, Qt::AlignCenter, palette(), isEnabled(), title(),
                          QPalette::WindowText);
  }
};

// A spin box whose edit field follows the dialog's rules for typed text:
// keystrokes that cannot make a number are refused, and when editing ends a
// number is clamped into the range while anything else falls back to the
// last position.
class TSpinEdit : public QSpinBox {
 public:
  TSpinEdit(const TControlDef& def, QWidget* parent) : QSpinBox(parent), FDef(def) {}

 protected:
  QValidator::State validate(QString& input, int&) const override {
    switch (CheckSpinText(FDef, input.toStdString())) {
      case TSpinTextState::Acceptable:
        return QValidator::Acceptable;
      case TSpinTextState::Intermediate:
        return QValidator::Intermediate;
      case TSpinTextState::Invalid:
        break;
    }
    return QValidator::Invalid;
  }
  void fixup(QString& input) const override {
    input = Text(SpinText(FDef, SpinPositionFromText(FDef, input.toStdString(), value())));
  }
  int valueFromText(const QString& text) const override {
    return SpinPositionFromText(FDef, text.toStdString(), value());
  }
  QString textFromValue(int value) const override { return Text(SpinText(FDef, value)); }

 private:
  const TControlDef& FDef;
};

}  // namespace

TOptDialogView::TOptDialogView(const std::string& settingsPath, QWidget* parent)
    : QDialog(parent), FDialog(*this, settingsPath) {
  InitDialogResources();
  setWindowTitle(QString::fromUtf8(DialogCaption));
  setWindowIcon(QIcon(QString::fromUtf8(IconResource)));
  // A fixed dialog frame with the close box only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(FontFor(TFontRole::Dialog));
  setFixedSize(ClientWidth, ClientHeight);
  CreateHeader();
  CreateThemeGroup();
  CreatePages();
  CreateControls();
  CreateButtons();
  SetTabOrder();
  FDialog.FormCreate();
  // Taken when the window is first activated.
  if (QWidget* first = findChild<QWidget*>(Text(InitialFocus()))) first->setFocus();
}

TOptDialogView::~TOptDialogView() = default;

void TOptDialogView::CreateHeader() {
  auto* icon = new QLabel(this);
  icon->setObjectName(Text(IconFrame().Name));
  icon->setGeometry(Rect(IconFrame().Bounds));
  icon->setPixmap(QIcon(QString::fromUtf8(IconResource))
                      .pixmap(IconFrame().Bounds.Width, IconFrame().Bounds.Height));

  for (const TStaticDef& s : StaticTable()) {
    if (s.Place != TPlace::Form) continue;
    QLabel* label = MakeLabel(this, s.Name, s.Caption, s.Bounds, s.Font);
    if (s.Centred) label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  }

  // The rule is drawn along the top edge of its place, as a sunken line.
  auto* rule = new QFrame(this);
  rule->setObjectName(Text(RuleFrame().Name));
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  const TBounds r = RuleFrame().Bounds;
  rule->setGeometry(r.Left, r.Top, r.Width, 2);
}

void TOptDialogView::CreateThemeGroup() {
  FThemeGroup = new TGroupFrame(Text(ThemeGroupFrame().Caption), this);
  FThemeGroup->setObjectName(Text(ThemeGroupFrame().Name));
  FThemeGroup->setGeometry(Rect(ThemeGroupFrame().Bounds));
  for (const TStaticDef& s : StaticTable())
    if (s.Place == TPlace::ThemeGroup) MakeLabel(FThemeGroup, s.Name, s.Caption, s.Bounds);
}

void TOptDialogView::CreatePages() {
  FPageControl = new QTabWidget(this);
  FPageControl->setObjectName(Text(PageControlFrame().Name));
  FPageControl->setGeometry(Rect(PageControlFrame().Bounds));
  for (std::size_t i = 0; i < TabTable().size() && i < FPages.size(); ++i) {
    const TTabDef& tab = TabTable()[i];
    auto* page = new QWidget;
    page->setObjectName(Text(tab.Name));
    MakeLabel(page, tab.Name + "Description", tab.Description, tab.DescriptionBounds);
    FPageControl->addTab(page, Text(tab.Caption));
    FPages[i] = page;
  }
  FPageControl->setCurrentIndex(0);
}

QWidget* TOptDialogView::ParentFor(TPlace place, int tab) const {
  switch (place) {
    case TPlace::ThemeGroup:
      return FThemeGroup;
    case TPlace::Tab:
      return FPages.at(static_cast<std::size_t>(tab));
    case TPlace::Form:
      break;
  }
  return const_cast<TOptDialogView*>(this);
}

void TOptDialogView::CreateControls() {
  const auto& table = ControlTable();
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const TControlDef& c = table[i];
    QWidget* parent = ParentFor(c.Place, c.Tab);
    TBoundControl& bound = FControls[i];
    QWidget* widget = nullptr;
    switch (c.Kind) {
      case TControlKind::SpinBox: {
        auto* spin = new TSpinEdit(c, parent);
        spin->setRange(c.Min, c.Max);
        spin->setSingleStep(c.Step);
        spin->setWrapping(false);
        spin->setGroupSeparatorShown(c.Thousands);
        spin->setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
        // One widget holds both the edit field and its up-down.
        spin->setGeometry(c.Bounds.Left, c.Bounds.Top,
                          c.SpinBounds.Left + c.SpinBounds.Width - c.Bounds.Left, c.Bounds.Height);
        bound.Spin = spin;
        widget = spin;
        break;
      }
      case TControlKind::Slider: {
        auto* slider = new QSlider(Qt::Horizontal, parent);
        slider->setRange(c.Min, c.Max);
        slider->setSingleStep(c.Step);
        slider->setPageStep(c.PageStep);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(c.TickEvery);
        slider->setGeometry(Rect(c.Bounds));
        connect(slider, &QSlider::valueChanged, this,
                [this, i](int position) { FDialog.TrackBarChange(i, position); });
        bound.Slider = slider;
        widget = slider;
        break;
      }
      case TControlKind::CheckBox: {
        auto* check = new QCheckBox(Text(c.Caption), parent);
        check->setGeometry(Rect(c.Bounds));
        FitToWidth(check, check->text(), c.Bounds.Width - IndicatorRoom(check, false));
        bound.Check = check;
        widget = check;
        break;
      }
      case TControlKind::RadioGroup: {
        auto* group = new TGroupFrame(Text(c.Caption), parent);
        group->setGeometry(Rect(c.Bounds));
        bound.Radio = new QButtonGroup(group);
        for (int item = 0; item < static_cast<int>(RadioItems().size()); ++item) {
          auto* radio = new QRadioButton(Text(RadioItems()[static_cast<std::size_t>(item)]), group);
          radio->setObjectName(Text(c.Name + "Item" + std::to_string(item)));
          const TBounds itemBounds = RadioItemBounds(c.Bounds, item);
          radio->setGeometry(Rect(itemBounds));
          FitToWidth(radio, radio->text(), itemBounds.Width - IndicatorRoom(radio, true));
          bound.Radio->addButton(radio, item);
        }
        widget = group;
        break;
      }
      case TControlKind::None:
        continue;
    }
    widget->setObjectName(Text(c.Name));
    if (!c.Hint.empty()) widget->setToolTip(Text(c.Hint));
    if (c.Kind == TControlKind::SpinBox || c.Kind == TControlKind::Slider) {
      bound.Caption = MakeLabel(parent, c.CaptionName, c.Caption, c.CaptionBounds);
      bound.Caption->setEnabled(c.Enabled);
      if (!c.Visible) bound.Caption->hide();
    }
    widget->setEnabled(c.Enabled);
    // Hidden controls are still built: they take part in every transfer.
    if (!c.Visible) widget->hide();
  }
}

void TOptDialogView::CreateButtons() {
  for (std::size_t i = 0; i < ButtonTable().size(); ++i) {
    const TButtonDef& b = ButtonTable()[i];
    auto* button = new QPushButton(Text(b.Caption), this);
    button->setObjectName(Text(b.Name));
    button->setGeometry(Rect(b.Bounds));
    // A focused button takes Enter for itself; otherwise Enter goes to the
    // default button.
    button->setAutoDefault(true);
    button->setDefault(b.Default);
    FButtons[i] = button;
  }
  connect(FButtons[ButtonOk], &QPushButton::clicked, this, [this] { FDialog.ButtonOkClick(); });
  connect(FButtons[ButtonCancel], &QPushButton::clicked, this,
          [this] { FDialog.ButtonCancelClick(); });
  connect(FButtons[ButtonInitial], &QPushButton::clicked, this,
          [this] { FDialog.ButtonInitialClick(); });
}

void TOptDialogView::SetTabOrder() {
  QWidget* previous = nullptr;
  auto chain = [&](QWidget* w) {
    if (!w) return;
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  };
  for (const std::string& name : TabOrder()) {
    const std::size_t i = FindControl(name);
    if (i < ControlCount && FControls[i].Radio) {
      for (QAbstractButton* b : FControls[i].Radio->buttons()) chain(b);
      continue;
    }
    chain(findChild<QWidget*>(Text(name)));
  }
}

TControlValues TOptDialogView::ReadValues() {
  // Text still being typed counts as if its field had been left.
  for (const TBoundControl& b : FControls)
    if (b.Spin) b.Spin->interpretText();
  TControlValues values{};
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const TBoundControl& b = FControls[i];
    if (b.Spin)
      values[i] = b.Spin->value();
    else if (b.Slider)
      values[i] = b.Slider->value();
    else if (b.Check)
      values[i] = b.Check->isChecked() ? 1 : 0;
    else if (b.Radio)
      values[i] = b.Radio->checkedId();
  }
  return values;
}

void TOptDialogView::ShowValues(const TControlValues& values) {
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const TBoundControl& b = FControls[i];
    if (b.Spin) {
      b.Spin->setValue(values[i]);
    } else if (b.Slider) {
      b.Slider->setValue(values[i]);
    } else if (b.Check) {
      b.Check->setChecked(values[i] != 0);
    } else if (b.Radio) {
      if (QAbstractButton* item = b.Radio->button(values[i])) item->setChecked(true);
    }
  }
}

void TOptDialogView::ShowError(const std::string& message) {
  QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), Text(message));
}

void TOptDialogView::Close(bool saved) { QDialog::done(saved ? Accepted : Rejected); }

void TOptDialogView::reject() { FDialog.ButtonCancelClick(); }

}  // namespace moonglow
