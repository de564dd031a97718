// The real moonglow program under a virtual X server: run modes, closing by
// input and by signal, the settings it leaves behind, and the preview inside a
// foreign window. Run through run-under-xvfb.sh, which provides the display.

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/qt/SaverRun.h"

namespace {

using moonglow::testing::Patience;
using moonglow::testing::TGeometry;
using moonglow::testing::Within;

const char* const Title = "The Real Moonglow Screen Saver";
const char* const DialogTitle = "Moonglow Setup";

class SaverE2E : public moonglow::testing::TSaverRun {
 protected:
  // The saver's (or the dialog's) top-level window once it is on screen.
  std::optional<xcb_window_t> WaitForSaverWindow(QProcess& process, const char* title = Title) {
    return WaitForChild(process, X.Root(), [&](xcb_window_t w) { return X.Name(w) == title; });
  }

  // `window` at (x, y) in its parent, width × height, with the show drawn in it.
  void ExpectShowAt(xcb_window_t window, int x, int y, int width, int height) {
    const std::optional<TGeometry> g = X.Geometry(window);
    ASSERT_TRUE(g);
    EXPECT_EQ(*g, (TGeometry{x, y, width, height}));
    EXPECT_TRUE(WaitForShow(window));
  }

  static void Xdotool(const QStringList& args) { QProcess::execute("xdotool", args); }

  // Input is ignored until the show has started, so keep trying a while.
  static bool CloseBy(QProcess& process, const std::vector<QStringList>& inputs) {
    return Within(Patience, [&] {
      for (const QStringList& input : inputs) Xdotool(input);
      return Exited(process, 250);
    });
  }
};

TEST_F(SaverE2E, DebugShowsTheShowMaximisedAndClosesOnAKey) {
  auto saver = Start({"/d"});
  const std::optional<xcb_window_t> window = WaitForSaverWindow(*saver);
  ASSERT_TRUE(window);
  ExpectShowAt(*window, 0, 0, 1024, 768);

  ASSERT_TRUE(CloseBy(*saver, {{"key", "x"}}));
  EXPECT_EQ(saver->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(saver->exitCode(), 0);
  const QString ini = Settings();
  EXPECT_TRUE(ini.contains("[Environment]"));
  EXPECT_FALSE(ini.contains("FirstRun"));
}

TEST_F(SaverE2E, SaverCoversTheScreenClosesOnAMoveAndEndsTheFirstRun) {
  Xdotool({"mousemove", "100", "100"});
  auto saver = Start({"/s"});
  const std::optional<xcb_window_t> window = WaitForSaverWindow(*saver);
  ASSERT_TRUE(window);
  ExpectShowAt(*window, 0, 0, 1024, 768);

  // 200 pixels either way is not enough to end the saver.
  Xdotool({"mousemove", "300", "100"});
  Xdotool({"mousemove", "300", "300"});
  EXPECT_FALSE(Exited(*saver, 500));

  ASSERT_TRUE(CloseBy(*saver, {{"mousemove", "100", "100"}, {"mousemove", "302", "100"}}));
  EXPECT_EQ(saver->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(saver->exitCode(), 0);
  EXPECT_TRUE(Settings().contains("FirstRun=0"));
}

TEST_F(SaverE2E, MouseButtonClosesTheSaver) {
  auto saver = Start({"-S"});
  ASSERT_TRUE(WaitForSaverWindow(*saver));
  ASSERT_TRUE(CloseBy(*saver, {{"click", "3"}}));
  EXPECT_EQ(saver->exitCode(), 0);
}

TEST_F(SaverE2E, SecondCopyIsRefusedWhileOneRunsAndAKilledOneBlocksNothing) {
  auto first = Start({"/d"});
  ASSERT_TRUE(WaitForSaverWindow(*first));
  for (const QStringList& args : {QStringList{"/s"}, QStringList{"/c"}, QStringList{"/p", "1"}}) {
    auto second = Start(args);
    ASSERT_TRUE(Exited(*second, Patience)) << args.join(' ').toStdString();
    EXPECT_EQ(second->exitCode(), 255) << args.join(' ').toStdString();
  }

  first->kill();
  ASSERT_TRUE(Exited(*first, Patience));
  auto next = Start({"/d"});
  ASSERT_TRUE(WaitForSaverWindow(*next));
  ASSERT_TRUE(CloseBy(*next, {{"key", "Escape"}}));
  EXPECT_EQ(next->exitCode(), 0);
}

TEST_F(SaverE2E, PreviewLivesInItsParentAndEndsWithIt) {
  const xcb_window_t parent = X.CreateWindow(40, 30, 152, 112);
  auto saver = Start({"/p", QString::number(parent)});

  const std::optional<xcb_window_t> child = WaitForChild(*saver, parent);
  ASSERT_TRUE(child);
  ExpectShowAt(*child, 0, 0, 152, 112);

  // Keys and buttons do nothing to a preview.
  Xdotool({"mousemove", "60", "50"});
  Xdotool({"click", "1"});
  Xdotool({"key", "Escape"});
  EXPECT_FALSE(Exited(*saver, 500));

  X.DestroyWindow(parent);
  ASSERT_TRUE(Exited(*saver, Patience));
  EXPECT_EQ(saver->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(saver->exitCode(), 0);
  EXPECT_FALSE(Settings().contains("FirstRun"));
}

TEST_F(SaverE2E, PreviewOfAMissingWindowEndsAtOnce) {
  auto saver = Start({"/p", "12345"});
  ASSERT_TRUE(Exited(*saver, Patience));
  EXPECT_EQ(saver->exitCode(), 0);
  EXPECT_FALSE(QFile::exists(IniPath()));
}

// ---- Ending by signal, as saver hosts and terminals end a run

// Whether the process has its own handler for `number` yet.
bool Catches(qint64 pid, int number) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) == 0) {
      const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
      return (mask >> (number - 1)) & 1u;
    }
  }
  return false;
}

enum class TSaved { FirstRunEnded, AllButFirstRun, Untouched };

struct TEndCase {
  const char* Name;
  QStringList Args;  // /p gets the id of a parent window the test makes
  int Signal;
  TSaved Saved;
};

void PrintTo(const TEndCase& c, std::ostream* os) { *os << c.Name; }

class SaverEndsOnSignal : public SaverE2E, public ::testing::WithParamInterface<TEndCase> {};

TEST_P(SaverEndsOnSignal, EndsInOrderAndSavesByMode) {
  const TEndCase& c = GetParam();
  const QByteArray before = "[Environment]\nFireCount=7\n";
  WriteSettings(before);

  QStringList args = c.Args;
  std::optional<xcb_window_t> parent;
  if (args == QStringList{"/p"}) {
    parent = X.CreateWindow(40, 30, 152, 112);
    args << QString::number(*parent);
  }
  auto process = Start(args);
  const qint64 pid = process->processId();
  ASSERT_GT(pid, 0);
  if (c.Saved == TSaved::Untouched) {
    ASSERT_TRUE(WaitForSaverWindow(*process, DialogTitle));
  } else {
    const std::optional<xcb_window_t> window =
        parent ? WaitForChild(*process, *parent) : WaitForSaverWindow(*process);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitForShow(*window));
  }

  // The signal again and again until the program has gone: none of them may
  // cut the orderly end short.
  QElapsedTimer timer;
  timer.start();
  while (process->state() != QProcess::NotRunning && timer.elapsed() < 5000) {
    ::kill(static_cast<pid_t>(pid), c.Signal);
    process->waitForFinished(5);
  }
  const qint64 elapsed = timer.elapsed();
  ASSERT_EQ(process->state(), QProcess::NotRunning);
  EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process->exitCode(), 0);
  EXPECT_LT(elapsed, 1000);

  const QString ini = Settings();
  const auto keys = ini.count(QRegularExpression("^\\w+=", QRegularExpression::MultilineOption));
  switch (c.Saved) {
    case TSaved::FirstRunEnded:
      EXPECT_EQ(keys, 46);
      EXPECT_TRUE(ini.contains("FirstRun=0"));
      EXPECT_TRUE(ini.contains("FireCount=7"));
      break;
    case TSaved::AllButFirstRun:
      EXPECT_EQ(keys, 45);
      EXPECT_FALSE(ini.contains("FirstRun"));
      EXPECT_TRUE(ini.contains("FireCount=7"));
      break;
    case TSaved::Untouched:
      EXPECT_EQ(ini.toUtf8(), before);
      break;
  }
  if (parent) X.DestroyWindow(*parent);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SaverEndsOnSignal,
    ::testing::Values(TEndCase{"SaverTerm", {"/s"}, SIGTERM, TSaved::FirstRunEnded},
                      TEndCase{"DebugInt", {"/d"}, SIGINT, TSaved::AllButFirstRun},
                      TEndCase{"DebugHup", {"/d"}, SIGHUP, TSaved::AllButFirstRun},
                      TEndCase{"PreviewInt", {"/p"}, SIGINT, TSaved::AllButFirstRun},
                      TEndCase{"PreviewHup", {"/p"}, SIGHUP, TSaved::AllButFirstRun},
                      TEndCase{"ConfigureTerm", {"/c"}, SIGTERM, TSaved::Untouched}),
    [](const ::testing::TestParamInfo<TEndCase>& info) { return std::string(info.param.Name); });

// A settings file the run may not write: the run ends with its error box,
// which waits for a click. An end signal must still end the program, whether
// it comes while the box is open or is what ended the run.
TEST_F(SaverE2E, AnEndSignalGetsPastTheWriteFailureBox) {
  const QByteArray before = "[Environment]\nFireCount=7\n";
  WriteSettings(before);
  ASSERT_EQ(::chmod(IniPath().toLocal8Bit().constData(), 0444), 0);

  auto saver = Start({"/d"});
  const std::optional<xcb_window_t> window = WaitForSaverWindow(*saver);
  ASSERT_TRUE(window);
  ASSERT_TRUE(WaitForShow(*window));
  // The key ends the show; the box then stands alone, smaller than the screen.
  std::optional<xcb_window_t> box;
  QElapsedTimer timer;
  timer.start();
  while (!box && timer.elapsed() < Patience && saver->state() == QProcess::Running) {
    Xdotool({"key", "x"});
    QThread::msleep(200);
    for (xcb_window_t w : X.Children(X.Root())) {
      const std::optional<TGeometry> g = X.Geometry(w);
      if (X.Viewable(w) && X.Name(w).starts_with(Title) && g && g->Width < 1024) box = w;
    }
  }
  ASSERT_TRUE(box) << "no error box";
  EXPECT_FALSE(Exited(*saver, 500));
  ::kill(static_cast<pid_t>(saver->processId()), SIGTERM);
  ASSERT_TRUE(Exited(*saver, Patience)) << "SIGTERM did not end the program while its box was open";
  EXPECT_EQ(saver->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(saver->exitCode(), 0);

  // Ended by the signal itself: the failure goes to standard error only.
  saver = Start({"/d"});
  const std::optional<xcb_window_t> next = WaitForSaverWindow(*saver);
  ASSERT_TRUE(next);
  ASSERT_TRUE(WaitForShow(*next));
  ::kill(static_cast<pid_t>(saver->processId()), SIGTERM);
  ASSERT_TRUE(Exited(*saver, Patience)) << "a box held the run ended by SIGTERM";
  EXPECT_EQ(saver->exitCode(), 0);
  EXPECT_EQ(Settings().toUtf8(), before);
}

// DISPLAY is the user's text: the message that names it stays one line.
TEST_F(SaverE2E, ADisplayThatCannotBeReachedIsNamedOnOneLine) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", ":97\n\x1b[2J");
  env.insert("XDG_RUNTIME_DIR", FDir.path());
  env.remove("QT_QPA_PLATFORM");
  process.setProcessEnvironment(env);
  process.start(MOONGLOW_EXE, {"/s"});
  ASSERT_TRUE(process.waitForFinished(Patience));
  EXPECT_EQ(process.exitCode(), 1);
  const QString err = QString::fromUtf8(process.readAllStandardError());
  EXPECT_TRUE(
      err.startsWith("moonglow: no display: cannot connect to the X display "
                     "\":97\\n\\x1B[2J\"\n"))
      << err.toStdString();
}

TEST_F(SaverE2E, SignalDuringStartUpEndsTheRunBeforeAnyWindow) {
  auto saver = Start({"/s"});
  const qint64 pid = saver->processId();
  ASSERT_GT(pid, 0);
  // The moment the handler is in place, long before the display is opened.
  QElapsedTimer timer;
  timer.start();
  while (!Catches(pid, SIGTERM) && timer.elapsed() < Patience) {
  }
  ASSERT_TRUE(Catches(pid, SIGTERM));
  ::kill(static_cast<pid_t>(pid), SIGTERM);

  ASSERT_TRUE(Exited(*saver, Patience));
  EXPECT_EQ(saver->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(saver->exitCode(), 0);
  EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(SaverE2E, SignalIgnoredAtStartStaysIgnored) {
  auto saver = Start({"/d"}, SIGHUP);
  ASSERT_TRUE(WaitForSaverWindow(*saver));
  ::kill(static_cast<pid_t>(saver->processId()), SIGHUP);
  EXPECT_FALSE(Exited(*saver, 500));
  ::kill(static_cast<pid_t>(saver->processId()), SIGTERM);
  ASSERT_TRUE(Exited(*saver, Patience));
  EXPECT_EQ(saver->exitCode(), 0);
}

}  // namespace
