// The single-instance guard across real processes: a copy that holds the lock
// turns every later start away, and one killed outright blocks nothing.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

#include "posix/LinuxPlatform.h"

namespace moonglow {
namespace {

class InstanceLock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    ::chmod(FDir.path().toLocal8Bit().constData(), 0700);
    ::setenv("XDG_RUNTIME_DIR", FDir.path().toLocal8Bit().constData(), 1);
  }
  void TearDown() override {
    if (FHolder > 0) {
      ::kill(FHolder, SIGKILL);
      ::waitpid(FHolder, nullptr, 0);
    }
  }

  // Another process takes the lock and keeps it until it is killed.
  void StartHolder() {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    FHolder = ::fork();
    ASSERT_GE(FHolder, 0);
    if (FHolder == 0) {
      TLinuxPlatform platform;
      const char answer =
          platform.AcquireInstanceLock() == IPlatform::TLockResult::Acquired ? 'y' : 'n';
      (void)!::write(ready[1], &answer, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(answer, 'y');
  }

  void KillHolder() {
    ::kill(FHolder, SIGKILL);
    ::waitpid(FHolder, nullptr, 0);
    FHolder = -1;
  }

  // The real program with no display at all: the guard comes before any window.
  static int RunProgram(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(env);
    process.start(MOONGLOW_EXE, args);
    if (!process.waitForFinished(10000)) return -1000;
    return process.exitCode();
  }

  QTemporaryDir FDir;
  pid_t FHolder = -1;
};

TEST_F(InstanceLock, LockFileLivesInTheRuntimeDirectory) {
  EXPECT_EQ(TLinuxPlatform::LockPath().parent_path(), FDir.path().toStdString());
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_NE(TLinuxPlatform::LockPath().parent_path(), FDir.path().toStdString());
}

TEST_F(InstanceLock, OneHolderAtATimeWithinAndAcrossProcesses) {
  TLinuxPlatform first, second;
  EXPECT_EQ(first.AcquireInstanceLock(), IPlatform::TLockResult::Acquired);
  EXPECT_EQ(second.AcquireInstanceLock(), IPlatform::TLockResult::HeldElsewhere);
  first.ReleaseInstanceLock();
  EXPECT_EQ(second.AcquireInstanceLock(), IPlatform::TLockResult::Acquired);
  second.ReleaseInstanceLock();

  StartHolder();
  EXPECT_EQ(first.AcquireInstanceLock(), IPlatform::TLockResult::HeldElsewhere);
  KillHolder();
  EXPECT_EQ(first.AcquireInstanceLock(), IPlatform::TLockResult::Acquired);
}

TEST_F(InstanceLock, ProgramRefusesEveryModeWhileAnotherCopyRuns) {
  StartHolder();
  for (const char* sw : {"/s", "/d", "/c", "/a"}) {
    EXPECT_EQ(RunProgram({sw}), 255) << sw;
  }
  EXPECT_EQ(RunProgram({}), 255);
  KillHolder();
  // With the killed copy gone the next start runs: /a does nothing here and
  // ends with 0; a window mode finds no display and says so.
  EXPECT_EQ(RunProgram({"/a"}), 0);
  EXPECT_EQ(RunProgram({"/s"}), 1);
  EXPECT_EQ(RunProgram({"/x"}), 255);
}

TEST_F(InstanceLock, UnusableDirectoryRunsWithoutTheGuard) {
  ::setenv("XDG_RUNTIME_DIR", "/proc", 1);  // a directory nobody can create files in
  TLinuxPlatform platform;
  EXPECT_EQ(platform.AcquireInstanceLock(), IPlatform::TLockResult::Unavailable);
}

}  // namespace
}  // namespace moonglow
