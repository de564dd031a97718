#include "posix/EndSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace moonglow {

namespace {

constexpr int EndSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};

// Process-wide because a signal handler can reach nothing else. Set once by
// the first TEndSignals and never undone: the pipe is never closed, so the
// handler cannot write into a descriptor that has been reused.
int ReadEnd = -1;
int WriteEnd = -1;
std::atomic<bool> Signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void OnEndSignal(int) {
  const int savedErrno = errno;
  Signalled.store(true, std::memory_order_relaxed);
  const char byte = 1;
  // A full pipe already holds an unread request: nothing is lost.
  [[maybe_unused]] const ssize_t written = ::write(WriteEnd, &byte, 1);
  errno = savedErrno;
}

void Install() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
  ReadEnd = ends[0];
  WriteEnd = ends[1];

  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  // The save goes on through a signal: no system call of it fails with EINTR.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : EndSignalNumbers) sigaddset(&action.sa_mask, number);

  for (int number : EndSignalNumbers) {
    struct sigaction previous {};
    if (::sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(number, &action, nullptr);
  }
}

}  // namespace

TEndSignals::TEndSignals() {
  if (ReadEnd < 0) Install();
}

bool TEndSignals::Requested() const { return Signalled.load(std::memory_order_relaxed); }

int TEndSignals::Descriptor() const { return ReadEnd; }

void TEndSignals::Drain() const {
  char bytes[64];
  while (ReadEnd >= 0 && ::read(ReadEnd, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace moonglow
