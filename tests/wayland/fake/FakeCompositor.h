// A small Wayland compositor on libwayland-server for the front end's tests:
// it shows nothing, but it answers the requests the saver makes, keeps what a
// client committed (damage, buffers, the pixels the damage let through), and
// lets a test do what a headless sway cannot: leave out a global, withhold
// frame callbacks, stop reading a client for a while, take an output away or
// drop the connection.
//
// It runs on the thread that calls Dispatch or RunUntil; nothing happens in
// between, so a test reads its records without locks.

#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct wl_client;
struct wl_display;

namespace moonglow::testing {

// What the compositor offers. wl_compositor, wl_shm and the outputs are
// always there.
struct TFakeOptions {
  bool LayerShell = true;
  bool Seat = true;
  bool XdgOutput = true;
  bool Viewporter = true;
  bool FractionalScale = true;
  // Compare each committed buffer with what the damage let through, and keep
  // the picture; a program that only needs the requests can leave it out.
  bool CheckPixels = true;
  // How many of a surface's newest committed buffers the compositor keeps
  // before it releases one: 1 releases the shown one when the next comes; 0
  // releases each at once, once read; 2 keeps the one before as well.
  int HeldBuffers = 1;
  // The folder for the socket; empty means a private one made (0700) and
  // removed with the compositor.
  std::string RuntimeDir;
};

struct TFakeOutputMode {
  std::string Name = "FAKE-1";
  int Width = 640;  // device pixels
  int Height = 480;
  int Scale = 1;  // wl_output's integer scale
  // The preferred fractional scale in 120ths (wp_fractional_scale_v1); 0
  // means Scale × 120. Layer surfaces are configured at Width and Height
  // divided by it.
  int Scale120 = 0;
};

struct TFakeOutput {
  TFakeOutputMode Mode;
  bool Removed = false;
};

// One layer surface as the client made it and as its commits left it.
// Records outlive the objects they describe.
struct TLayerRecord {
  int Output = -1;  // index into Outputs(); -1 when the client named none
  uint32_t Layer = 0;
  uint32_t Anchor = 0;
  int32_t ExclusiveZone = 0;
  uint32_t Keyboard = 0;
  std::string Namespace;
  uint32_t ConfiguredWidth = 0;  // the last configure sent, surface units
  uint32_t ConfiguredHeight = 0;
  bool Closed = false;     // the compositor sent `closed`
  bool Destroyed = false;  // the client destroyed the layer surface
  bool CommitBeforeAck = false;
  int BufferCommits = 0;  // commits that attached a buffer
  int EmptyCommits = 0;   // commits without a new buffer (the first, among others)
  int MaxDamagePerCommit = 0;
  int64_t DamageRequests = 0;
  int BufferScale = 1;
  bool OpaqueRegion = false;
  int ViewportWidth = -1;  // wp_viewport destination, -1 when none
  int ViewportHeight = -1;
  int BufferWidth = 0;  // of the last committed buffer
  int BufferHeight = 0;
  bool WrongFormat = false;     // a buffer that was not XRGB8888
  std::set<uintptr_t> Buffers;  // the distinct buffers it committed
  // Pixels of a committed buffer that differed from the picture outside the
  // damage: changes the client drew but did not report.
  int64_t UndamagedChanges = 0;
  // Pixels that changed in a buffer the compositor had not released.
  int64_t BusyBufferWrites = 0;
  // The picture as the damage built it, XRGB, BufferWidth × BufferHeight.
  std::vector<uint32_t> Picture;

  int LitPixels() const;
};

class TFakeCompositor {
 public:
  explicit TFakeCompositor(TFakeOptions options = {},
                           std::vector<TFakeOutputMode> outputs = {TFakeOutputMode{}});
  ~TFakeCompositor();
  TFakeCompositor(const TFakeCompositor&) = delete;
  TFakeCompositor& operator=(const TFakeCompositor&) = delete;

  bool Ok() const;
  const std::string& RuntimeDir() const;
  const std::string& SocketName() const;  // for WAYLAND_DISPLAY

  // Runs the compositor for `milliseconds`, or until `done` holds.
  void Dispatch(int milliseconds);
  bool RunUntil(const std::function<bool()>& done, int milliseconds);

  // A connected socket for WAYLAND_SOCKET, served as a client. A `sendBuffer`
  // above 0 shrinks the client end's kernel send buffer (SO_SNDBUF), so that
  // a compositor slow to read soon leaves the client's writes waiting.
  int ClientSocket(int sendBuffer = 0);
  int Clients() const;
  void DisconnectClients();

  int AddOutput(const TFakeOutputMode& mode);
  // Takes the wl_output global away; with `closeSurfaces`, sends `closed` to
  // the layer surfaces on it first, as compositors do.
  void RemoveOutput(int index, bool closeSurfaces);
  void CloseLayerSurfaces(int output);
  // Sends a configure of the given size to every live layer surface on the
  // output, as a mode change would.
  void Reconfigure(int output, uint32_t width, uint32_t height);
  // A new integer scale for the output (and the fractional one it implies):
  // the wl_output events, then a configure at the new logical size.
  void SetOutputScale(int output, int scale);
  const std::deque<TFakeOutput>& Outputs() const;

  // With frame callbacks withheld, committed callbacks wait until they are
  // given again: a compositor's answer to a surface nobody sees.
  void WithholdFrameCallbacks(bool withhold);
  // Reads nothing from the clients for `milliseconds` from the next
  // configure sent (or from now), so that their writes pile up.
  void StallOnNextConfigure(int milliseconds);
  void Stall(int milliseconds);

  // Input to the client that owns the layer surface `layer` (an index into
  // Layers()), from the seat; false when there is no seat or no such
  // keyboard or pointer.
  bool SendKey(int layer);
  bool SendPointerMotion(int layer, double x, double y);
  bool SendButton(int layer);

  const std::deque<TLayerRecord>& Layers() const;
  int LiveLayers() const;
  // Commits with a buffer, over every layer surface.
  int64_t BufferCommits() const;

  struct TState;

 private:
  std::unique_ptr<TState> FState;
};

}  // namespace moonglow::testing
