// moonglow-fake-compositor: the tests' fake compositor as a program of its
// own, for scripts that watch the saver from outside (its CPU time while
// frame callbacks are withheld). It serves $DIR/wayland-fake until SIGTERM or
// SIGINT, then prints what the clients did on one line:
//   layers=N commits=N commits-when-withheld=N lit=N
// SIGUSR1 withholds frame callbacks from then on, SIGUSR2 gives them again.
//
// Usage: moonglow-fake-compositor --runtime-dir DIR [--outputs N]
//          [--no-seat] [--no-layer-shell]

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/wayland/fake/FakeCompositor.h"

namespace {

volatile sig_atomic_t Stop = 0;
volatile sig_atomic_t Withhold = 0;

void OnSignal(int number) {
  if (number == SIGUSR1)
    Withhold = 1;
  else if (number == SIGUSR2)
    Withhold = 0;
  else
    Stop = 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: moonglow-fake-compositor --runtime-dir DIR [--outputs N] "
               "[--no-seat] [--no-layer-shell]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace moonglow::testing;
  TFakeOptions options;
  int outputs = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--runtime-dir" && hasValue) {
      options.RuntimeDir = argv[++i];
    } else if (arg == "--outputs" && hasValue) {
      outputs = std::atoi(argv[++i]);
    } else if (arg == "--no-seat") {
      options.Seat = false;
    } else if (arg == "--no-layer-shell") {
      options.LayerShell = false;
    } else {
      return Usage();
    }
  }
  if (options.RuntimeDir.empty() || outputs < 1) return Usage();

  std::vector<TFakeOutputMode> modes;
  for (int i = 0; i < outputs; ++i) {
    TFakeOutputMode mode;
    mode.Name = "FAKE-" + std::to_string(i + 1);
    modes.push_back(mode);
  }
  TFakeCompositor compositor(options, modes);
  if (!compositor.Ok()) {
    std::fprintf(stderr, "moonglow-fake-compositor: cannot serve %s/%s\n",
                 options.RuntimeDir.c_str(), compositor.SocketName().c_str());
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  for (int number : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaction(number, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  int64_t commitsWhenWithheld = -1;
  bool withheld = false;
  while (!Stop) {
    compositor.Dispatch(20);
    if (withheld != static_cast<bool>(Withhold)) {
      withheld = Withhold;
      compositor.WithholdFrameCallbacks(withheld);
      if (withheld) commitsWhenWithheld = compositor.BufferCommits();
    }
  }
  int lit = 0;
  for (const TLayerRecord& layer : compositor.Layers()) lit += layer.LitPixels();
  std::printf("layers=%zu commits=%lld commits-when-withheld=%lld lit=%d\n",
              compositor.Layers().size(), static_cast<long long>(compositor.BufferCommits()),
              static_cast<long long>(commitsWhenWithheld), lit);
  return 0;
}
