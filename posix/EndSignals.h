#pragma once

namespace moonglow {

// SIGTERM, SIGINT and SIGHUP as a request to end the run in order. Saver hosts
// stop their savers with SIGTERM, and a run killed by it would never save its
// settings.
//
// The handler only sets a flag and writes a byte into a pipe, which is all a
// signal handler may safely do; the toolkit watches the pipe's read end from
// its event loop and ends the run there. The handlers stay for the rest of the
// process's life, so a signal during the save, or after the loop has ended,
// finds them in place: it cuts nothing short, and only answers an error box
// that is waiting for a click. A signal the process was started with ignored
// (nohup, a background job) stays ignored.
class TEndSignals {
 public:
  // Installs the handlers, once per process. Made before the application
  // object, so a signal during start-up is kept for the loop, not lost. When
  // no pipe can be made the signals keep their default: they end the run at
  // once, as before, rather than being swallowed.
  TEndSignals();
  TEndSignals(const TEndSignals&) = delete;
  TEndSignals& operator=(const TEndSignals&) = delete;

  // True once one of the signals has arrived.
  bool Requested() const;
  // The pipe's read end, readable while a signal is unread; -1 without one.
  int Descriptor() const;
  // Reads what the signals have written, so the descriptor is quiet again.
  void Drain() const;
};

}  // namespace moonglow
