#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Entry.h"

namespace moonglow {

class TEndSignals;

// The saver on a Wayland compositor, with no toolkit: one overlay layer
// surface per output, each with its own saver window rules (TMainForm) and
// show, run as one saver (TSaverGroup) whose first output is the primary.
// Frames go to the compositor from shared-memory buffers, only what changed,
// one frame for each frame callback. /s takes the keyboard and the pointer;
// --layer (a host's run) takes no input at all.
//
// One thread, the program's own, talks to the compositor; the show threads
// only wake it when they have drawn. Everything about the connection lives in
// one struct behind this class.
class TWaylandToolkit final : public IToolkit {
 public:
  // Connects to the compositor the environment names (WAYLAND_DISPLAY or
  // WAYLAND_SOCKET) and learns what it offers. Null when there is none to
  // reach; `problem` then says why, in a few words. `endSignals`, when
  // given, are the signals that end the run in order.
  static std::unique_ptr<TWaylandToolkit> Connect(IPlatform& platform, TEnvironment environment,
                                                  const TEndSignals* endSignals,
                                                  std::string& problem);
  ~TWaylandToolkit() override;
  TWaylandToolkit(const TWaylandToolkit&) = delete;
  TWaylandToolkit& operator=(const TWaylandToolkit&) = delete;

  // Whether the compositor offers layer surfaces: without them there is no
  // surface a saver can cover the outputs with.
  bool HasLayerShell() const;

  bool Initialize(TRunMode mode) override;
  void SetTitle(const std::string&) override {}
  void ShowPreviewParent(TWindowHandle) override {}
  // Saver only: the outputs' layer surfaces, as they are configured.
  void CreateSaverWindow(TRunMode mode, TWindowHandle parent) override;
  // --layer: the outputs' layer surfaces, or the one named; other host
  // windows are not Wayland's.
  bool CreateHostedWindow(const THostWindow& window) override;
  bool HostsSavers() const override { return true; }
  void UsePixelRate(std::uint64_t pixelRate) override { FPixelRate = pixelRate; }
  void CreateOptionsDialog() override {}
  void RunMessageLoop() override;
  void DestroyWindows() override;
  void ShowException(const std::string& message) override;
  bool EndRequested() override;

  struct TState;

 private:
  explicit TWaylandToolkit(std::unique_ptr<TState> state);
  std::unique_ptr<TState> F;
  std::optional<std::uint64_t> FPixelRate;
};

}  // namespace moonglow
