#include "qt/OptDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "settings/IniFile.h"
#include "settings/OptDlgModel.h"
#include "settings/Version.h"
#include "tests/DistinctControls.h"

namespace moonglow {
namespace {

// A settings file as a user might have left it: hand-edited, with a comment,
// odd spacing, values the dialog's boxes cannot show, and the first-run flag.
const char* const UserFile =
    "; my saver\r\n"
    "[Environment]\r\n"
    "FirstRun=0\r\n"
    "FireCount = 7\r\n"
    "gFactor=4\r\n"
    "kFactor=20\r\n"
    "VNoise=37\r\n"
    "DNoise=13\r\n"
    "[Theme]\r\n"
    "AllCastPer=10\r\n"
    "ShidarePer=20\r\n"
    "HanaichiPer=30\r\n"
    "BotanPer=40\r\n"
    "RanbuPer=50\r\n"
    "[Kiku]\r\n"
    "V=70000\r\n"
    "SeedCount=5\r\n";

class OptDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FPath = FDir.filePath("ZELMoonGlow3xx.ini").toStdString();
  }
  void TearDown() override {
    // A failed test may leave the file without write bits; the temporary
    // directory must still go.
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }

  void WriteFile(const char* text) {
    QFile f(QString::fromStdString(FPath));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QByteArray ReadFile() const {
    QFile f(QString::fromStdString(FPath));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  bool FileExists() const { return std::filesystem::exists(FPath); }
  TMyIniFile ReadBack() const {
    TMyIniFile s(FPath);
    s.ReadSettings();
    return s;
  }

  std::unique_ptr<TOptDialogView> Open() {
    auto dlg = std::make_unique<TOptDialogView>(FPath);
    dlg->show();
    dlg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    return dlg;
  }

  template <class T>
  static T* Child(const QWidget& dlg, const std::string& name) {
    T* w = dlg.findChild<T*>(QString::fromStdString(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static QPushButton* Button(const QWidget& dlg, TButtonIndex i) {
    return Child<QPushButton>(dlg, ButtonTable()[i].Name);
  }

  QTemporaryDir FDir;
  std::string FPath;
};

// Runs `answer` on the first modal box that opens while `action` runs.
void WhileModal(const std::function<void()>& action, const std::function<void(QWidget*)>& answer) {
  bool answered = false;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (answered) return;
    if (QWidget* modal = QApplication::activeModalWidget()) {
      answered = true;
      answer(modal);
    }
  });
  poll.start();
  action();
  poll.stop();
  EXPECT_TRUE(answered) << "no modal box appeared";
}

// ---------------------------------------------------------------------------
// Ways out: each key and button reaches the dialog's own handler, which its
// core suite checks with a fake window.

TEST_F(OptDlgTest, EveryWayOutReachesItsHandler) {
  WriteFile(UserFile);
  const QByteArray before = ReadFile();
  // Enter after a number is typed: the spin box must not swallow it, nor an
  // auto-default button take it, whether or not the window has the focus.
  const auto typeThenEnter = [](int page, const char* field) {
    return [=](QDialog& d) {
      Child<QTabWidget>(d, "PageControl")->setCurrentIndex(page);
      QSpinBox* spin = Child<QSpinBox>(d, field);
      spin->setFocus();
      spin->selectAll();
      QTest::keyClicks(spin, "12");
      QTest::keyClick(spin, Qt::Key_Return);
    };
  };
  const std::vector<std::pair<const char*, std::function<void(QDialog&)>>> cancels{
      {"Escape",
       [](QDialog& d) { QTest::keyClick(Child<QSpinBox>(d, "UpDownFireCount"), Qt::Key_Escape); }},
      {"the close box", [](QDialog& d) { EXPECT_TRUE(d.close()); }},
      {"the cancel button",
       [](QDialog& d) { QTest::mouseClick(Button(d, ButtonCancel), Qt::LeftButton); }},
      {"Enter in a field", typeThenEnter(0, "UpDowngFactor")},
      {"Enter in a page's field", typeThenEnter(4, "UpDownVHachi")},
      {"Enter on a check box",
       [](QDialog& d) {
         QCheckBox* check = Child<QCheckBox>(d, "CheckBoxDrawLaunchKiku");
         check->setFocus();
         QTest::keyClick(check, Qt::Key_Enter);
       }},
  };
  for (const auto& [way, act] : cancels) {
    auto dlg = Open();
    act(*dlg);
    EXPECT_FALSE(dlg->isVisible()) << way;
    EXPECT_EQ(dlg->result(), QDialog::Rejected) << way;
  }
  EXPECT_EQ(ReadFile(), before);

  auto dlg = Open();
  QTest::mouseClick(Button(*dlg, ButtonInitial), Qt::LeftButton);
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(LoadControls(ReadBack()), DefaultControls());
}

// ---------------------------------------------------------------------------
// Saving: OK and initial values.

TEST_F(OptDlgTest, OpensOnOkSoEnterAtOnceSaves) {
  auto dlg = Open();
  QApplication::setActiveWindow(dlg.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  EXPECT_EQ(focus->objectName().toStdString(), InitialFocus());
  EXPECT_EQ(focus, Button(*dlg, ButtonOk));
  // No theme weight moves on an arrow key before the user picks a control.
  QTest::keyClick(focus, Qt::Key_Right);
  EXPECT_EQ(Child<QSlider>(*dlg, "TrackBarAllCast")->value(), 40);

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_TRUE(FileExists());
}

TEST_F(OptDlgTest, OkCarriesEveryControlThroughTheWidgets) {
  const TControlValues values = DistinctControls();
  TMyIniFile custom(FPath);
  custom.LoadDefaults();
  ASSERT_FALSE(CommitControls(values, custom));
  auto dlg = Open();
  // A number still being typed counts as if its field had been left.
  QSpinBox* count = Child<QSpinBox>(*dlg, "UpDownFireCount");
  count->setFocus();
  count->selectAll();
  QTest::keyClicks(count, "3");
  QTest::mouseClick(Button(*dlg, ButtonOk), Qt::LeftButton);
  EXPECT_FALSE(dlg->isVisible());
  TControlValues expected = values;
  expected[FindControl("UpDownFireCount")] = 3;
  EXPECT_EQ(LoadControls(ReadBack()), expected);
}

// What the file refuses is told in the application's error box.
TEST_F(OptDlgTest, ARefusedWriteIsShownInAnErrorBox) {
  WriteFile(UserFile);
  auto dlg = Open();
  namespace fs = std::filesystem;
  fs::permissions(FPath, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  QString title, text;
  WhileModal([&] { QTest::mouseClick(Button(*dlg, ButtonOk), Qt::LeftButton); },
             [&](QWidget* modal) {
               auto* box = qobject_cast<QMessageBox*>(modal);
               ASSERT_NE(box, nullptr);
               title = box->windowTitle();
               text = box->text();
               EXPECT_EQ(box->icon(), QMessageBox::Critical);
               box->accept();
             });
  EXPECT_EQ(text, QString::fromStdString(FPath) + QString::fromUtf8(" に書き込めません"));
  EXPECT_EQ(title, QGuiApplication::applicationDisplayName());
  EXPECT_TRUE(dlg->isVisible());
}

// ---------------------------------------------------------------------------
// Widgets: what the user sees and how the keys act.

TEST_F(OptDlgTest, WidgetsMatchTheControlTable) {
  auto dlg = Open();
  EXPECT_EQ(dlg->windowTitle(), "Moonglow Setup");
  EXPECT_EQ(dlg->size(), QSize(367, 434));
  EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
  EXPECT_FALSE(dlg->windowIcon().isNull());
  EXPECT_EQ(Child<QLabel>(*dlg, "LabelVersion")->text(), VersionName);
  // OK holds the focus at opening and so takes Enter; away from the buttons,
  // cancel is the default.
  QApplication::setActiveWindow(dlg.get());
  Child<QSpinBox>(*dlg, "UpDownFireCount")->setFocus();
  EXPECT_TRUE(Button(*dlg, ButtonCancel)->isDefault());
  for (std::size_t b = 0; b < ButtonTable().size(); ++b)
    EXPECT_EQ(Button(*dlg, TButtonIndex(b))->text().toStdString(), ButtonTable()[b].Caption);
  EXPECT_EQ(Button(*dlg, ButtonOk)->geometry(), QRect(12, 404, 80, 25));

  QTabWidget* pages = Child<QTabWidget>(*dlg, "PageControl");
  ASSERT_EQ(pages->count(), 5);
  EXPECT_EQ(pages->currentIndex(), 0);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(pages->tabText(i).toStdString(), TabTable()[static_cast<std::size_t>(i)].Caption);

  for (const TControlDef& c : ControlTable()) {
    SCOPED_TRACE(c.Name);
    QWidget* w = Child<QWidget>(*dlg, c.Name);
    if (!w) continue;
    EXPECT_EQ(w->toolTip().toStdString(), c.Hint);
    EXPECT_EQ(w->isEnabled(), c.Enabled);
    EXPECT_EQ(!w->isHidden(), c.Visible);
    if (auto* spin = qobject_cast<QSpinBox*>(w)) {
      EXPECT_EQ(spin->minimum(), c.Min);
      EXPECT_EQ(spin->maximum(), c.Max);
      EXPECT_EQ(spin->singleStep(), c.Step);
      EXPECT_FALSE(spin->wrapping());
      EXPECT_EQ(spin->isGroupSeparatorShown(), c.Thousands);
      EXPECT_EQ(spin->geometry(), QRect(c.Bounds.Left, c.Bounds.Top, 64, 20));
      QLabel* caption = Child<QLabel>(*dlg, c.CaptionName);
      EXPECT_EQ(caption->text().toStdString(), c.Caption);
      // The caption stands on its field; a taller font grows it upwards.
      EXPECT_EQ(caption->geometry().bottom() + 1, c.Bounds.Top);
      EXPECT_EQ(caption->isEnabled(), c.Enabled);
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
      EXPECT_EQ(slider->minimum(), 0);
      EXPECT_EQ(slider->maximum(), 100);
      EXPECT_EQ(slider->singleStep(), 10);
      EXPECT_EQ(slider->pageStep(), 20);
      EXPECT_EQ(slider->tickInterval(), 10);
      EXPECT_EQ(slider->tickPosition(), QSlider::TicksBelow);
      EXPECT_EQ(slider->parentWidget()->objectName(), "GroupBoxTheme");
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
      EXPECT_EQ(check->text().toStdString(), c.Caption);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      EXPECT_EQ(group->title().toStdString(), c.Caption);
      const auto items = group->findChildren<QRadioButton*>();
      ASSERT_EQ(items.size(), 3);
      EXPECT_EQ(items[2]->text(), QString::fromUtf8("ﾗﾝﾀﾞﾑ"));
    } else {
      ADD_FAILURE() << "unexpected widget kind";
    }
  }
}

// Text set in `w`'s own font, as wide as it draws.
int DrawnWidth(const QWidget& w, const QString& text) {
  return QFontMetrics(w.font()).horizontalAdvance(text);
}

// `w`'s rectangle in the coordinates of `top`.
QRect RectIn(const QWidget& top, const QWidget& w) {
  return QRect(w.mapTo(&top, QPoint(0, 0)), w.size());
}

// Every caption shows whole, in the font it is drawn in, and stays clear of
// the control it names; checked on every page.
void ExpectCaptionsWholeAndClear(const QDialog& dlg) {
  auto child = [&](const std::string& name) {
    return dlg.findChild<QWidget*>(QString::fromStdString(name));
  };
  for (const TStaticDef& s : StaticTable()) {
    auto* label = qobject_cast<QLabel*>(child(s.Name));
    ASSERT_NE(label, nullptr) << s.Name;
    EXPECT_LE(DrawnWidth(*label, label->text()), label->contentsRect().width()) << s.Name;
    EXPECT_GE(label->height(), QFontMetrics(label->font()).height()) << s.Name;
  }
  for (const TTabDef& tab : TabTable()) {
    auto* label = qobject_cast<QLabel*>(child(tab.Name + "Description"));
    ASSERT_NE(label, nullptr) << tab.Name;
    EXPECT_LE(DrawnWidth(*label, label->text()), label->contentsRect().width()) << tab.Name;
  }
  const auto indicator = [](const QWidget& w, QStyle::PixelMetric a, QStyle::PixelMetric b) {
    return w.style()->pixelMetric(a, nullptr, &w) + w.style()->pixelMetric(b, nullptr, &w);
  };
  for (const TControlDef& c : ControlTable()) {
    SCOPED_TRACE(c.Name);
    QWidget* control = child(c.Name);
    ASSERT_NE(control, nullptr);
    if (auto* check = qobject_cast<QCheckBox*>(control)) {
      EXPECT_LE(DrawnWidth(*check, check->text()) +
                    indicator(*check, QStyle::PM_IndicatorWidth, QStyle::PM_CheckBoxLabelSpacing),
                check->width());
    }
    for (auto* radio : control->findChildren<QRadioButton*>()) {
      EXPECT_LE(
          DrawnWidth(*radio, radio->text()) + indicator(*radio, QStyle::PM_ExclusiveIndicatorWidth,
                                                        QStyle::PM_RadioButtonLabelSpacing),
          radio->width())
          << radio->text().toStdString();
    }
    if (c.CaptionName.empty()) continue;
    auto* caption = qobject_cast<QLabel*>(child(c.CaptionName));
    ASSERT_NE(caption, nullptr);
    EXPECT_LE(DrawnWidth(*caption, caption->text()), caption->contentsRect().width());
    EXPECT_GE(caption->height(), QFontMetrics(caption->font()).height());
    EXPECT_FALSE(RectIn(dlg, *caption).intersects(RectIn(dlg, *control)))
        << "caption " << RectIn(dlg, *caption).x() << "+" << RectIn(dlg, *caption).width()
        << " control " << RectIn(dlg, *control).x();
  }
}

TEST_F(OptDlgTest, CaptionsShowWholeBesideTheirControls) {
  auto dlg = Open();
  // The header title is set in its own bold face, not the dialog's.
  QLabel* title = Child<QLabel>(*dlg, "LabelTitle");
  EXPECT_TRUE(title->font().bold());
  EXPECT_EQ(title->font().pixelSize(), 13);
  QTabWidget* pages = Child<QTabWidget>(*dlg, "PageControl");
  for (int page = 0; page < pages->count(); ++page) {
    SCOPED_TRACE(page);
    pages->setCurrentIndex(page);
    ExpectCaptionsWholeAndClear(*dlg);
  }
}

// The same on a system without the layout's fonts or their stand-ins: the
// test program runs itself again with a font configuration that offers only
// faces of other widths.
TEST_F(OptDlgTest, CaptionsShowWholeWithoutTheLayoutsFonts) {
  if (qEnvironmentVariableIsSet("MOONGLOW_OTHER_FONTS")) {
    const QStringList families = QFontDatabase::families();
    EXPECT_FALSE(families.contains("IPAPGothic"));
    EXPECT_FALSE(families.contains("Liberation Sans"));
    auto dlg = Open();
    for (int page = 0; page < 5; ++page) {
      Child<QTabWidget>(*dlg, "PageControl")->setCurrentIndex(page);
      ExpectCaptionsWholeAndClear(*dlg);
    }
    return;
  }
  QStringList dirs;
  for (const char* dir : {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/opentype/noto",
                          "/usr/share/fonts/truetype/noto"})
    if (std::filesystem::is_directory(dir)) dirs << dir;
  if (dirs.isEmpty()) GTEST_SKIP() << "no other faces to try";
  QFile conf(FDir.filePath("fonts.conf"));
  ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
  conf.write("<?xml version=\"1.0\"?>\n<fontconfig>\n");
  for (const QString& dir : dirs) conf.write("<dir>" + dir.toUtf8() + "</dir>\n");
  conf.write("<cachedir>" + FDir.filePath("cache").toUtf8() + "</cachedir>\n</fontconfig>\n");
  conf.close();

  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FONTCONFIG_FILE", conf.fileName());
  env.insert("MOONGLOW_OTHER_FONTS", "1");
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=OptDlgTest.CaptionsShowWholeWithoutTheLayoutsFonts"});
  ASSERT_TRUE(child.waitForFinished(60000));
  const QByteArray output = child.readAll();
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// The spin boxes take the core's rules for typed text: a letter is refused
// as it is typed, and a number beyond the range is clamped, and grouped,
// when the field is left.
TEST_F(OptDlgTest, SpinBoxesTypeByTheSharedRules) {
  auto dlg = Open();
  QSpinBox* speed = Child<QSpinBox>(*dlg, "UpDownVKiku");
  speed->setFocus();
  speed->selectAll();
  QTest::keyClicks(speed, "5a000");
  EXPECT_EQ(speed->text(), "5000");
  Child<QSpinBox>(*dlg, "UpDownFireCount")->setFocus();
  EXPECT_EQ(speed->text(), "1,000");
}

TEST_F(OptDlgTest, TabOrderRunsButtonsFieldsPagesThenThemes) {
  auto dlg = Open();
  QApplication::setActiveWindow(dlg.get());
  Button(*dlg, ButtonOk)->setFocus();
  std::vector<std::string> seen;
  for (int i = 0; i < 8; ++i) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    // A spin box's line edit stands for the spin box.
    if (qobject_cast<QLineEdit*>(focus) && focus->parentWidget()) focus = focus->parentWidget();
    seen.push_back(focus->objectName().toStdString());
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  const std::vector<std::string> expected{"ButtonOk",
                                          "ButtonInitial",
                                          "ButtonCancel",
                                          "UpDownFireCount",
                                          "UpDowngFactor",
                                          "UpDownkFactor",
                                          "",
                                          "CheckBoxDrawLaunchKiku"};
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (!expected[i].empty()) {
      EXPECT_EQ(seen[i], expected[i]) << i;
    }
  }
}

}  // namespace
}  // namespace moonglow

int main(int argc, char** argv) {
  // The widgets need no screen; a developer may still run this under X.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
