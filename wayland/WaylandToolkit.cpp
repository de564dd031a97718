#include "wayland/WaylandToolkit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/Main.h"
#include "app/SaverGroup.h"
#include "posix/EndSignals.h"
#include "protocols/fractional-scale-v1-client.h"
#include "protocols/viewporter-client.h"
#include "protocols/wlr-layer-shell-unstable-v1-client.h"
#include "protocols/xdg-output-unstable-v1-client.h"
#include "settings/IniFile.h"
#include "show/FireThread.h"
#include "wayland/Damage.h"
#include "wayland/FrontEnd.h"

namespace moonglow {

using TClock = std::chrono::steady_clock;

// A surface whose frame callback has not come for this long is one nobody
// sees (a compositor sends none then): its show parks until the callback
// comes after all.
constexpr auto UnseenAfter = std::chrono::seconds(1);
// Two buffers suffice while the compositor lets go of one as soon as the
// other is shown; a third is made only when it holds on to both.
constexpr std::size_t MaxBuffers = 3;
// wl_surface.damage_buffer came with version 4 of wl_compositor.
constexpr std::uint32_t DamageBufferVersion = 4;

class TLayerSurface;

// One wl_output as the compositor describes it.
struct TOutput {
  TWaylandToolkit::TState* State = nullptr;
  std::uint32_t Name = 0;  // the registry's
  wl_output* Output = nullptr;
  zxdg_output_v1* XdgOutput = nullptr;
  std::string OutputName, XdgName;
  std::int32_t X = 0, Y = 0;  // logical position, from xdg-output when it says
  bool XdgPosition = false;
  bool XdgSeen = false;  // xdg-output has described it
  std::int32_t Scale = 1;
  // The logical size: from xdg-output, else the current mode over the scale.
  std::int32_t ModeWidth = 0, ModeHeight = 0;
  std::int32_t XdgWidth = 0, XdgHeight = 0;
  std::int32_t LogicalWidth() const { return XdgWidth > 0 ? XdgWidth : ModeWidth / Scale; }
  std::int32_t LogicalHeight() const { return XdgHeight > 0 ? XdgHeight : ModeHeight / Scale; }
  bool Done = false;  // described at least once
  TLayerSurface* Surface = nullptr;
};

// One shared-memory buffer of a surface, 0xXXRRGGBB as the canvas holds it.
struct TShmBuffer {
  wl_buffer* Buffer = nullptr;
  std::uint32_t* Pixels = nullptr;
  std::size_t Bytes = 0;
  std::int32_t Width = 0, Height = 0;
  bool Busy = false;  // the compositor reads it
  TPendingRows Pending;
  // A new buffer is black, as a new canvas is: it lacks only what the show
  // has drawn since, `drawn`.
  TShmBuffer(std::int32_t width, std::int32_t height, const TPendingRows& drawn)
      : Width(width), Height(height), Pending(width, height, false) {
    Pending.Add(drawn);
  }
  ~TShmBuffer() {
    if (Buffer) wl_buffer_destroy(Buffer);
    if (Pixels) ::munmap(Pixels, Bytes);
  }
  TShmBuffer(const TShmBuffer&) = delete;
  TShmBuffer& operator=(const TShmBuffer&) = delete;
};

struct TWaylandToolkit::TState {
  IPlatform* Platform = nullptr;
  TEnvironment Environment;
  const TEndSignals* EndSignals = nullptr;
  std::uint64_t PixelRate = 0;

  wl_display* Display = nullptr;
  wl_registry* Registry = nullptr;
  wl_compositor* Compositor = nullptr;
  std::uint32_t CompositorVersion = 0;
  wl_shm* Shm = nullptr;
  zwlr_layer_shell_v1* LayerShell = nullptr;
  zxdg_output_manager_v1* XdgOutputs = nullptr;
  wp_viewporter* Viewporter = nullptr;
  wp_fractional_scale_manager_v1* FractionalScale = nullptr;
  std::uint32_t SeatName = 0, SeatVersion = 0;
  wl_seat* Seat = nullptr;
  wl_pointer* Pointer = nullptr;
  wl_keyboard* Keyboard = nullptr;

  std::vector<std::unique_ptr<TOutput>> Outputs;
  std::vector<std::unique_ptr<TLayerSurface>> Surfaces;  // live and gone ones
  std::unique_ptr<TSaverGroup> Group;
  TLayerSurface* Primary = nullptr;

  // What the run draws on, once the entry sequence has said.
  bool Making = false;  // surfaces are made for the outputs
  bool Hosted = false;  // --layer
  std::string WantedOutput;
  bool EverShown = false;

  // Input: the pointer's surface, and where it was first seen (in the
  // outputs' logical layout).
  TLayerSurface* PointerSurface = nullptr;
  bool PointerSeen = false;
  double PointerStartX = 0, PointerStartY = 0;
  bool CursorHidden = false;
  std::uint32_t PointerSerial = 0;
  TLayerSurface* KeyboardSurface = nullptr;
  TKeyRule Keys;
  TClock::time_point FirstShown;

  int WakeFd = -1;
  std::atomic<bool> WakeSignalled{false};
  bool Quit = false;
  bool Dead = false;  // the connection is gone
  bool EndAsked = false;

  ~TState();
  void Wake();
  bool Flush();
  void Gone();
  void EndRun();
  void Add(std::uint32_t name, const char* interface, std::uint32_t version);
  void Remove(std::uint32_t name);
  void AddXdgOutput(TOutput& output);
  void OutputDescribed(TOutput& output);
  void MakeSurface(TOutput& output);
  void SurfaceConfigured(TLayerSurface& surface);
  void DropSurface(TLayerSurface& surface);
  void Close(TLayerSurface& surface);
  void BindSeat();
  void SeatCapabilities(std::uint32_t capabilities);
  TLayerSurface* SurfaceOf(wl_surface* surface) const;
  void PointerAt(TLayerSurface* surface, wl_fixed_t x, wl_fixed_t y);
  void Input(TLayerSurface* surface, bool key);
  void KeyboardEntered(std::vector<std::uint32_t> held);
  void Key(std::uint32_t key, bool pressed);
  int PollTimeout(TClock::time_point now) const;
  void Tick();
  void ApplyCursor();
};

// One output's layer surface: the window the saver window's rules run in.
class TLayerSurface final : public IMainFormHost, public IFrameSink {
 public:
  TLayerSurface(TWaylandToolkit::TState& state, TOutput& output);
  ~TLayerSurface() override;
  TLayerSurface(const TLayerSurface&) = delete;
  TLayerSurface& operator=(const TLayerSurface&) = delete;

  TOutput* Output() const { return FOutput; }
  wl_surface* Surface() const { return FSurface; }
  bool Live() const { return FLayer != nullptr; }
  bool Configured() const { return FWidth > 0 && FHeight > 0; }
  TMainForm* Form() const { return FForm.get(); }
  void SetForm(std::unique_ptr<TMainForm> form) { FForm = std::move(form); }
  std::int32_t Width() const { return FWidth; }
  std::int32_t Height() const { return FHeight; }
  // Where the output sits in the outputs' logical layout.
  std::int32_t OriginX() const { return FOriginX; }
  std::int32_t OriginY() const { return FOriginY; }
  bool WaitingFrame() const { return FWaitingFrame && !FUnseen; }
  TClock::time_point CommitTime() const { return FCommitTime; }

  // The output is gone or the compositor closed the surface: the Wayland
  // objects go, and the rules stay until the run ends.
  void Detach();
  // The canvas's device pixels may have changed (a new size or scale): the
  // show starts again at the new size when they have.
  void FollowSize();
  // Presents what changed, when a frame is due and a buffer is free.
  void PresentDue();
  // No frame callback for a while: the show parks until it comes.
  void CheckUnseen(TClock::time_point now);

  // IMainFormHost
  TWindowHandle Handle() override { return FHandle; }
  void SetPosition(std::int32_t, std::int32_t) override {}
  // The compositor sizes a layer surface; the configure event says how.
  void SetSize(std::int32_t, std::int32_t) override {}
  std::int32_t ClientWidth() override { return FWidth; }
  std::int32_t ClientHeight() override { return FHeight; }
  std::int32_t CanvasWidth() override { return DeviceSize(FWidth); }
  std::int32_t CanvasHeight() override { return DeviceSize(FHeight); }
  IFrameSink* FrameSink() override { return this; }
  std::int32_t ScreenWidth() override { return FWidth; }
  std::int32_t ScreenHeight() override { return FHeight; }
  // The host's "window" of a --layer run is the surface itself.
  std::optional<TRect> WindowRect(TWindowHandle) override {
    if (!Live() || !Configured()) return std::nullopt;
    return TRect{0, 0, FWidth, FHeight};
  }
  // Wayland tells a client no pointer position of its own: the pointer is
  // followed from where it was first seen, and positions are given relative
  // to that, so the start is the origin.
  TPoint CursorPos() override { return {0, 0}; }
  void ShowCursor(bool show) override;
  void Close() override { FState.Close(*this); }
  void ShowError(const std::string& message) override {
    std::fprintf(stderr, "moonglow: %s\n", message.c_str());
  }
  void SetPresenting(bool on) override { FPresenting = on; }

  // IFrameSink, on the show thread.
  void FrameDrawn(TCanvas&) override {
    FFrameReady.store(true);
    FState.Wake();
  }

  TWaylandToolkit::TState& State() { return FState; }
  // The compositor's events.
  void Configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
  void FrameDone();
  void PreferredScale(std::uint32_t scale120) {
    FScale120 = scale120;
    FollowSize();
  }

  static const zwlr_layer_surface_v1_listener LayerListener;
  static const wl_callback_listener FrameListener;
  static const wp_fractional_scale_v1_listener ScaleListener;
  static const wl_buffer_listener BufferListener;

 private:
  std::int32_t DeviceSize(std::int32_t logical) const;
  TShmBuffer* FreeBuffer(std::int32_t width, std::int32_t height);
  std::unique_ptr<TShmBuffer> NewBuffer(std::int32_t width, std::int32_t height);
  void SetScale(std::int32_t width, std::int32_t height);
  void Present(TCanvas& canvas);

  TWaylandToolkit::TState& FState;
  TOutput* FOutput;  // null once detached
  const TWindowHandle FHandle;
  std::int32_t FOriginX = 0, FOriginY = 0;
  std::int32_t FLastScale = 1;  // the output's, while it was there
  wl_surface* FSurface = nullptr;
  zwlr_layer_surface_v1* FLayer = nullptr;
  wp_viewport* FViewport = nullptr;
  wp_fractional_scale_v1* FFractional = nullptr;
  wl_callback* FFrame = nullptr;
  std::int32_t FWidth = 0, FHeight = 0;  // logical, as configured
  std::uint32_t FScale120 = 0;           // the fractional scale, 0 until told
  bool FDestinationSet = false;
  std::vector<std::unique_ptr<TShmBuffer>> FBuffers;
  // Every row piece the show has drawn on its canvas, FCanvas, since that
  // started: a buffer made later copies only these, as the rest is black in
  // both. Untouched, its memory is never brought in at all.
  const TCanvas* FCanvas = nullptr;
  TPendingRows FDrawn{0, 0, false};
  bool FNewBuffers = true;  // the next commit sets the scale and damages all
  bool FPresenting = false;
  bool FWaitingFrame = false;
  bool FUnseen = false;
  TClock::time_point FCommitTime;
  std::atomic<bool> FFrameReady{false};
  std::unique_ptr<TMainForm> FForm;
};

// ---- the connection ----------------------------------------------------

namespace {

void RegistryGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                    std::uint32_t version) {
  static_cast<TWaylandToolkit::TState*>(data)->Add(name, interface, version);
}

void RegistryGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  static_cast<TWaylandToolkit::TState*>(data)->Remove(name);
}

const wl_registry_listener RegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void OutputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t,
                    std::int32_t, std::int32_t, const char*, const char*, std::int32_t) {
  auto* output = static_cast<TOutput*>(data);
  if (!output->XdgPosition) {
    output->X = x;
    output->Y = y;
  }
}
void OutputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width,
                std::int32_t height, std::int32_t) {
  if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
  auto* output = static_cast<TOutput*>(data);
  output->ModeWidth = width;
  output->ModeHeight = height;
}
void OutputDone(void* data, wl_output*) {
  auto* output = static_cast<TOutput*>(data);
  output->State->OutputDescribed(*output);
}
void OutputScale(void* data, wl_output*, std::int32_t factor) {
  static_cast<TOutput*>(data)->Scale = std::max(factor, 1);
}
void OutputName(void* data, wl_output*, const char* name) {
  static_cast<TOutput*>(data)->OutputName = name ? name : "";
}
void OutputDescription(void*, wl_output*, const char*) {}

const wl_output_listener OutputListener = {OutputGeometry, OutputMode, OutputDone,
                                           OutputScale,    OutputName, OutputDescription};

void XdgPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
  auto* output = static_cast<TOutput*>(data);
  output->X = x;
  output->Y = y;
  output->XdgPosition = true;
  output->XdgSeen = true;
}
void XdgSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
  auto* output = static_cast<TOutput*>(data);
  output->XdgWidth = width;
  output->XdgHeight = height;
}
void XdgDone(void* data, zxdg_output_v1*) {
  // From version 3 on wl_output.done ends each description; before it, this.
  auto* output = static_cast<TOutput*>(data);
  if (zxdg_output_v1_get_version(output->XdgOutput) < 3) output->State->OutputDescribed(*output);
}
void XdgName(void* data, zxdg_output_v1*, const char* name) {
  auto* output = static_cast<TOutput*>(data);
  output->XdgName = name ? name : "";
  output->XdgSeen = true;
}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener XdgOutputListener = {XdgPosition, XdgSize, XdgDone, XdgName,
                                                   XdgDescription};

void SeatCapabilitiesEvent(void* data, wl_seat*, std::uint32_t capabilities) {
  static_cast<TWaylandToolkit::TState*>(data)->SeatCapabilities(capabilities);
}
void SeatNameEvent(void*, wl_seat*, const char*) {}
const wl_seat_listener SeatListener = {SeatCapabilitiesEvent, SeatNameEvent};

using TState = TWaylandToolkit::TState;

void PointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
                  wl_fixed_t y) {
  auto* state = static_cast<TState*>(data);
  state->PointerSerial = serial;
  state->PointerSurface = state->SurfaceOf(surface);
  state->ApplyCursor();
  state->PointerAt(state->PointerSurface, x, y);
}
void PointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*) {
  static_cast<TState*>(data)->PointerSurface = nullptr;
}
void PointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  auto* state = static_cast<TState*>(data);
  state->PointerAt(state->PointerSurface, x, y);
}
void PointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t buttonState) {
  auto* state = static_cast<TState*>(data);
  if (buttonState == WL_POINTER_BUTTON_STATE_PRESSED) state->Input(state->PointerSurface, false);
}
void PointerAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void PointerFrame(void*, wl_pointer*) {}
void PointerAxisSource(void*, wl_pointer*, std::uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void PointerAxisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
void PointerAxisValue120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}

const wl_pointer_listener PointerListener = {
    PointerEnter, PointerLeave,      PointerMotion,   PointerButton,       PointerAxis,
    PointerFrame, PointerAxisSource, PointerAxisStop, PointerAxisDiscrete, PointerAxisValue120};

void KeyboardKeymap(void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t) {
  ::close(fd);  // the saver needs no key's meaning: every key ends it
}
void KeyboardEnter(void* data, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array* keys) {
  auto* state = static_cast<TState*>(data);
  state->KeyboardSurface = state->SurfaceOf(surface);
  std::vector<std::uint32_t> held;
  if (keys && keys->size >= sizeof(std::uint32_t)) {
    const auto* key = static_cast<const std::uint32_t*>(keys->data);
    held.assign(key, key + keys->size / sizeof(std::uint32_t));
  }
  state->KeyboardEntered(std::move(held));
}
void KeyboardLeave(void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
  static_cast<TState*>(data)->KeyboardSurface = nullptr;
}
void KeyboardKey(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
                 std::uint32_t keyState) {
  static_cast<TState*>(data)->Key(key, keyState == WL_KEYBOARD_KEY_STATE_PRESSED);
}
void KeyboardModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                       std::uint32_t, std::uint32_t) {}
void KeyboardRepeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener KeyboardListener = {KeyboardKeymap, KeyboardEnter,     KeyboardLeave,
                                               KeyboardKey,    KeyboardModifiers, KeyboardRepeat};

}  // namespace

TWaylandToolkit::TState::~TState() {
  Surfaces.clear();
  for (auto& output : Outputs) {
    if (output->XdgOutput) zxdg_output_v1_destroy(output->XdgOutput);
    if (output->Output) wl_output_destroy(output->Output);
  }
  Outputs.clear();
  if (Pointer) wl_pointer_destroy(Pointer);
  if (Keyboard) wl_keyboard_destroy(Keyboard);
  if (Seat) wl_seat_destroy(Seat);
  if (FractionalScale) wp_fractional_scale_manager_v1_destroy(FractionalScale);
  if (Viewporter) wp_viewporter_destroy(Viewporter);
  if (XdgOutputs) zxdg_output_manager_v1_destroy(XdgOutputs);
  if (LayerShell) zwlr_layer_shell_v1_destroy(LayerShell);
  if (Shm) wl_shm_destroy(Shm);
  if (Compositor) wl_compositor_destroy(Compositor);
  if (Registry) wl_registry_destroy(Registry);
  if (Display) {
    if (!Dead) wl_display_flush(Display);
    wl_display_disconnect(Display);
  }
  if (WakeFd >= 0) ::close(WakeFd);
}

void TWaylandToolkit::TState::Add(std::uint32_t name, const char* interface,
                                  std::uint32_t version) {
  const auto bind = [&](const wl_interface* type, std::uint32_t highest) {
    return wl_registry_bind(Registry, name, type, std::min(version, highest));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !Compositor) {
    CompositorVersion = std::min<std::uint32_t>(version, 4);
    Compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !Shm) {
    Shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !LayerShell) {
    LayerShell = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !XdgOutputs) {
    XdgOutputs = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
    for (auto& output : Outputs) AddXdgOutput(*output);
  } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0 && !Viewporter) {
    Viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
  } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0 &&
             !FractionalScale) {
    FractionalScale = static_cast<wp_fractional_scale_manager_v1*>(
        bind(&wp_fractional_scale_manager_v1_interface, 1));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !SeatName) {
    // Bound only by a run that takes input.
    SeatName = name;
    SeatVersion = std::min<std::uint32_t>(version, 5);
    if (Making && !Hosted) BindSeat();
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<TOutput>();
    output->State = this;
    output->Name = name;
    output->Output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
    wl_output_add_listener(output->Output, &OutputListener, output.get());
    // Before version 2 an output has no done event: what it says at once is
    // all it says.
    if (version < WL_OUTPUT_DONE_SINCE_VERSION) output->Done = true;
    AddXdgOutput(*output);
    Outputs.push_back(std::move(output));
  }
}

void TWaylandToolkit::TState::AddXdgOutput(TOutput& output) {
  if (!XdgOutputs || output.XdgOutput) return;
  output.XdgOutput = zxdg_output_manager_v1_get_xdg_output(XdgOutputs, output.Output);
  zxdg_output_v1_add_listener(output.XdgOutput, &XdgOutputListener, &output);
}

void TWaylandToolkit::TState::Remove(std::uint32_t name) {
  if (name == SeatName) {
    // The seat went: so did its pointer and keyboard.
    if (Pointer) wl_pointer_release(Pointer);
    if (Keyboard) wl_keyboard_release(Keyboard);
    if (Seat) wl_seat_release(Seat);
    Pointer = nullptr;
    Keyboard = nullptr;
    Seat = nullptr;
    SeatName = 0;
    return;
  }
  for (auto it = Outputs.begin(); it != Outputs.end(); ++it) {
    TOutput& output = **it;
    if (output.Name != name) continue;
    if (output.Surface) DropSurface(*output.Surface);
    if (output.XdgOutput) zxdg_output_v1_destroy(output.XdgOutput);
    if (wl_output_get_version(output.Output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output.Output);
    } else {
      wl_output_destroy(output.Output);
    }
    Outputs.erase(it);
    return;
  }
}

void TWaylandToolkit::TState::OutputDescribed(TOutput& output) {
  // The first wl_output.done may come before xdg-output has said anything:
  // the output's name and place are known only after it has.
  if (output.XdgOutput && !output.XdgSeen) return;
  const bool first = !output.Done;
  output.Done = true;
  if (first) {
    if (Making) MakeSurface(output);
  } else if (output.Surface) {
    output.Surface->FollowSize();  // a new scale, perhaps
  }
}

void TWaylandToolkit::TState::MakeSurface(TOutput& output) {
  if (output.Surface || !output.Done) return;
  if (!OutputWanted(WantedOutput, output.XdgName, output.OutputName)) return;
  Surfaces.push_back(std::make_unique<TLayerSurface>(*this, output));
  output.Surface = Surfaces.back().get();
  Flush();
}

void TWaylandToolkit::TState::SurfaceConfigured(TLayerSurface& surface) {
  // The monitor in the outputs' logical layout, where pointer positions are.
  const TRect monitor{surface.OriginX(), surface.OriginY(), surface.OriginX() + surface.Width(),
                      surface.OriginY() + surface.Height()};
  std::size_t index = 0;
  if (!Group) {
    Group = std::make_unique<TSaverGroup>(std::vector<TRect>{monitor}, 0,
                                          static_cast<std::uint32_t>(std::time(nullptr)));
  } else {
    index = Group->AddMonitor(monitor);
  }
  auto form = std::make_unique<TMainForm>(
      Saver, Hosted ? surface.Handle() : 0, *Platform, surface, DefaultSettingsPath(Environment),
      FireThreadFactory(PixelRate), Hosted ? TWindowOwner::SaverHost : TWindowOwner::RunMode);
  TMainForm* rules = form.get();
  rules->JoinGroup(*Group, index);
  surface.SetForm(std::move(form));
  if (index == 0) Primary = &surface;
  if (!EverShown) FirstShown = TClock::now();
  EverShown = true;
  // A layer surface is shown once configured: that is its first paint.
  rules->Guard([rules] {
    if (rules->FormCreate()) rules->FormPaint();
  });
}

void TWaylandToolkit::TState::DropSurface(TLayerSurface& surface) {
  if (PointerSurface == &surface) PointerSurface = nullptr;
  if (KeyboardSurface == &surface) KeyboardSurface = nullptr;
  if (surface.Output()) surface.Output()->Surface = nullptr;
  surface.Detach();
  TMainForm* form = surface.Form();
  if (form && &surface != Primary) {
    // Its show ends now; it writes nothing.
    form->Guard([form] { form->FormDestroy(); });
    std::erase_if(Surfaces, [&](const auto& s) { return s.get() == &surface; });
  } else if (form) {
    // The primary's rules decide the close and write the settings at the
    // end: they stay, their show parked.
    form->Guard([form] { form->FormVisibility(false); });
  }
  const bool anyLive =
      std::any_of(Surfaces.begin(), Surfaces.end(), [](const auto& s) { return s->Live(); });
  if (!anyLive && EverShown) EndRun();
}

void TWaylandToolkit::TState::Close(TLayerSurface& surface) {
  TMainForm* form = surface.Form();
  if (!form) return;
  bool allowed = false;
  form->Guard([form, &allowed] { allowed = form->FormCloseQuery(); });
  // A query that failed has ended the run; the close it asked for is this one.
  if (!allowed && form->Failed())
    form->Guard([form, &allowed] { allowed = form->FormCloseQuery(); });
  if (allowed) Quit = true;
}

void TWaylandToolkit::TState::EndRun() {
  if (Primary && Primary->Form()) {
    TMainForm* form = Primary->Form();
    form->Guard([form] { form->EndOnRequest(); });
  }
  // Whatever the rules said: a run asked to end, or left with nowhere to
  // draw, ends.
  Quit = true;
}

void TWaylandToolkit::TState::Gone() {
  if (Dead) return;
  Dead = true;
  EndRun();
}

void TWaylandToolkit::TState::Wake() {
  if (WakeSignalled.exchange(true)) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(WakeFd, &one, sizeof one);
}

bool TWaylandToolkit::TState::Flush() {
  if (Dead) return false;
  while (wl_display_flush(Display) < 0) {
    if (errno != EAGAIN) {
      Gone();
      return false;
    }
    // The socket is full: wait until the compositor has read, never drop
    // what is queued. An end signal meanwhile ends the wait and the run.
    pollfd fds[2] = {{wl_display_get_fd(Display), POLLOUT, 0},
                     {EndSignals ? EndSignals->Descriptor() : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
      Gone();
      return false;
    }
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      Gone();
      return false;
    }
    if (fds[1].revents & POLLIN) {
      EndAsked = true;
      return false;
    }
  }
  return true;
}

void TWaylandToolkit::TState::BindSeat() {
  if (Seat || !SeatName) return;
  Seat =
      static_cast<wl_seat*>(wl_registry_bind(Registry, SeatName, &wl_seat_interface, SeatVersion));
  wl_seat_add_listener(Seat, &SeatListener, this);
}

void TWaylandToolkit::TState::SeatCapabilities(std::uint32_t capabilities) {
  const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
  const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
  if (pointer && !Pointer) {
    Pointer = wl_seat_get_pointer(Seat);
    wl_pointer_add_listener(Pointer, &PointerListener, this);
  } else if (!pointer && Pointer) {
    wl_pointer_release(Pointer);
    Pointer = nullptr;
    PointerSurface = nullptr;
  }
  if (keyboard && !Keyboard) {
    Keyboard = wl_seat_get_keyboard(Seat);
    wl_keyboard_add_listener(Keyboard, &KeyboardListener, this);
  } else if (!keyboard && Keyboard) {
    wl_keyboard_release(Keyboard);
    Keyboard = nullptr;
    KeyboardSurface = nullptr;
  }
}

TLayerSurface* TWaylandToolkit::TState::SurfaceOf(wl_surface* surface) const {
  for (const auto& s : Surfaces) {
    if (s->Surface() == surface && surface) return s.get();
  }
  return nullptr;
}

void TWaylandToolkit::TState::ApplyCursor() {
  // No cursor image over the saver: a null cursor surface hides it.
  if (Pointer && PointerSurface && CursorHidden) {
    wl_pointer_set_cursor(Pointer, PointerSerial, nullptr, 0, 0);
  }
}

void TWaylandToolkit::TState::PointerAt(TLayerSurface* surface, wl_fixed_t x, wl_fixed_t y) {
  if (!surface) return;
  const double gx = surface->OriginX() + wl_fixed_to_double(x);
  const double gy = surface->OriginY() + wl_fixed_to_double(y);
  if (!PointerSeen) {
    PointerSeen = true;
    PointerStartX = gx;
    PointerStartY = gy;
    return;
  }
  TMainForm* form = surface->Form();
  if (!form || !Group) return;
  // Relative to the start, which the rules hold as the origin, then in the
  // window's own coordinates as the rules take them.
  const auto relX = static_cast<std::int32_t>(std::lround(gx - PointerStartX));
  const auto relY = static_cast<std::int32_t>(std::lround(gy - PointerStartY));
  const std::int32_t cx = relX - surface->OriginX(), cy = relY - surface->OriginY();
  form->Guard([form, cx, cy] { form->FormMouseMove(cx, cy); });
}

void TWaylandToolkit::TState::Input(TLayerSurface* surface, bool key) {
  // Input without a surface of ours (already gone) still goes to the run.
  if (!surface || !surface->Form()) surface = Primary;
  if (!surface || !surface->Form()) return;
  TMainForm* form = surface->Form();
  if (key) {
    form->Guard([form] { form->FormKeyDown(); });
  } else {
    form->Guard([form] { form->FormMouseDown(); });
  }
}

// A key already down when the keyboard comes to the saver this long after
// it started was pressed while it ran.
constexpr auto StartKeysFor = std::chrono::seconds(1);

void TWaylandToolkit::TState::KeyboardEntered(std::vector<std::uint32_t> held) {
  const bool late = EverShown && TClock::now() - FirstShown >= StartKeysFor;
  if (Keys.Entered(std::move(held), late)) Input(KeyboardSurface, true);
}

void TWaylandToolkit::TState::Key(std::uint32_t key, bool pressed) {
  if (Keys.Key(key, pressed)) Input(KeyboardSurface, true);
}

int TWaylandToolkit::TState::PollTimeout(TClock::time_point now) const {
  int timeout = -1;
  for (const auto& s : Surfaces) {
    if (!s->Live() || !s->WaitingFrame()) continue;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(s->CommitTime() + UnseenAfter - now).count();
    const int ms = static_cast<int>(std::clamp<long long>(left, 0, 60000));
    timeout = timeout < 0 ? ms : std::min(timeout, ms);
  }
  return timeout;
}

void TWaylandToolkit::TState::Tick() {
  const TClock::time_point now = TClock::now();
  for (std::size_t i = 0; i < Surfaces.size() && !Dead; ++i) {
    TLayerSurface& s = *Surfaces[i];
    if (!s.Live()) continue;
    s.CheckUnseen(now);
    s.PresentDue();
  }
}

// ---- one output's surface ----------------------------------------------

namespace {

void LayerConfigure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height);
void LayerClosed(void* data, zwlr_layer_surface_v1*);

}  // namespace

const zwlr_layer_surface_v1_listener TLayerSurface::LayerListener = {LayerConfigure, LayerClosed};

const wl_callback_listener TLayerSurface::FrameListener = {
    [](void* data, wl_callback*, std::uint32_t) {
      static_cast<TLayerSurface*>(data)->FrameDone();
    }};

const wp_fractional_scale_v1_listener TLayerSurface::ScaleListener = {
    [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
      static_cast<TLayerSurface*>(data)->PreferredScale(scale);
    }};

const wl_buffer_listener TLayerSurface::BufferListener = {
    [](void* data, wl_buffer*) { static_cast<TShmBuffer*>(data)->Busy = false; }};

namespace {

void LayerConfigure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height) {
  static_cast<TLayerSurface*>(data)->Configure(serial, width, height);
}

void LayerClosed(void* data, zwlr_layer_surface_v1*) {
  auto* surface = static_cast<TLayerSurface*>(data);
  // The output went, or the compositor will not show the surface again:
  // that output's show ends as if the output had gone.
  surface->State().DropSurface(*surface);
}

}  // namespace

TLayerSurface::TLayerSurface(TWaylandToolkit::TState& state, TOutput& output)
    : FState(state), FOutput(&output), FHandle(output.Name) {
  FSurface = wl_compositor_create_surface(state.Compositor);
  if (state.FractionalScale) {
    FFractional =
        wp_fractional_scale_manager_v1_get_fractional_scale(state.FractionalScale, FSurface);
    wp_fractional_scale_v1_add_listener(FFractional, &ScaleListener, this);
  }
  if (state.Viewporter) FViewport = wp_viewporter_get_viewport(state.Viewporter, FSurface);
  FLayer = zwlr_layer_shell_v1_get_layer_surface(state.LayerShell, FSurface, output.Output,
                                                 ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "moonglow");
  zwlr_layer_surface_v1_add_listener(FLayer, &LayerListener, this);
  // The whole output, over panels and docks and whatever room they keep.
  zwlr_layer_surface_v1_set_size(FLayer, 0, 0);
  zwlr_layer_surface_v1_set_anchor(
      FLayer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                  ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(FLayer, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      FLayer, state.Hosted ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                           : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
  if (state.Hosted) {
    // Input belongs to the host: an empty input region lets it all through.
    wl_region* none = wl_compositor_create_region(state.Compositor);
    wl_surface_set_input_region(FSurface, none);
    wl_region_destroy(none);
  }
  // The first commit, without a buffer, asks for the configure event.
  wl_surface_commit(FSurface);
}

TLayerSurface::~TLayerSurface() {
  // The show first: it may still be telling this surface of its frames.
  FForm.reset();
  Detach();
}

void TLayerSurface::Detach() {
  if (FFrame) wl_callback_destroy(FFrame);
  FFrame = nullptr;
  FWaitingFrame = false;
  FBuffers.clear();
  if (FViewport) wp_viewport_destroy(FViewport);
  if (FFractional) wp_fractional_scale_v1_destroy(FFractional);
  if (FLayer) zwlr_layer_surface_v1_destroy(FLayer);
  if (FSurface) wl_surface_destroy(FSurface);
  FViewport = nullptr;
  FFractional = nullptr;
  FLayer = nullptr;
  FSurface = nullptr;
  FOutput = nullptr;
  FPresenting = false;
}

void TLayerSurface::Configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
  if (!FLayer) return;
  zwlr_layer_surface_v1_ack_configure(FLayer, serial);
  // Anchored to every edge, the surface is as large as the output; a
  // compositor that leaves that to the client says 0.
  if (FOutput && width == 0)
    width = static_cast<std::uint32_t>(std::max(FOutput->LogicalWidth(), 0));
  if (FOutput && height == 0)
    height = static_cast<std::uint32_t>(std::max(FOutput->LogicalHeight(), 0));
  const auto w = static_cast<std::int32_t>(std::min<std::uint32_t>(width, INT32_MAX / 4));
  const auto h = static_cast<std::int32_t>(std::min<std::uint32_t>(height, INT32_MAX / 4));
  if (w <= 0 || h <= 0) return;
  if (FOutput) {
    FOriginX = FOutput->X;
    FOriginY = FOutput->Y;
  }
  const bool changed = w != FWidth || h != FHeight;
  FWidth = w;
  FHeight = h;
  if (changed) {
    // Every pixel is the show's own and opaque.
    wl_region* opaque = wl_compositor_create_region(FState.Compositor);
    wl_region_add(opaque, 0, 0, w, h);
    wl_surface_set_opaque_region(FSurface, opaque);
    wl_region_destroy(opaque);
    FNewBuffers = true;
  }
  if (!FForm) {
    FState.SurfaceConfigured(*this);
  } else if (changed) {
    FollowSize();
  }
}

std::int32_t TLayerSurface::DeviceSize(std::int32_t logical) const {
  return moonglow::DeviceSize(logical, FOutput ? FOutput->Scale : FLastScale, FScale120,
                              FViewport != nullptr);
}

void TLayerSurface::FollowSize() {
  if (FOutput) FLastScale = FOutput->Scale;
  TMainForm* form = FForm.get();
  const TCanvas* canvas = form ? form->Canvas() : nullptr;
  if (!canvas || (canvas->Width() == CanvasWidth() && canvas->Height() == CanvasHeight())) return;
  form->Guard([form] { form->Resized(); });
  // The new canvas may sit where the old one did: Present must not take it
  // for the old one.
  FCanvas = nullptr;
  FNewBuffers = true;
}

void TLayerSurface::ShowCursor(bool show) {
  FState.CursorHidden = !show;
  FState.ApplyCursor();
}

void TLayerSurface::CheckUnseen(TClock::time_point now) {
  if (!FWaitingFrame || FUnseen || now - FCommitTime < UnseenAfter || !FForm) return;
  FUnseen = true;
  TMainForm* form = FForm.get();
  form->Guard([form] { form->FormVisibility(false); });
}

void TLayerSurface::FrameDone() {
  if (FFrame) wl_callback_destroy(FFrame);
  FFrame = nullptr;
  FWaitingFrame = false;
  if (FUnseen && FForm) {
    FUnseen = false;
    TMainForm* form = FForm.get();
    form->Guard([form] { form->FormVisibility(true); });
  }
}

void TLayerSurface::PresentDue() {
  if (!Live() || !FForm || !FPresenting || FWaitingFrame) return;
  TCanvas* canvas = FForm->Canvas();
  if (!canvas || (!FNewBuffers && !FFrameReady.load())) return;
  Present(*canvas);
}

std::unique_ptr<TShmBuffer> TLayerSurface::NewBuffer(std::int32_t width, std::int32_t height) {
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  const std::size_t bytes = stride * static_cast<std::size_t>(height);
  if (bytes == 0 || bytes > static_cast<std::size_t>(INT32_MAX)) {
    throw std::runtime_error("no buffer can hold " + std::to_string(width) + "x" +
                             std::to_string(height) + " pixels");
  }
  const int fd = ::memfd_create("moonglow-frame", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw std::runtime_error(std::string("cannot make a frame buffer: ") + std::strerror(error));
  }
  void* pixels = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) {
    const int error = errno;
    ::close(fd);
    throw std::runtime_error(std::string("cannot map a frame buffer: ") + std::strerror(error));
  }
  auto buffer = std::make_unique<TShmBuffer>(width, height, FDrawn);
  buffer->Pixels = static_cast<std::uint32_t*>(pixels);
  buffer->Bytes = bytes;
  wl_shm_pool* pool = wl_shm_create_pool(FState.Shm, fd, static_cast<std::int32_t>(bytes));
  buffer->Buffer = wl_shm_pool_create_buffer(
      pool, 0, width, height, static_cast<std::int32_t>(stride), WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  ::close(fd);  // the pool holds it
  wl_buffer_add_listener(buffer->Buffer, &BufferListener, buffer.get());
  return buffer;
}

TShmBuffer* TLayerSurface::FreeBuffer(std::int32_t width, std::int32_t height) {
  if (!FBuffers.empty() && (FBuffers[0]->Width != width || FBuffers[0]->Height != height)) {
    FBuffers.clear();
    FNewBuffers = true;
  }
  for (const auto& buffer : FBuffers) {
    if (!buffer->Busy) return buffer.get();
  }
  if (FBuffers.size() >= MaxBuffers) return nullptr;  // the next release presents
  FBuffers.push_back(NewBuffer(width, height));
  return FBuffers.back().get();
}

void TLayerSurface::SetScale(std::int32_t width, std::int32_t height) {
  if (wl_surface_get_version(FSurface) < WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) return;
  const TBufferScale scale =
      BufferScaleFor(width, height, FWidth, FHeight, FScale120 != 0, FViewport != nullptr);
  wl_surface_set_buffer_scale(FSurface, scale.Scale);
  if (scale.Viewport) {
    wp_viewport_set_destination(FViewport, FWidth, FHeight);
  } else if (FDestinationSet) {
    wp_viewport_set_destination(FViewport, -1, -1);  // no destination: the buffer's own size
  }
  FDestinationSet = scale.Viewport;
}

void TLayerSurface::Present(TCanvas& canvas) {
  const std::int32_t width = canvas.Width(), height = canvas.Height();
  if (&canvas != FCanvas) {
    // A show started again: a new black canvas, and buffers to match it.
    FCanvas = &canvas;
    FDrawn = TPendingRows(width, height, false);
    FBuffers.clear();
    FNewBuffers = true;
  }
  TShmBuffer* buffer = FreeBuffer(width, height);
  if (!buffer) return;
  FFrameReady.store(false);
  std::vector<TRect> rows;
  {
    // Under the canvas's mutex only to take the rows and copy them: the
    // buffer is brought up to date with every frame it missed, too.
    std::lock_guard<std::mutex> lock(canvas.Mutex());
    rows = canvas.TakeDirtyRows();
    FDrawn.Add(rows);
    for (const auto& b : FBuffers) b->Pending.Add(rows);
    const std::uint32_t* source = canvas.Pixels();
    std::uint32_t* dest = buffer->Pixels;
    const auto stride = static_cast<std::size_t>(width);
    buffer->Pending.Take([&](std::int32_t y, std::int32_t left, std::int32_t right) {
      const std::size_t at = static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(left);
      std::memcpy(dest + at, source + at, static_cast<std::size_t>(right - left) * 4);
    });
  }
  // Nothing changed: nothing to show, no commit, no frame callback asked for.
  if (rows.empty() && !FNewBuffers) return;

  wl_surface_attach(FSurface, buffer->Buffer, 0, 0);
  std::vector<TRect> damage;
  if (FNewBuffers) {
    SetScale(width, height);
    damage.push_back({0, 0, width, height});
  } else {
    damage = MergeDamage(rows);
  }
  if (FState.CompositorVersion >= DamageBufferVersion) {
    for (const TRect& r : damage) {
      wl_surface_damage_buffer(FSurface, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    }
  } else {
    // Damage in surface units only: the whole surface.
    wl_surface_damage(FSurface, 0, 0, INT32_MAX, INT32_MAX);
  }
  FFrame = wl_surface_frame(FSurface);
  wl_callback_add_listener(FFrame, &FrameListener, this);
  wl_surface_commit(FSurface);
  buffer->Busy = true;
  FWaitingFrame = true;
  FCommitTime = TClock::now();
  FNewBuffers = false;
  FState.Flush();
}

// ---- the toolkit ---------------------------------------------------------

TWaylandToolkit::TWaylandToolkit(std::unique_ptr<TState> state) : F(std::move(state)) {}

TWaylandToolkit::~TWaylandToolkit() = default;

std::unique_ptr<TWaylandToolkit> TWaylandToolkit::Connect(IPlatform& platform,
                                                          TEnvironment environment,
                                                          const TEndSignals* endSignals,
                                                          std::string& problem) {
  auto state = std::make_unique<TState>();
  state->Platform = &platform;
  state->Environment = std::move(environment);
  state->EndSignals = endSignals;
  // libwayland reads WAYLAND_SOCKET and WAYLAND_DISPLAY itself.
  state->Display = wl_display_connect(nullptr);
  if (!state->Display) {
    const int error = errno;
    std::string name = VariableOrEmpty(state->Environment, "WAYLAND_DISPLAY");
    if (!VariableOrEmpty(state->Environment, "WAYLAND_SOCKET").empty()) name = "WAYLAND_SOCKET";
    problem = "cannot connect to the Wayland display '" + name + "': " + std::strerror(error);
    return nullptr;
  }
  state->WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state->WakeFd < 0) {
    problem = std::string("cannot make an event descriptor: ") + std::strerror(errno);
    return nullptr;
  }
  state->Registry = wl_display_get_registry(state->Display);
  wl_registry_add_listener(state->Registry, &RegistryListener, state.get());
  // The globals, then what the outputs say of themselves.
  if (wl_display_roundtrip(state->Display) < 0 || wl_display_roundtrip(state->Display) < 0) {
    problem = "the Wayland display closed the connection";
    return nullptr;
  }
  return std::unique_ptr<TWaylandToolkit>(new TWaylandToolkit(std::move(state)));
}

bool TWaylandToolkit::HasLayerShell() const { return F->LayerShell != nullptr; }

bool TWaylandToolkit::Initialize(TRunMode) {
  const char* missing = !F->Compositor   ? "wl_compositor"
                        : !F->Shm        ? "wl_shm"
                        : !F->LayerShell ? "zwlr_layer_shell_v1"
                                         : nullptr;
  if (missing) {
    std::fprintf(stderr, "moonglow: the Wayland compositor offers no %s\n", missing);
    return false;
  }
  return true;
}

void TWaylandToolkit::CreateSaverWindow(TRunMode, TWindowHandle) {
  F->PixelRate = FPixelRate.value_or(DefaultPixelRate(F->Environment));
  F->Making = true;
  F->Hosted = false;
  F->BindSeat();
  for (const auto& output : F->Outputs) F->MakeSurface(*output);
}

bool TWaylandToolkit::CreateHostedWindow(const THostWindow& window) {
  if (!window.Layer) return false;
  F->PixelRate = FPixelRate.value_or(DefaultPixelRate(F->Environment));
  F->Making = true;
  F->Hosted = true;
  F->WantedOutput = window.OutputName;
  for (const auto& output : F->Outputs) F->MakeSurface(*output);
  return true;
}

void TWaylandToolkit::RunMessageLoop() {
  TState& s = *F;
  wl_display* const display = s.Display;
  const int endFd = s.EndSignals ? s.EndSignals->Descriptor() : -1;
  while (!s.Quit) {
    // The documented way to wait on the display with other descriptors:
    // dispatch what is queued, announce the read, flush, poll, read.
    bool reading = false;
    if (!s.Dead) {
      while (!s.Dead && wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) s.Gone();
      }
      if (!s.Dead) {
        reading = true;
        s.Flush();
      }
      if (reading && (s.Dead || s.Quit)) {
        wl_display_cancel_read(display);
        reading = false;
      }
    }
    if (s.Quit) break;
    pollfd fds[3] = {{reading ? wl_display_get_fd(display) : -1, POLLIN, 0},
                     {s.WakeFd, POLLIN, 0},
                     {endFd, POLLIN, 0}};
    const int ready = ::poll(fds, 3, s.PollTimeout(TClock::now()));
    if (reading) {
      if (ready > 0 && fds[0].revents != 0) {
        if (wl_display_read_events(display) < 0) s.Gone();
      } else {
        wl_display_cancel_read(display);
      }
    }
    if (!s.Dead && wl_display_dispatch_pending(display) < 0) s.Gone();
    if (ready > 0 && (fds[1].revents & POLLIN)) {
      std::uint64_t count;
      [[maybe_unused]] const ssize_t got = ::read(s.WakeFd, &count, sizeof count);
      s.WakeSignalled.store(false);  // before the frames are looked at
    }
    if (ready > 0 && (fds[2].revents & POLLIN)) {
      s.EndSignals->Drain();
      s.EndAsked = true;
    }
    if (s.EndAsked) {
      s.EndAsked = false;
      s.EndRun();
    }
    if (!s.Quit && !s.Dead) s.Tick();
  }
}

void TWaylandToolkit::DestroyWindows() {
  // The other outputs' rules first: they write nothing. The primary's last,
  // as its write may be refused (and is thrown).
  TLayerSurface* primary = F->Primary;
  for (const auto& surface : F->Surfaces) {
    if (surface.get() != primary && surface->Form()) surface->Form()->FormDestroy();
  }
  if (primary && primary->Form()) primary->Form()->FormDestroy();
}

void TWaylandToolkit::ShowException(const std::string& message) {
  std::fprintf(stderr, "moonglow: %s\n", message.c_str());
}

bool TWaylandToolkit::EndRequested() { return F->EndSignals && F->EndSignals->Requested(); }

}  // namespace moonglow
