#pragma once

// The real program started by the end-to-end tests: a private settings and
// runtime folder per test, the copies it starts, the windows they show on the
// virtual X server and the settings they leave.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>

#include "tests/qt/X11Client.h"

namespace moonglow::testing {

// How long, in milliseconds, a test waits for what the program is to do: far
// beyond what an idle machine needs, for a loaded one, where the program and
// the X server may take many times as long. The waits end as soon as it is
// done.
constexpr int Patience = 30000;

// Waits up to `milliseconds` for `done`.
inline bool Within(int milliseconds, const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QThread::msleep(50);
  }
  return true;
}

class TSaverRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    // The instance lock lives in the runtime folder: a private one keeps
    // these runs apart from any other copy on the machine.
    ::chmod(FDir.path().toLocal8Bit().constData(), 0700);
    ASSERT_TRUE(X.Ok()) << "no X display";
  }

  QString IniPath() const { return FDir.filePath("ZELMoonGlow3xx.ini"); }

  QString Settings() const {
    QFile file(IniPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
  }

  void WriteSettings(const QByteArray& text) const {
    QFile file(IniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  // A copy of the program with the end signals at their default, `ignored`
  // (when not 0) ignored as nohup starts it, and the host's window in
  // XSCREENSAVER_WINDOW when one is given.
  std::unique_ptr<QProcess> Start(
      const QStringList& args, int ignored = 0, const QString& hostWindow = {},
      QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels) {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([ignored] {
      for (int number : {SIGTERM, SIGINT, SIGHUP}) ::signal(number, SIG_DFL);
      if (ignored) ::signal(ignored, SIG_IGN);
    });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MOONGLOW_CONFIG_DIR", FDir.path());
    env.insert("XDG_RUNTIME_DIR", FDir.path());
    env.remove("XSCREENSAVER_WINDOW");
    if (!hostWindow.isEmpty()) env.insert("XSCREENSAVER_WINDOW", hostWindow);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(channels);
    process->start(MOONGLOW_EXE, args);
    EXPECT_TRUE(process->waitForStarted(Patience));
    return process;
  }

  static bool Exited(QProcess& process, int milliseconds) {
    return process.state() == QProcess::NotRunning || process.waitForFinished(milliseconds);
  }

  // A viewable child of `parent` that `wanted` takes, once one is on screen,
  // while the program runs.
  std::optional<xcb_window_t> WaitForChild(
      QProcess& process, xcb_window_t parent,
      const std::function<bool(xcb_window_t)>& wanted = [](xcb_window_t) { return true; }) {
    std::optional<xcb_window_t> found;
    Within(Patience, [&] {
      for (xcb_window_t w : X.Children(parent))
        if (X.Viewable(w) && wanted(w)) found = w;
      return found || process.state() != QProcess::Running;
    });
    return found;
  }

  // The show drawn and shown in `window`: some pixels
  // are lit, but far fewer than before the window's first paint, when it
  // shows what lay beneath it (the root's weave, a host's or preview
  // parent's white).
  bool WaitForShow(xcb_window_t window) {
    return Within(Patience, [&] {
      const std::optional<TGeometry> g = X.Geometry(window);
      const int lit = X.LitPixels(window);
      return g && lit > 0 && lit < g->Width * g->Height / 4;
    });
  }

  QTemporaryDir FDir;
  TX11 X;
};

}  // namespace moonglow::testing
