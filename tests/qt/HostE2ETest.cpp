// The real moonglow program in host mode under a virtual X server, started as
// the saver hosts start it: one copy per monitor window, with the window given
// by XSCREENSAVER_WINDOW (in hexadecimal as xscreensaver writes it, in decimal
// with -root as xsecurelock's multiplexer does) or by --window-id. Run through
// run-under-xvfb.sh, which provides the display.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <memory>
#include <optional>

#include "tests/qt/SaverRun.h"

namespace {

using moonglow::testing::Patience;
using moonglow::testing::TGeometry;
using moonglow::testing::Within;

class HostE2E : public moonglow::testing::TSaverRun {
 protected:
  // Every copy shares the settings folder and the runtime folder, where the
  // run modes' single-instance lock lives: host copies must not collide there.
  std::unique_ptr<QProcess> Start(const QStringList& args, const QString& hostWindow = {}) {
    return TSaverRun::Start(args, 0, hostWindow, QProcess::SeparateChannels);
  }

  static bool ExitedWithZero(QProcess& process, int milliseconds) {
    return Exited(process, milliseconds) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
  }

  // The saver fills the host's window from its top left corner.
  void ExpectFills(xcb_window_t saver, xcb_window_t host) {
    const std::optional<TGeometry> inner = X.Geometry(saver), outer = X.Geometry(host);
    ASSERT_TRUE(inner && outer);
    EXPECT_EQ(*inner, (TGeometry{0, 0, outer->Width, outer->Height}));
  }

  // The settings as the full-screen show leaves them: whole, first run over.
  void ExpectSavedAsTheFullShow() {
    const QString text = Settings();
    EXPECT_TRUE(text.contains("FirstRun=0")) << text.toStdString();
    EXPECT_EQ(text.count('='), 46);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden).filter(".tmp").size(), 0);
  }
};

QString Hex(xcb_window_t window) { return "0x" + QString::number(window, 16); }
QString Decimal(xcb_window_t window) { return QString::number(window); }

TEST_F(HostE2E, OneCopyPerMonitorBothDrawAndEndTogetherOnSigterm) {
  const xcb_window_t left = X.CreateWindow(0, 0, 512, 400);
  const xcb_window_t right = X.CreateWindow(512, 0, 512, 400);
  auto xscreensaver = Start({"--root"}, Hex(left));
  auto multiplexed = Start({"-root"}, Decimal(right));

  const std::optional<xcb_window_t> a = WaitForChild(*xscreensaver, left);
  const std::optional<xcb_window_t> b = WaitForChild(*multiplexed, right);
  ASSERT_TRUE(a && b);
  ExpectFills(*a, left);
  ExpectFills(*b, right);
  EXPECT_TRUE(WaitForShow(*a));
  EXPECT_TRUE(WaitForShow(*b));

  ::kill(static_cast<pid_t>(xscreensaver->processId()), SIGTERM);
  ::kill(static_cast<pid_t>(multiplexed->processId()), SIGTERM);
  EXPECT_TRUE(ExitedWithZero(*xscreensaver, 2000));
  EXPECT_TRUE(ExitedWithZero(*multiplexed, 2000));
  ExpectSavedAsTheFullShow();
}

TEST_F(HostE2E, FollowsItsWindowsSizeTakesNoInputAndEndsWhenTheWindowGoes) {
  const xcb_window_t host = X.CreateWindow(100, 100, 640, 480);
  auto saver = Start({"--window-id", Hex(host)});
  const std::optional<xcb_window_t> window = WaitForChild(*saver, host);
  ASSERT_TRUE(window);
  ExpectFills(*window, host);
  EXPECT_TRUE(WaitForShow(*window));

  // A host window gets no input of its own: keys, buttons and movements over
  // it leave the show running.
  QProcess::execute("xdotool", {"mousemove", "300", "300", "click", "1", "key", "x"});
  QProcess::execute("xdotool", {"mousemove", "700", "500"});
  EXPECT_FALSE(Exited(*saver, 500));

  // A monitor's new size: the show goes on at that size.
  X.Resize(host, 800, 560);
  EXPECT_TRUE(Within(Patience, [&] {
    const std::optional<TGeometry> g = X.Geometry(*window);
    return g && g->Width == 800 && g->Height == 560;
  }));
  EXPECT_TRUE(WaitForShow(*window));

  X.DestroyWindow(host);
  EXPECT_TRUE(ExitedWithZero(*saver, 2000));
  ExpectSavedAsTheFullShow();
}

TEST_F(HostE2E, SettingsPagePreviewByDecimalIdRunsSmallAndSavesAsTheSaver) {
  const xcb_window_t host = X.CreateWindow(10, 10, 200, 150);
  auto saver = Start({"--root", "-window-id", Decimal(host)}, Hex(X.Root()));
  const std::optional<xcb_window_t> window = WaitForChild(*saver, host);
  ASSERT_TRUE(window);
  ExpectFills(*window, host);
  EXPECT_TRUE(WaitForShow(*window));
  ::kill(static_cast<pid_t>(saver->processId()), SIGTERM);
  EXPECT_TRUE(ExitedWithZero(*saver, 2000));
  ExpectSavedAsTheFullShow();
}

TEST_F(HostE2E, RootWindowIsCoveredWhenNoWindowIsGiven) {
  auto saver = Start({"--root"});
  std::optional<xcb_window_t> cover;
  ASSERT_TRUE(Within(Patience, [&] {
    for (xcb_window_t w : X.Children(X.Root())) {
      const std::optional<TGeometry> g = X.Geometry(w);
      if (X.Viewable(w) && g && *g == TGeometry{0, 0, 1024, 768}) cover = w;
    }
    return cover.has_value();
  }));
  EXPECT_TRUE(WaitForShow(*cover));
  ::kill(static_cast<pid_t>(saver->processId()), SIGTERM);
  EXPECT_TRUE(ExitedWithZero(*saver, 2000));
}

TEST_F(HostE2E, WindowThatIsNoneOrNoWindowEndsWithOneLineAndOne) {
  const xcb_window_t gone = X.CreateWindow(0, 0, 50, 50);
  X.DestroyWindow(gone);
  for (const QStringList& args :
       {QStringList{"--window-id", Hex(gone)}, QStringList{"--window-id", "12abc"},
        QStringList{"-window-id"}, QStringList{"--root", "/s"}}) {
    auto saver = Start(args);
    ASSERT_TRUE(Exited(*saver, Patience)) << args.join(' ').toStdString();
    EXPECT_EQ(saver->exitCode(), 1) << args.join(' ').toStdString();
    const QStringList lines =
        QString::fromUtf8(saver->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    // Qt may add its own notes (no runtime directory); ours is the one line
    // that names the program.
    EXPECT_EQ(lines.filter(QRegularExpression("^moonglow: ")).size(), 1)
        << args.join(' ').toStdString() << ": " << lines.join('|').toStdString();
  }
  auto bad = Start({"-root"}, "0xnothing");
  ASSERT_TRUE(Exited(*bad, Patience));
  EXPECT_EQ(bad->exitCode(), 1);
  EXPECT_FALSE(QFile::exists(IniPath()));
}

}  // namespace
