// The saver on Qt's offscreen platform with a screen layout of our own: one
// window per screen in /s, each covering its screen, with a canvas of the
// screen's device pixels; an unseen window's show parks; one settings write.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/SaverGroup.h"
#include "posix/LinuxPlatform.h"
#include "qt/QtToolkit.h"
#include "qt/SaverWindow.h"
#include "settings/IniFile.h"
#include "show/Canvas.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QTest::qWait(20);
  }
  return true;
}

// Two screens side by side: one at two device pixels per pixel, one at one.
constexpr const char* Layout = R"({ "screens": [
  { "name": "hidpi", "x": 0, "y": 0, "width": 1600, "height": 1200, "logicalDpi": 96, "dpr": 2 },
  { "name": "plain", "x": 1600, "y": 0, "width": 640, "height": 480, "logicalDpi": 96, "dpr": 1 }
] })";

TEST(Screens, SaverCoversEveryScreenInDevicePixelsParksUnseenAndWritesOnce) {
  const fs::path dir = fs::temp_directory_path() / ("moonglow-screens-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "layout.json") << Layout;
  const std::string platform = "offscreen:configfile=" + (dir / "layout.json").string();
  setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  setenv("MOONGLOW_CONFIG_DIR", dir.c_str(), 1);

  TLinuxPlatform host;
  {
    TQtToolkit toolkit("ScreensTest", host, ProcessEnvironment());
    ASSERT_TRUE(toolkit.Initialize(Saver));
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    toolkit.CreateSaverWindow(Saver, 0);
    const auto& windows = toolkit.SaverWindows();
    ASSERT_EQ(windows.size(), 2u);
    ASSERT_TRUE(WaitFor([&] {
      for (const auto& w : windows) {
        if (!w->Form().Canvas()) return false;
      }
      return true;
    }));

    const std::size_t primary = screens.indexOf(QGuiApplication::primaryScreen());
    EXPECT_EQ(toolkit.SaverWindow(), windows[primary].get());
    for (qsizetype i = 0; i < screens.size(); ++i) {
      SCOPED_TRACE(i);
      TSaverWindow& w = *windows[static_cast<std::size_t>(i)];
      const QRect g = screens[i]->geometry();
      const qreal dpr = screens[i]->devicePixelRatio();
      EXPECT_EQ(w.geometry(), g);
      EXPECT_EQ(w.Form().Canvas()->Width(), qRound(g.width() * dpr));
      EXPECT_EQ(w.Form().Canvas()->Height(), qRound(g.height() * dpr));
      EXPECT_EQ(w.Form().Primary(), static_cast<std::size_t>(i) == primary);
    }
    // The hidpi screen's canvas is twice its logical size.
    EXPECT_EQ(windows[0]->Form().Canvas()->Width(), 2 * windows[0]->width());
    EXPECT_EQ(windows[0]->Form().Canvas()->Height(), 2 * windows[0]->height());
    const std::uint32_t step = windows[1]->Form().SeedCounter() - windows[0]->Form().SeedCounter();
    EXPECT_EQ(primary == 0 ? step : 0u - step, TSaverGroup::SeedStep);

    // Hidden, the other screen's show parks; shown again, it runs on.
    TSaverWindow& other = *windows[1 - primary];
    EXPECT_FALSE(other.Form().Parked());
    other.hide();
    EXPECT_TRUE(WaitFor([&] { return other.Form().Parked(); }));
    EXPECT_FALSE(toolkit.SaverWindow()->Form().Parked());
    other.show();
    EXPECT_TRUE(WaitFor([&] { return !other.Form().Parked(); }));

    // A key on the other screen ends the run; the windows go and the primary
    // alone writes.
    QTest::keyClick(&other, Qt::Key_A);
    EXPECT_TRUE(WaitFor([&] { return !toolkit.SaverWindow()->isVisible(); }));
    EXPECT_FALSE(fs::exists(dir / SettingsFileName));
    toolkit.DestroyWindows();
    EXPECT_TRUE(fs::exists(dir / SettingsFileName));
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace moonglow
