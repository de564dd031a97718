#include "qt/OptDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>

// The icon lives in a resource file compiled into a static library, whose
// registration the linker would otherwise drop.
static void InitDialogResources() { Q_INIT_RESOURCE(moonglow); }

namespace moonglow {

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The widget named `name` in the dialog's tables, inside `in`.
template <class T>
T* Find(const QWidget* in, const std::string& name) {
  return in->findChild<T*>(Text(name));
}

QRect Rect(const TBounds& r) { return QRect(r.Left, r.Top, r.Width, r.Height); }

QFont FontFor(TFontRole role) {
  QStringList families;
  for (const std::string& face : FontFaces(role)) families.append(Text(face));
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(FontOf(role).PixelHeight);
  font.setBold(FontOf(role).Bold);
  return font;
}

int TextWidth(const QFont& font, const QString& text) {
  return QFontMetrics(font).horizontalAdvance(text);
}

// Measured in the font the widget draws with, so set that font first.
void FitToWidth(QWidget* w, const QString& text, int room) {
  if (room <= 0) return;
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
  TSpinEdit(const TControlDef& def, QWidget* parent) : QSpinBox(parent), FDef(def) {
    setRange(def.Min, def.Max);
    setSingleStep(def.Step);
    setGroupSeparatorShown(def.Thousands);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  }

 protected:
  // The core's states are the validator's, in the same order.
  QValidator::State validate(QString& input, int&) const override {
    static_assert(int(TSpinTextState::Intermediate) == QValidator::Intermediate &&
                  int(TSpinTextState::Acceptable) == QValidator::Acceptable);
    return static_cast<QValidator::State>(CheckSpinText(FDef, input.toStdString()));
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

TOptDialogView::TOptDialogView(const std::string& settingsPath, QWidget* parent,
                               IFileServices& files)
    : QDialog(parent), FDialog(*this, settingsPath, files) {
  InitDialogResources();
  setWindowTitle(QString::fromUtf8(DialogCaption));
  setWindowIcon(QIcon(QStringLiteral(":/moonglow/moonglow.png")));
  // A fixed dialog frame with the close box only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(FontFor(TFontRole::Dialog));
  setFixedSize(ClientWidth, ClientHeight);
  for (const TWidgetDef& w : Widgets()) MakeWidget(w);
  const std::vector<std::string> chain = FocusChain();
  for (std::size_t i = 1; i < chain.size(); ++i)
    QWidget::setTabOrder(Find<QWidget>(this, chain[i - 1]), Find<QWidget>(this, chain[i]));
  FDialog.FormCreate();
  // Taken when the window is first activated.
  if (QWidget* first = Find<QWidget>(this, InitialFocus())) first->setFocus();
}

void TOptDialogView::MakeWidget(const TWidgetDef& w) {
  const std::string parentName = ParentName(w);
  QWidget* parent = parentName.empty() ? this : Find<QWidget>(this, parentName);
  const TControlDef* c = w.Control < ControlCount ? &ControlTable()[w.Control] : nullptr;
  QWidget* made = nullptr;
  switch (w.Kind) {
    case TWidgetKind::Icon: {
      auto* icon = new QLabel(parent);
      icon->setPixmap(windowIcon().pixmap(w.Bounds.Width, w.Bounds.Height));
      made = icon;
      break;
    }
    case TWidgetKind::Label: {
      auto* label = new QLabel(Text(w.Caption), parent);
      if (w.Font != TFontRole::Dialog) label->setFont(FontFor(w.Font));
      label->setAlignment((w.Centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignBottom);
      label->setGeometry(Rect(CaptionToLine(w.Bounds, QFontMetrics(label->font()).height())));
      made = label;
      break;
    }
    case TWidgetKind::Rule: {
      // Drawn along the top edge of its place, as a sunken line.
      auto* rule = new QFrame(parent);
      rule->setFrameShape(QFrame::HLine);
      rule->setFrameShadow(QFrame::Sunken);
      rule->setGeometry(w.Bounds.Left, w.Bounds.Top, w.Bounds.Width, 2);
      rule->setObjectName(Text(w.Name));
      return;
    }
    case TWidgetKind::GroupBox:
      made = new TGroupFrame(Text(w.Caption), parent);
      break;
    case TWidgetKind::Tabs: {
      auto* tabs = new QTabWidget(parent);
      for (const TTabDef& tab : TabTable()) {
        auto* page = new QWidget;
        page->setObjectName(Text(tab.Name));
        tabs->addTab(page, Text(tab.Caption));
      }
      tabs->setCurrentIndex(0);
      made = tabs;
      break;
    }
    case TWidgetKind::SpinBox:
      made = new TSpinEdit(*c, parent);
      break;
    case TWidgetKind::Slider: {
      auto* slider = new QSlider(Qt::Horizontal, parent);
      slider->setRange(c->Min, c->Max);
      slider->setSingleStep(c->Step);
      slider->setPageStep(c->PageStep);
      slider->setTickPosition(QSlider::TicksBelow);
      slider->setTickInterval(c->TickEvery);
      const std::size_t i = w.Control;
      connect(slider, &QSlider::valueChanged, this,
              [this, i](int position) { FDialog.TrackBarChange(i, position); });
      made = slider;
      break;
    }
    case TWidgetKind::CheckBox:
      made = new QCheckBox(Text(w.Caption), parent);
      break;
    case TWidgetKind::RadioGroup:
      made = new TGroupFrame(Text(w.Caption), parent);
      new QButtonGroup(made);
      break;
    case TWidgetKind::RadioItem:
      made = new QRadioButton(Text(w.Caption), parent);
      parent->findChild<QButtonGroup*>()->addButton(static_cast<QRadioButton*>(made), w.Item);
      break;
    case TWidgetKind::Button: {
      auto* button = new QPushButton(Text(w.Caption), parent);
      // Enter is the dialog's own (keyPressEvent): Qt's auto-default keeps a
      // button that had the focus as the default after the focus has left it,
      // depending on how the window came to be active.
      button->setAutoDefault(false);
      button->setDefault(ButtonTable()[static_cast<std::size_t>(w.Button)].Default);
      const auto index = static_cast<std::size_t>(w.Button);
      connect(button, &QPushButton::clicked, this, [this, index] { FDialog.ButtonClick(index); });
      made = button;
      break;
    }
  }
  made->setObjectName(Text(w.Name));
  if (w.Kind != TWidgetKind::Label) made->setGeometry(Rect(w.Bounds));
  const int indicator = IndicatorRoom(made, w.Kind == TWidgetKind::RadioItem);
  FitToWidth(made, Text(w.Caption), CaptionRoom(w.Kind, w.Bounds.Width, indicator));
  if (!w.Hint.empty()) made->setToolTip(Text(w.Hint));
  if (c && w.Kind != TWidgetKind::RadioItem) made->setEnabled(w.Enabled);
  // Hidden controls are still built: they take part in every transfer.
  if (!w.Visible) made->hide();
}

void TOptDialogView::SetPosition(std::size_t index, std::int32_t position) {
  Find<QWidget>(this, ControlTable().at(index).Name)->setProperty("value", position);
}

std::int32_t TOptDialogView::Position(std::size_t index) {
  QWidget* control = Find<QWidget>(this, ControlTable().at(index).Name);
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) spin->interpretText();
  return control->property("value").toInt();
}

// A radio group's items are exclusive: its checked item stays so until
// another is checked.
void TOptDialogView::SetChecked(std::size_t index, int item, bool on) {
  Find<QAbstractButton>(this, ItemName(index, item))->setChecked(on);
}

bool TOptDialogView::Checked(std::size_t index, int item) {
  return Find<QAbstractButton>(this, ItemName(index, item))->isChecked();
}

void TOptDialogView::ShowError(const std::string& message) {
  QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), Text(message));
}

void TOptDialogView::Close(bool saved) { QDialog::done(saved ? Accepted : Rejected); }

void TOptDialogView::reject() { FDialog.ButtonCancelClick(); }

void TOptDialogView::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    QDialog::keyPressEvent(event);
    return;
  }
  // A spin box's edit field stands for its spin box, which has the name.
  QWidget* focus = focusWidget();
  if (focus && !qobject_cast<QAbstractButton*>(focus) && focus->parentWidget() &&
      qobject_cast<QAbstractSpinBox*>(focus->parentWidget()))
    focus = focus->parentWidget();
  FDialog.EnterPressed(focus ? focus->objectName().toStdString() : std::string());
}

}  // namespace moonglow
